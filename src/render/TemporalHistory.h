#pragma once

#include <GL/glew.h>

#include "geometry/Matrix.h"
#include "geometry/Vector.h"

// Samples carried across camera moves. When the view changes, the last
// picture is reprojected into the new one through the primary hit buffers:
// every pixel looks up where its surface point lay in the last view and
// keeps what the last picture had there, unless the last view saw another
// surface (another material, off the pixel's tangent plane, or a turned
// normal) or the light there changed beyond the new samples' spread.
// Emitters and mirrors keep only the noise of their samples where the
// picture is denoised: the light they show moves across them as the eye
// moves. Glossy surfaces look up their light where their reflection lay,
// behind the surface as deep as the view's first bounce went. The kept
// history then counts as a number of samples beside the new ones, less and
// less as these accumulate, so that a picture at rest still becomes the
// plain average of its own samples.

// How long the history lasts while the camera keeps moving: each new view
// gives its samples at least 1 - exp(-dt / tau) of the picture.
constexpr float kHistorySeconds = 0.5f;
// Samples of one view after which the history counts no more.
constexpr int kHistoryFadeSamples = 64;

// The most samples' weight the history may keep in a view that follows the
// last one after `frameSeconds` and adds `samplesPerFrame` of its own: the
// samples of about kHistorySeconds. Unlimited (a large number) for a still
// camera's long wait, never below 0.
float historyWeightLimit(float frameSeconds, float samplesPerFrame);

// The share of its weight the history keeps beside `samples` of the current
// view: 1 at none, falling linearly to 0 at kHistoryFadeSamples.
float historyFade(int samples);

struct TemporalPrograms {
  GLuint reproject = 0;
  GLuint keepGeometry = 0;
  GLuint resolve = 0;
  GLuint smoothEdges = 0;
  GLuint stretch = 0;
};

// Full-size targets, nearest filtering.
struct TemporalTargets {
  int width = 0;
  int height = 0;
  GLuint history = 0;         // the last picture in this view: rgb, a = weight
  GLuint historyMoments = 0;  // its luminance moments and their weight
  GLuint picture = 0;         // the picture shown (an average)
  GLuint pictureMoments = 0;  // moments, their weight and the variance of its luminance
  // The hit buffers the picture belongs to, at full size: [kept] now, the
  // other one written by the next view.
  GLuint position[2] = {};
  GLuint normal[2] = {};
  GLuint color[2] = {};
  int kept = 0;
  // Moving views' denoised pictures with their edges smoothed:
  // [latestShown] the last, the other one written by the next.
  GLuint shown[2] = {};
  int latestShown = 0;
  GLuint framebuffer = 0;
};

struct TemporalHistory {
  TemporalPrograms programs;
  TemporalTargets targets;
  // Whether picture holds a picture that the next view may reuse.
  bool filled = false;
  // The lower-left part of the targets, in texels, that the picture and
  // the kept hit buffers fill: the size of the last view.
  int size[2] = {0, 0};
  // World to clip of the view the kept hit buffers were cast with, and the
  // sub-pixel offset of their rays, in pixels.
  Matrix4 viewProjection;
  float jitter[2] = {0.0f, 0.0f};
  // Pictures resolved so far; the last one that went through smoothEdges,
  // what it returned for it, and that picture's view.
  int resolvedPictures = 0;
  int shownPicture = -1;
  GLuint shownTexture = 0;
  Matrix4 shownViewProjection;
  // Whether targets.shown[latestShown] holds that picture, for the next
  // moving view's to blend with.
  bool shownFilled = false;
};

// The share of the last picture shown in a moving view's next one, where
// it lies within the new one's neighbourhood.
constexpr float kShownShare = 0.4f;
// Pictures after which what an earlier one gave is below a thousandth
// (0.4^8 = 0.0007).
constexpr int kShownPicturesRemembered = 8;

