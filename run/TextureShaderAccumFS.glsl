#version 330
// The window shows the running sum of samples divided by their number.
uniform sampler2D tex;
uniform float inv_num_samples;
in vec2 tex_c;
out vec4 output0;

void main() {
  output0 = texture(tex, tex_c) * inv_num_samples;
}
