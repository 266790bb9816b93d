#include "render/Denoiser.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ExitStatus.h"
#include "render/DenoiseShader.h"
#include "render/FrameBufferObject.h"
#include "render/FramePasses.h"
#include "render/ProgramBuilder.h"
#include "render/Sampling.h"

namespace {

// Texture units of the denoiser's programs.
constexpr int kHitColorUnit = 0;
constexpr int kHitPositionUnit = 1;
constexpr int kHitNormalUnit = 2;
constexpr int kInputUnit = 3;   // sample, sum, packed light or picture, by pass
constexpr int kSecondUnit = 4;  // moments, or the exact light
constexpr int kVarianceUnit = 5;

GLint location(GLuint program, const char* name) { return glGetUniformLocation(program, name); }

void bindTexture(int unit, GLuint texture) {
  glActiveTexture(GL_TEXTURE0 + unit);
  glBindTexture(GL_TEXTURE_2D, texture);
}

// Uses the program with the hit buffers bound, which every pass reads.
void useWithHitBuffers(GLuint program, const DenoiseInputs& inputs) {
  glUseProgram(program);
  glUniform1i(location(program, "hit_color_texture"), kHitColorUnit);
  glUniform1i(location(program, "hit_position_texture"), kHitPositionUnit);
  glUniform1i(location(program, "hit_normal_texture"), kHitNormalUnit);
  bindTexture(kHitColorUnit, inputs.hitColor);
  bindTexture(kHitPositionUnit, inputs.hitPosition);
  bindTexture(kHitNormalUnit, inputs.hitNormal);
}

// Binds the framebuffer drawing into `target`, and into `second` too unless
// it is 0.
void bindTargets(const DenoiseTargets& targets, GLuint target, GLuint second = 0) {
  glBindFramebuffer(GL_FRAMEBUFFER, targets.framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, second, 0);
  const GLenum drawBuffers[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
  glDrawBuffers(second != 0 ? 2 : 1, drawBuffers);
}

// Draws the full-screen quad into the targets at their size (or into the
// lower-left `width` x `height` of them), whatever the viewport of the
// window, which is restored afterwards.
void drawInto(const DenoiseTargets& targets, GLuint target, GLuint quadVertexArray,
              GLuint second = 0, int width = 0, int height = 0) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  bindTargets(targets, target, second);
  glViewport(0, 0, width > 0 ? width : targets.width, height > 0 ? height : targets.height);
  glActiveTexture(GL_TEXTURE0);
  glBindVertexArray(quadVertexArray);
  glDrawArrays(GL_TRIANGLES, 0, kQuadVertexDrawCount);
  glBindVertexArray(0);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

struct Area {
  int width;
  int height;
};

// The part of the targets that the inputs fill.
Area inputArea(const DenoiseTargets& targets, const DenoiseInputs& inputs) {
  if (inputs.region[0] <= 0 || inputs.region[1] <= 0) return {targets.width, targets.height};
  return {std::min(inputs.region[0], targets.width), std::min(inputs.region[1], targets.height)};
}

// For GPUs that cannot blend into float targets (iPhones): the sample's
// moments (the bound program's) go to `filtered`, their sum with the
// moments so far to `exactLight`, and the two sums trade names once every
// band is drawn (noiseDrawn); denoise writes `filtered` and `exactLight`
// before it reads them.
void gatherWithoutBlending(const DenoiseTargets& targets, const DenoiseInputs& inputs) {
  const Area area = inputArea(targets, inputs);
  drawInto(targets, targets.filtered, inputs.quadVertexArray, 0, area.width, area.height);
  const GLuint program = inputs.sumProgram;
  glUseProgram(program);
  glUniform1i(location(program, "sum_texture"), kInputUnit);
  glUniform1i(location(program, "term_texture"), kSecondUnit);
  bindTexture(kInputUnit, targets.moments);
  bindTexture(kSecondUnit, targets.filtered);
  drawInto(targets, targets.exactLight, inputs.quadVertexArray, 0, area.width, area.height);
}

// Returns to the state every frame pass leaves behind.
void finishPass() {
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_DEPTH_TEST);
}

GLuint createPackedTexture(int width, int height) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32UI, width, height, 0, GL_RGBA_INTEGER, GL_UNSIGNED_INT,
               nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}

