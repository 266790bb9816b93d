#version 330
in vec2 tex_c;
out vec4 output0;

void main() {
  output0 = vec4(tex_c, 0.0, 1.0);
}
