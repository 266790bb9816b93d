#include "render/GpuObjects.h"

#include <algorithm>
#include <iterator>

#include "ExitStatus.h"
#include "render/BuiltinShaders.h"
#include "render/Sampling.h"
#include "render/SumShader.h"

namespace {

// The greeting's programs. The two ray-tracing programs start from the
// built-in texts, which were generated from their files; F5 compiles the
// files themselves and writes each back out as the header it came from.
struct ProgramEntry {
  GLuint GpuObjects::*program;
  const char* vertexFile;
  const char* fragmentFile;
  // The built-in text it starts with, or null when it starts from the file.
  const char* (*builtin)(PathVariant);
  // The file holds the two-bounce text; each program compiles its own
  // variant of it, as its built-in text was made.
  const char* (*define)(PathVariant);
  bool exportsHeaderAtStart;
  // What to name when it does not link; null for a program no pass draws
  // with, which F5 leaves alone too.
  const char* describedAs;
};

const char* primaryRayBuiltin(PathVariant) { return primaryRayFragmentSource(); }

const ProgramEntry kPrograms[] = {
    {&GpuObjects::vsFsProgram, "VS.glsl", "FS.glsl", nullptr, nullptr, true, nullptr},
    {&GpuObjects::textureProgram, "TextureShaderVS.glsl", "TextureShaderFS.glsl", nullptr, nullptr,
     false, "TextureShaderVS.glsl and TextureShaderFS.glsl"},
    {&GpuObjects::accumProgram, "TextureShaderAccumVS.glsl", "TextureShaderAccumFS.glsl", nullptr,
     nullptr, false, "TextureShaderAccumVS.glsl and TextureShaderAccumFS.glsl"},
    {&GpuObjects::voxelProgram, "VoxelShaderVSgiga.glsl", "VoxelShaderFSgiga.glsl",
     primaryRayBuiltin, nullptr, false,
     "VoxelShaderVSgiga.glsl and the built-in primary-ray shader"},
    {&GpuObjects::pathProgram, "gigaAOShaderVS.glsl", "gigaAOShaderFS.glsl",
     pathTraceFragmentSource, pathTraceDefine, false,
     "gigaAOShaderVS.glsl and the built-in path-tracing shader"},
};

// Keeps the program in use when its replacement does not compile or link;
// an edited shader with a typo must not end or blank a running demo. A
// replaced program is freed: each F5 would otherwise keep megabytes of
// compiled code.
void replaceProgram(GLuint& program, const BuiltProgram& built) {
  if (built.status != kStatusOk || !built.linked) {
    releaseProgram(built.program);
    return;
  }
  releaseProgram(program);
  program = built.program;
}

}  // namespace

void GpuObjects::requestPrograms(PathVariant variant) {
  requests.clear();
  for (const ProgramEntry& entry : kPrograms) {
    const char* fragment = entry.builtin ? entry.builtin(variant) : entry.fragmentFile;
    const PendingProgram pending = startProgram(entry.vertexFile, nullptr, nullptr, nullptr,
                                                fragment, entry.exportsHeaderAtStart);
    requests.push_back({&(this->*entry.program), pending});
  }
}

std::vector<GLuint> GpuObjects::programsInProgress() const {
  std::vector<GLuint> programs;
  for (const ProgramRequest& request : requests) programs.push_back(request.pending.program);
  return programs;
}

int GpuObjects::finishPrograms() {
  int built = kStatusOk;
  // All are finished, also after a failure, so that none is left half made.
  for (ProgramRequest& request : requests) {
    const BuiltProgram program = finishProgram(request.pending);
    if (built == kStatusOk) built = program.status;
    *request.program = program.program;
  }
  requests.clear();
  if (built != kStatusOk) return built;
  if (const int denoising = buildDenoisePrograms(denoiser.programs, "TextureShaderVS.glsl");
      denoising != kStatusOk) {
    return denoising;
  }
  if (const int temporalBuilt = buildTemporalPrograms(temporal.programs, "TextureShaderVS.glsl");
      temporalBuilt != kStatusOk) {
    return temporalBuilt;
  }
  if (features.floatBlend) return kStatusOk;
  const BuiltProgram sum = buildProgram("TextureShaderVS.glsl", nullptr, nullptr, nullptr,
                                        kSumFragmentSource, false, nullptr);
  sumProgram = sum.program;
  return sum.status;
}

