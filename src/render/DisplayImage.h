#pragma once

#include "render/FramePasses.h"
#include "render/PngImage.h"

// What the window shows for the current sampling state: the display pass
// drawn once more, into an 8-bit target of the window's format, and read
// back. A hidden window's own pixels are not reliably readable, so the
// window is not read. Leaves the window's framebuffer bound.
RgbImage readDisplayImage(const FrameResources& resources, int sampleCount, int displayMode,
                          int width, int height);

// The same for a finished picture (an average, such as the denoised one).
RgbImage readPictureImage(const FrameResources& resources, GLuint picture, int width, int height);
