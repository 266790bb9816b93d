#pragma once

#include <cstdint>
#include <vector>

#include <GL/glew.h>

// A copy of the picture the window shows, kept in a texture of its own. A
// browser empties its canvas once the picture is on screen unless asked to
// keep it, and keeping it costs a copy of the whole canvas after every frame
// that draws anything, a band into a target of its own included; this copy
// is made only in the frames that change the picture, and can be read at
// any time.
struct ShownPicture {
  GLuint texture = 0;
  GLuint framebuffer = 0;
  int width = 0;
  int height = 0;
};

// Copies the window's framebuffer (width x height from its lower-left
// corner) into `shown`, made or sized on the way. Leaves the window's
// framebuffer bound.
void keepShownPicture(ShownPicture& shown, int width, int height);

// The kept picture as RGBA bytes, rows from the top; empty before any.
std::vector<uint8_t> readShownPicture(const ShownPicture& shown);
