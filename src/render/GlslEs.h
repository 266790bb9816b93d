#pragma once

#include <string>

// The browser compiles the desktop's GLSL 3.30 shader texts as GLSL ES 3.00
// (WebGL 2). The .glsl files stay as the desktop reads them; this rewrites a
// text when it is compiled in the browser:
// - the #version line becomes "#version 300 es" followed by highp precision
//   for floats, integers and every sampler type the shaders use;
// - #extension lines are dropped (ES 3.00 has what they asked for);
// - "out <type> outputN;" gets "layout(location = N)", since ES has no
//   glBindFragDataLocation;
// - sampler1D becomes sampler2D (the BRDF table is a one-row 2D texture);
// - every textureLod lookup goes through a function that returns zeros for a
//   coordinate outside [0, 1), as the desktop's zero texture border does:
//   ES has no border clamp, and the march relies on reading zeros there.
std::string glslEsText(const std::string& desktopText);
