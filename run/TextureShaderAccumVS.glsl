#version 330
// Full-screen quad: the corners arrive in clip space already.
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 tex_coord;
out vec2 tex_c;

void main() {
  tex_c = tex_coord;
  gl_Position = vec4(position, 1.0);
}
