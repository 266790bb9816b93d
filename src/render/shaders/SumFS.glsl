#version 330
// A running sum and one more term, added by drawing into a third texture:
// for GPUs that cannot blend into 32-bit float targets (iPhones), where
// additive blending would be refused.
uniform sampler2D sum_texture;
uniform sampler2D term_texture;
in vec2 tex_c;
out vec4 output0;

void main() {
  output0 = texture(sum_texture, tex_c) + texture(term_texture, tex_c);
}
