#version 330
// Copies one texel per pixel; nearest filtering keeps the value exact.
uniform sampler2D tex;
in vec2 tex_c;
out vec4 output0;

void main() {
  output0 = texture(tex, tex_c);
}
