#pragma once

#include <GL/glew.h>

// An edge-avoiding a-trous wavelet filter over the progressive average,
// guided by the primary hit buffers: it smooths what is noise and keeps
// what is an edge, and smooths less as the samples accumulate, so that a
// converged picture is left as it is.

// Filter passes; pass i puts its taps 2^i pixels apart. More passes reach
// further, which smooths a few samples more but blurs the fall-off of light
// (around the glowing objects, in the glossy floor) into haloes: three
// measured best.
constexpr int kDenoisePassCount = 3;

// The denoised picture's share of what the window shows: all of it up to
// kDenoiseWholeUpTo samples, where the filter clearly wins (at 768x512, 8
// denoised samples beat 128 plain ones), none from kDenoiseNoneFrom on,
// where the plain average changes by less than one 8-bit level from one
// doubling to the next, and no bias of the filter is worth keeping. Between,
// it falls evenly with log2 of the count: each doubling hands over as much.
constexpr int kDenoiseWholeUpTo = 128;
constexpr int kDenoiseNoneFrom = 1024;
float denoisedShare(int sampleCount);

struct DenoisePrograms {
  GLuint gatherMoments = 0;  // adds a sample's luminance and its square
  GLuint prepare = 0;        // light and noise of the average
  GLuint filter = 0;         // one wavelet pass
  GLuint lastFilter = 0;     // the last one, which writes the picture
  GLuint recentre = 0;       // undoes the shift of the sub-pixel offsets
};

// Render targets of the size of the picture, nearest filtering.
struct DenoiseTargets {
  int width = 0;
  int height = 0;
  GLuint moments = 0;     // sums of each sample's luminance and its square
  GLuint exactLight = 0;  // the average's light and its variance
  // RGBA32UI, read and written in turn: the light with the guide the passes
  // compare neighbours by, packed into one texel.
  GLuint packed[2] = {};
  GLuint filtered = 0;  // the last filter pass's picture
  GLuint picture = 0;   // the denoised average
  GLuint framebuffer = 0;
};

// The sub-pixel offsets the samples in the sum were taken at: all samples
// between two primary passes share one.
struct SampleOffsets {
  float current[2] = {0.0f, 0.0f};  // of the primary pass in the hit buffers
  bool currentUsed = false;         // whether a sample was taken with it
  double sum[2] = {0.0, 0.0};       // of the offsets of the samples in the sum
  int samples = 0;
  int distinct = 0;  // primary passes with samples in the sum

  // A primary pass cast with `offset`.
  void primaryPass(const float offset[2]);
  // A sample added with the current hit buffers; `first` empties the sum.
  void sampleAdded(bool first);
};

struct Denoiser {
  DenoisePrograms programs;
  DenoiseTargets targets;
  int momentCount = 0;  // samples in targets.moments
};

// What the denoiser reads; all of it belongs to the Application.
struct DenoiseInputs {
  GLuint sumTexture = 0;     // the running sum of samples
  int sampleCount = 0;       // samples in it
  SampleOffsets offsets;     // where they were taken
  GLuint sampleTexture = 0;  // the newest sample
  // 0, or the variance of each pixel's luminance with the samples' weight
  // behind it (w and z), in place of the estimate from the moments.
  GLuint varianceTexture = 0;
  GLuint hitColor = 0;
  GLuint hitPosition = 0;
  GLuint hitNormal = 0;
  GLuint quadVertexArray = 0;
  // The lower-left part, in texels, that the inputs fill where they hold a
  // moving picture drawn smaller: the part gathered and filtered alone.
  // 0: the whole targets.
  int region[2] = {0, 0};
  // Set where the GPU cannot blend into 32-bit float targets: the program
  // that adds two textures, with which the moments are summed instead.
  GLuint sumProgram = 0;
};

// Builds the programs with the full-screen quad's vertex shader file.
// Returns kStatusOk, or kStatusFatal when a stage does not compile.
int buildDenoisePrograms(DenoisePrograms& programs, const char* quadVertexFile);

// Makes every target at width x height, in place of any made before (which
// are freed); the moments start empty.
void createDenoiseTargets(Denoiser& denoiser, int width, int height);

// Adds the newest sample to the noise estimate; `restart` empties it first.
// Leaves the GL state as the frame passes do.
void gatherNoise(Denoiser& denoiser, const DenoiseInputs& inputs, bool restart);
// Its two halves, for a sample finished in bands: the drawing, once per
// band under a scissor, then the bookkeeping once.
void drawNoise(const Denoiser& denoiser, const DenoiseInputs& inputs, bool restart);
void noiseDrawn(Denoiser& denoiser, const DenoiseInputs& inputs, bool restart);

// Filters the current average and returns targets.picture, which holds it
// (an average, not a sum) until the next call. Needs inputs.sampleCount > 0.
// Leaves the GL state as the frame passes do.
GLuint denoise(Denoiser& denoiser, const DenoiseInputs& inputs);
// The passes denoise draws in turn, for a picture filtered in bands: each
// pass reads the whole of the one before, so every band of one is drawn
// before the next begins.
int denoisePassCount(const DenoiseInputs& inputs);
void drawDenoisePass(const Denoiser& denoiser, const DenoiseInputs& inputs, int pass);
