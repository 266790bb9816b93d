#version 330
// The scene box in world space; the fragment stage rebuilds each pixel's ray
// from gl_FragCoord, so nothing else is passed on.
layout(location = 0) in vec3 position;
uniform mat4 mvp;

void main() {
  gl_Position = mvp * vec4(position, 1.0);
}
