#pragma once

#include <string>

// What a video's frames are made of besides its options: the room's OBJ
// files, every shader file in the working folder, the shader texts built
// into the program, and the tune (its length sets the frame count, and so
// where the camera stands in each frame). Pieces rendered in another copy
// of run/, or by a program built from other shaders, carry another one.
// 16 hexadecimal digits of a 64-bit FNV-1a hash: it tells accidents apart
// (it is no defence against forgery), and over the 1.4 MB takes a few
// milliseconds, nothing beside a piece's start-up.
std::string framesFingerprint();
