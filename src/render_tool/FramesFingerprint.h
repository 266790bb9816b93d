#pragma once

#include <string>

// What a video's frames are made of besides its options: the room's OBJ
// files, every shader file in the working folder, the shader texts built
// into the program, and the tune (its length sets the frame count, and so
// where the camera stands in each frame). Pieces rendered in another copy
// of run/, or by a program built from other shaders, carry another one.
// 16 hexadecimal digits of a 64-bit FNV-1a hash: it tells accidents apart,
// and costs about as much as reading the 1.4 MB once.
std::string framesFingerprint();