// What a view gives the history; the textures belong to the Application.
struct TemporalInputs {
  GLuint hitColor = 0;
  GLuint hitPosition = 0;
  GLuint hitNormal = 0;
  GLuint sampleTexture = 0;   // the view's newest sample
  GLuint bounceDistanceTexture = 0;  // how far the view's first sample's first bounce went
  GLuint sumTexture = 0;      // the sum of its samples
  GLuint momentsTexture = 0;  // sums of their light's luminance moments
  int sampleCount = 0;
  int momentCount = 0;  // 0 when momentsTexture does not hold every sample
  // The texels the view was traced at, in the lower-left part of the
  // targets (the moving picture, drawn smaller); 0: the whole targets.
  int size[2] = {0, 0};
  GLuint quadVertexArray = 0;
};

// The new view's camera, as the reprojection needs it.
struct TemporalView {
  Matrix4 viewProjection;  // world to clip
  // The sub-pixel offset its rays were cast at, in full-size pixels (0 for
  // a view traced at a lower resolution, whose texels are coarser anyway).
  float jitter[2] = {0.0f, 0.0f};
  Vector3 eye;             // world
  Vector3 bbOffset;        // octree space = (world + bbOffset) / bbMaxDim
  float bbMaxDim = 1.0f;
  float pixelAngle = 0.0f;  // image-plane height of one traced texel at distance 1
  float historyLimit = 0.0f;
  // Whether emitters, glossy surfaces and mirrors keep their light too: in
  // a picture shown without the denoiser their noise costs more than the
  // trails their reflections leave.
  bool reflectionsKept = false;
};

// kStatusOk, or kStatusFatal when a stage does not compile.
int buildTemporalPrograms(TemporalPrograms& programs, const char* quadVertexFile);

// Makes every target at width x height in place of any made before; the
// history starts empty.
void createTemporalTargets(TemporalHistory& history, int width, int height);

// Nothing drawn so far is reused by the next view.
inline void emptyHistory(TemporalHistory& history) {
  history.filled = false;
  history.shownPicture = -1;
  history.shownFilled = false;
}

// A new view's first sample is in: the last picture is moved into it (or,
// without one, an empty history is), and the view's hit buffers are kept.
// Leaves the GL state as the frame passes do.
void reprojectHistory(TemporalHistory& history, const TemporalInputs& inputs,
                      const TemporalView& view);
// Its steps, for a sample finished in bands: each drawing once per band
// under a scissor, every band of one before the next, then the bookkeeping.
void drawReprojection(const TemporalHistory& history, const TemporalInputs& inputs,
                      const TemporalView& view);
void drawKeptGeometry(const TemporalHistory& history, const TemporalInputs& inputs);
void viewKept(TemporalHistory& history, const TemporalInputs& inputs, const TemporalView& view);

// The picture after the view's latest sample, in targets.picture. Leaves the
// GL state as the frame passes do.
void resolvePicture(TemporalHistory& history, const TemporalInputs& inputs);
// Its drawing alone, once per band, and its bookkeeping once.
void drawResolvedPicture(const TemporalHistory& history, const TemporalInputs& inputs);
inline void pictureResolved(TemporalHistory& history) {
  history.filled = true;
  ++history.resolvedPictures;
}

// The latest resolved picture, denoised at full size (`picture`), as
// shown: in a view that moved, blended with the last picture shown
// (kShownShare of it, where it lies within this picture's neighbourhood),
// whose other sub-pixel offset and other samples smooth the edges and the
// reflections; at rest, `picture` itself. Returns the texture that holds
// it, the same one again for the same resolved picture. Leaves the GL
// state as the frame passes do.
GLuint smoothEdges(TemporalHistory& history, const TemporalInputs& inputs, const TemporalView& view,
                   GLuint picture);

// Shows `picture`, which fills the lower-left width x height texels of its
// texture, filtered over the whole of the bound framebuffer's viewport.
void showStretched(const TemporalPrograms& programs, GLuint picture, int width, int height,
                   GLuint quadVertexArray);