void releaseTexture(GLuint& texture) {
  if (texture != 0) glDeleteTextures(1, &texture);
  texture = 0;
}

}  // namespace

float denoisedShare(int sampleCount) {
  if (sampleCount <= kDenoiseWholeUpTo) return 1.0f;
  if (sampleCount >= kDenoiseNoneFrom) return 0.0f;
  const double span = std::log2(static_cast<double>(kDenoiseNoneFrom) / kDenoiseWholeUpTo);
  const double left = std::log2(static_cast<double>(kDenoiseNoneFrom) / sampleCount);
  return static_cast<float>(left / span);
}

void SampleOffsets::primaryPass(const float offset[2]) {
  current[0] = offset[0];
  current[1] = offset[1];
  currentUsed = false;
}

void SampleOffsets::sampleAdded(bool first) {
  if (first) *this = {{current[0], current[1]}, false, {0.0, 0.0}, 0, 0};
  if (!currentUsed) ++distinct;
  currentUsed = true;
  sum[0] += current[0];
  sum[1] += current[1];
  ++samples;
}

int buildDenoisePrograms(DenoisePrograms& programs, const char* quadVertexFile) {
  const struct {
    GLuint* program;
    const char* pass;
  } builds[] = {
      {&programs.gatherMoments, "GATHER_MOMENTS"},
      {&programs.prepare, "PREPARE"},
      {&programs.filter, "FILTER"},
      {&programs.lastFilter, "LAST_FILTER"},
      {&programs.recentre, "RECENTRE"},
  };
  for (const auto& build : builds) {
    const BuiltProgram built = buildProgram(quadVertexFile, nullptr, nullptr, nullptr,
                                            kDenoiseFragmentSource, false, build.pass);
    if (built.status != kStatusOk) return built.status;
    *build.program = built.program;
  }
  return kStatusOk;
}

void createDenoiseTargets(Denoiser& denoiser, int width, int height) {
  DenoiseTargets& targets = denoiser.targets;
  for (GLuint* texture : {&targets.moments, &targets.exactLight, &targets.packed[0],
                          &targets.packed[1], &targets.filtered, &targets.picture}) {
    releaseTexture(*texture);
  }
  targets.width = width;
  targets.height = height;
  targets.moments = createScreenTexture(width, height, nullptr);
  targets.exactLight = createScreenTexture(width, height, nullptr);
  targets.packed[0] = createPackedTexture(width, height);
  targets.packed[1] = createPackedTexture(width, height);
  targets.filtered = createScreenTexture(width, height, nullptr);
  targets.picture = createScreenTexture(width, height, nullptr);
  if (targets.framebuffer == 0) glGenFramebuffers(1, &targets.framebuffer);
  denoiser.momentCount = 0;
}

void gatherNoise(Denoiser& denoiser, const DenoiseInputs& inputs, bool restart) {
  drawNoise(denoiser, inputs, restart);
  noiseDrawn(denoiser, inputs, restart);
}

