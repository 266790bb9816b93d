#pragma once

#include <GL/glew.h>

#include "geometry/Matrix.h"
#include "geometry/Vector.h"
#include "render/FrameBufferObject.h"

// The three passes of a frame. They share one GL state contract: between
// passes the depth test is on, blending and the scissor test are off, no
// program or vertex array is bound, unit 0 is active and the window's
// framebuffer is bound.

// The GL objects the passes read and write; owned by the Application.
struct FrameResources {
  GLuint textureProgram = 0;
  GLuint accumProgram = 0;
  GLuint voxelProgram = 0;
  GLuint pathProgram = 0;
  // Node pool (3D), triangle ids, triangle positions, triangle normals.
  GLuint sceneTextures[4] = {};
  GLuint brdfTexture = 0;
  GLuint sampleTexture = 0;
  // Where traceSample writes how far each pixel's first bounce went, or 0:
  // only samples carried across views read it, and the write costs every
  // sample a few per cent.
  GLuint bounceDistanceTexture = 0;
  GLuint accumTexture = 0;
  GLuint randomTextures[2] = {};
  const FrameBufferObject* primaryFbo = nullptr;
  const FrameBufferObject* pathFbo = nullptr;
  GLuint boxVertexArray = 0;
  GLuint quadVertexArray = 0;
  // Set where the GPU cannot blend into 32-bit float targets: each sample
  // is then added by drawing the sum and the sample into this spare texture
  // with sumProgram, and copying it back.
  GLuint sumProgram = 0;
  GLuint spareSumTexture = 0;
};

// The per-frame values the ray-tracing passes upload.
struct FrameView {
  Matrix4 mvp;
  Vector3 A, B, C;  // image plane at distance 1 (lower-left corner C)
  Vector3 eye;
  float screenWidth = 0.0f;
  float screenHeight = 0.0f;
  Vector3 lightPos;
  Vector3 bbMin, bbMax, bbOffset;
  float bbMaxDim = 0.0f;
  float stepSize = 0.0f;
  float jitter[2] = {0.0f, 0.0f};
};

// pathFbo's attachments: the sample, the random state the next sample
// reads, and the first bounce's distance.
constexpr int kBounceDistanceAttachment = 2;

constexpr int kBoxIndexDrawCount = 36;
constexpr int kQuadVertexDrawCount = 6;

// One RGBA32F render target, width x height, nearest filtering, clamped to
// its border; `data` (4 floats per texel) may be null.
GLuint createScreenTexture(int width, int height, const float* data);
// Makes such a texture when `texture` is 0, otherwise gives it a new image;
// either way width x height, from `data` or empty.
void sizeScreenTexture(GLuint& texture, int width, int height, const float* data);

// The pixels every pass draws: the targets' size, which is the window's.
void setDrawSize(int width, int height);
// A part of the window for the display pass alone: a picture of another
// size shown in it.
void setDrawArea(int x, int y, int width, int height);

// The depth test every pass restores.
void enableDepthTest();

// Clears the window's colour and depth at the start of a frame.
void clearWindow();

// Casts the primary rays: the back faces of the scene box into the three hit
// buffers of primaryFbo.
void primaryPass(const FrameResources& resources, const FrameView& view);

// One path-traced sample per pixel, added to the sum in accumTexture (cleared
// first when `firstSample`). randomTextures[randomPing] is written (pathFbo
// holds it at attachment 1) and the other one read; on return the other one
// is attached instead, ready for the next pass with the opposite ping.
void pathTracePass(const FrameResources& resources, const FrameView& view, int randomPing,
                  bool firstSample);

// The two halves of pathTracePass, for a sample drawn in bands of rows:
// traceSample draws (within the scissor, when set) into sampleTexture,
// randomTextures[randomPing] and bounceDistanceTexture, when set;
// addSample, once every band is in, swaps the random textures' attachment
// and adds the whole sample to the sum.
void traceSample(const FrameResources& resources, const FrameView& view, int randomPing);
void addSample(const FrameResources& resources, int randomPing, bool firstSample);

// Limits the passes' drawing and clearing to rows [first, first + count)
// of a `width` wide target, until drawAllRows.
void drawOnlyRows(int width, int first, int count);
void drawAllRows();

// Shows hit buffer `displayMode` while there is no sample, otherwise the sum
// divided by sampleCount.
void displayPass(const FrameResources& resources, int sampleCount, int displayMode);

// Shows a finished picture (an average, such as the denoised one) in the
// bound target, as displayPass shows the plain average.
void showPicture(const FrameResources& resources, GLuint picture);

// Shows the denoised `picture` mixed with the plain average of sampleCount
// samples: denoisedShare of the first (see denoisedShare in Denoiser.h).
void showDenoised(const FrameResources& resources, GLuint picture, int sampleCount,
                  float denoisedShare);
