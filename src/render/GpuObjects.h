#pragma once

#include <string>
#include <vector>

#include <GL/glew.h>

#include "geometry/Mesh.h"
#include "geometry/Vector.h"
#include "render/Denoiser.h"
#include "render/FrameBufferObject.h"
#include "render/FramePasses.h"
#include "render/PathVariant.h"
#include "render/ProgramBuilder.h"
#include "render/TemporalHistory.h"

// What the GPU offers that not every WebGL 2 does. The desktop's OpenGL 4.1
// has all of it; a page reads it once, before the targets are made.
struct GpuFeatures {
  // Blending into 32-bit float targets (EXT_float_blend), which iPhones
  // lack: without it, sums are added by drawing into a spare texture.
  bool floatBlend = true;
};

// Every GL object the greeting draws with: the shader programs, the meshes
// of the scene's box and the screen quads, the screen-size targets, the
// scene's textures and the denoiser. They are made at start-up and made
// again on F5 (programs), on a resize (targets) and after a lost context
// (everything); nothing here knows the camera or the sampling.
class GpuObjects {
 public:
  // Asks the driver for every program before reading any status, so that
  // a driver compiling in the background works on all of them at once.
  void requestPrograms(PathVariant variant);
  // Whether programs were asked for and not finished yet.
  bool programsRequested() const { return !requests.empty(); }
  std::vector<GLuint> programsInProgress() const;
  // Reads the requested programs' statuses (waiting if need be), then builds
  // the denoiser's. kStatusOk or the first failure's status; every request
  // is finished either way.
  int finishPrograms();
  // F5: every program the passes draw with, built again from its files in
  // the working directory. A program that does not build keeps the old one.
  void reloadPrograms(PathVariant variant);
  // The files of the first program the passes draw with that did not link,
  // or an empty text when every one did.
  std::string unlinkedProgram() const;

  // The box around the scene (its corner vertices are returned for the CPU)
  // and the screen quads.
  std::vector<Vector3> createMeshes(const Vector3& boxMin, const Vector3& boxMax);
  // `randomPing`: which random texture the next path sample writes.
  int createTargets(int width, int height, PathVariant variant, int randomPing);
  // Every screen-size target at the new size, seeds fresh for `variant`;
  // the names stay, so attachments and resources stay valid.
  void sizeScreenTargets(int width, int height, PathVariant variant);
  // Both random textures hold `seeds`, so either may be read first.
  void seedRandomTextures(int width, int height, const std::vector<float>& seeds);
  // The denoiser's targets (about 36 MB at 768x512) are made when it is
  // first used and again after a resize, so that a demo that never denoises
  // does not hold them. Making them empties the noise estimate.
  void readyDenoiseTargets(int width, int height);
  // The history's targets, made as the denoiser's are: when first used and
  // after a resize, which empties the history.
  void readyTemporalTargets(int width, int height);
  // After a lost context: the old names mean nothing in the new one, and
  // deleting them could only raise errors, so they are forgotten (the
  // features are kept).
  void forget();

  FrameResources resources(GLuint brdfTexture) const;

  GLuint boxVertexBuffer = 0, boxIndexBuffer = 0, boxVertexArray = 0;
  GLuint quadVertexBuffer = 0, quadVertexArray = 0;
  // The quad that shows the lower-left part of a texture: the moving picture.
  QuadMesh previewQuad;
  GLuint vsFsProgram = 0;
  GLuint textureProgram = 0;
  GLuint accumProgram = 0;
  GLuint voxelProgram = 0;
  GLuint pathProgram = 0;
  // Only without float blending: see GpuFeatures.
  GLuint sumProgram = 0;
  GLuint spareSumTexture = 0;
  GLuint sceneTextures[4] = {};
  GLuint sampleTexture = 0;
  // How far the first bounce of a view's first sample went, written while
  // samples are reused: see the path tracer.
  GLuint bounceDistanceTexture = 0;
  GLuint accumTexture = 0;
  GLuint randomTextures[2] = {};
  FrameBufferObject primaryFbo;
  FrameBufferObject pathFbo;
  Denoiser denoiser;
  GpuFeatures features;
  TemporalHistory temporal;

 private:
  struct ProgramRequest {
    GLuint* program;
    PendingProgram pending;
  };
  std::vector<ProgramRequest> requests;
};