void drawNoise(const Denoiser& denoiser, const DenoiseInputs& inputs, bool restart) {
  const GLuint program = denoiser.programs.gatherMoments;
  glDisable(GL_DEPTH_TEST);
  bindTargets(denoiser.targets, denoiser.targets.moments);
  if (restart || denoiser.momentCount == 0) {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  useWithHitBuffers(program, inputs);
  glUniform1i(location(program, "sample_texture"), kInputUnit);
  bindTexture(kInputUnit, inputs.sampleTexture);
  if (inputs.sumProgram != 0) {
    gatherWithoutBlending(denoiser.targets, inputs);
  } else {
    const Area area = inputArea(denoiser.targets, inputs);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    drawInto(denoiser.targets, denoiser.targets.moments, inputs.quadVertexArray, 0, area.width,
             area.height);
    glDisable(GL_BLEND);
  }
  finishPass();
}

void noiseDrawn(Denoiser& denoiser, const DenoiseInputs& inputs, bool restart) {
  if (inputs.sumProgram != 0) std::swap(denoiser.targets.moments, denoiser.targets.exactLight);
  denoiser.momentCount = restart ? 1 : denoiser.momentCount + 1;
}

// Once every offset of the schedule has samples in the sum, its picture is
// as centred and as smooth at the edges as it will get.
bool needsRecentring(const SampleOffsets& offsets) {
  return offsets.samples > 0 && offsets.distinct < kJitterOffsetCount;
}

int denoisePassCount(const DenoiseInputs& inputs) {
  if (inputs.sampleCount <= 0) return 0;
  return 1 + kDenoisePassCount + (needsRecentring(inputs.offsets) ? 1 : 0);
}

void drawDenoisePass(const Denoiser& denoiser, const DenoiseInputs& inputs, int pass) {
  const DenoisePrograms& programs = denoiser.programs;
  const DenoiseTargets& targets = denoiser.targets;
  if (pass < 0 || pass >= denoisePassCount(inputs)) return;
  glDisable(GL_DEPTH_TEST);
  const Area area = inputArea(targets, inputs);
  const int width = area.width;
  const int height = area.height;
  const SampleOffsets& offsets = inputs.offsets;
  const bool recentre = needsRecentring(offsets);

  if (pass == 0) {
    useWithHitBuffers(programs.prepare, inputs);
    glUniform1i(location(programs.prepare, "sum_texture"), kInputUnit);
    glUniform1i(location(programs.prepare, "moments_texture"), kSecondUnit);
    glUniform1f(location(programs.prepare, "inv_num_samples"),
                1.0f / static_cast<float>(inputs.sampleCount));
    glUniform1f(location(programs.prepare, "moment_count"),
                static_cast<float>(denoiser.momentCount));
    glUniform1i(location(programs.prepare, "given_variance"), inputs.varianceTexture != 0);
    glUniform1i(location(programs.prepare, "variance_texture"), kVarianceUnit);
    bindTexture(kInputUnit, inputs.sumTexture);
    bindTexture(kSecondUnit, targets.moments);
    bindTexture(kVarianceUnit, inputs.varianceTexture);
    glUniform2i(location(programs.prepare, "region_size"), width, height);
    drawInto(targets, targets.exactLight, inputs.quadVertexArray, targets.packed[0], width,
             height);
  } else if (const int step = pass - 1; step < kDenoisePassCount) {
    const bool last = step == kDenoisePassCount - 1;
    const GLuint program = last ? programs.lastFilter : programs.filter;
    useWithHitBuffers(program, inputs);
    glUniform1i(location(program, "packed_texture"), kInputUnit);
    glUniform1i(location(program, "exact_light_texture"), kSecondUnit);
    glUniform1i(location(program, "step_size"), 1 << step);
    glUniform2i(location(program, "region_size"), width, height);
    bindTexture(kInputUnit, targets.packed[step % 2]);
    bindTexture(kSecondUnit, targets.exactLight);
    const GLuint lastTarget = recentre ? targets.filtered : targets.picture;
    drawInto(targets, last ? lastTarget : targets.packed[(step + 1) % 2], inputs.quadVertexArray,
             0, width, height);
  } else {
    glUseProgram(programs.recentre);
    glUniform1i(location(programs.recentre, "picture_texture"), kInputUnit);
    glUniform2f(location(programs.recentre, "mean_offset"),
                static_cast<float>(offsets.sum[0] / offsets.samples),
                static_cast<float>(offsets.sum[1] / offsets.samples));
    bindTexture(kInputUnit, targets.filtered);
    drawInto(targets, targets.picture, inputs.quadVertexArray, 0, width, height);
  }
  finishPass();
}

GLuint denoise(Denoiser& denoiser, const DenoiseInputs& inputs) {
  const int passes = denoisePassCount(inputs);
  for (int pass = 0; pass < passes; ++pass) drawDenoisePass(denoiser, inputs, pass);
  return denoiser.targets.picture;
}