void GpuObjects::reloadPrograms(PathVariant variant) {
  for (const ProgramEntry& entry : kPrograms) {
    if (entry.describedAs == nullptr) continue;
    const char* define = entry.define ? entry.define(variant) : nullptr;
    const bool exportHeader = entry.builtin != nullptr;
    replaceProgram(this->*entry.program, buildProgram(entry.vertexFile, nullptr, nullptr, nullptr,
                                                      entry.fragmentFile, exportHeader, define));
  }
}

std::string GpuObjects::unlinkedProgram() const {
  for (const ProgramEntry& entry : kPrograms) {
    if (entry.describedAs != nullptr && !isLinked(this->*entry.program)) return entry.describedAs;
  }
  return "";
}

std::vector<Vector3> GpuObjects::createMeshes(const Vector3& boxMin, const Vector3& boxMax) {
  BoxMesh box = createBoxMesh(boxMin.x, boxMin.y, boxMin.z, boxMax.x, boxMax.y, boxMax.z);
  boxVertexBuffer = box.vertexBuffer;
  boxIndexBuffer = box.indexBuffer;
  boxVertexArray = box.vertexArray;
  const QuadMesh quad = createQuadMesh();
  quadVertexBuffer = quad.vertexBuffer;
  quadVertexArray = quad.vertexArray;
  previewQuad = createQuadMesh();
  return std::move(box.vertices);
}

int GpuObjects::createTargets(int width, int height, PathVariant variant, int randomPing) {
  if (const int made = primaryFbo.create(width, height, GL_RGBA16F, 3, false, true);
      made != kStatusOk) {
    return made;
  }
  // Its textures come from outside, so the check at creation always meets a
  // missing attachment; that is reported and harmless.
  if (const int made =
          pathFbo.create(width, height, GL_RGBA32F, kBounceDistanceAttachment + 1, false, false);
      made != kStatusOk) {
    return made;
  }
  sizeScreenTargets(width, height, variant);
  pathFbo.attachTexture(0, sampleTexture);
  // The one the next sample writes. Targets made again after a lost
  // context meet a sampling that may be at the other texture: attaching
  // the first would have that sample read what it writes, which a browser
  // refuses to draw, and the sample would be counted without its light.
  pathFbo.attachTexture(1, randomTextures[randomPing]);
  return kStatusOk;
}

void GpuObjects::sizeScreenTargets(int width, int height, PathVariant variant) {
  const std::vector<float> seeds = makeSeedBuffer(width, height, variant);
  sizeScreenTexture(sampleTexture, width, height, nullptr);
  sizeScreenTexture(bounceDistanceTexture, width, height, nullptr);
  sizeScreenTexture(accumTexture, width, height, nullptr);
  if (!features.floatBlend) sizeScreenTexture(spareSumTexture, width, height, nullptr);
  seedRandomTextures(width, height, seeds);
  primaryFbo.resize(width, height);
  pathFbo.resize(width, height);
  setDrawSize(width, height);
}

void GpuObjects::seedRandomTextures(int width, int height, const std::vector<float>& seeds) {
  sizeScreenTexture(randomTextures[0], width, height, seeds.data());
  sizeScreenTexture(randomTextures[1], width, height, seeds.data());
}

void GpuObjects::readyDenoiseTargets(int width, int height) {
  if (denoiser.targets.width != width || denoiser.targets.height != height)
    createDenoiseTargets(denoiser, width, height);
}

void GpuObjects::readyTemporalTargets(int width, int height) {
  if (temporal.targets.width != width || temporal.targets.height != height)
    createTemporalTargets(temporal, width, height);
}

void GpuObjects::forget() {
  const GpuFeatures kept = features;
  *this = GpuObjects();
  features = kept;
}

FrameResources GpuObjects::resources(GLuint brdfTexture) const {
  FrameResources resources;
  resources.textureProgram = textureProgram;
  resources.accumProgram = accumProgram;
  resources.voxelProgram = voxelProgram;
  resources.pathProgram = pathProgram;
  std::copy(std::begin(sceneTextures), std::end(sceneTextures), resources.sceneTextures);
  resources.brdfTexture = brdfTexture;
  resources.sampleTexture = sampleTexture;
  resources.accumTexture = accumTexture;
  resources.randomTextures[0] = randomTextures[0];
  resources.randomTextures[1] = randomTextures[1];
  resources.primaryFbo = &primaryFbo;
  resources.pathFbo = &pathFbo;
  resources.boxVertexArray = boxVertexArray;
  resources.quadVertexArray = quadVertexArray;
  resources.sumProgram = sumProgram;
  resources.spareSumTexture = spareSumTexture;
  return resources;
}
