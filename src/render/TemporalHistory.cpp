#include "render/TemporalHistory.h"

#include <algorithm>
#include <cmath>

#include "ExitStatus.h"
#include "render/FrameBufferObject.h"
#include "render/FramePasses.h"
#include "render/ProgramBuilder.h"
#include "render/TemporalShader.h"

namespace {

// Beyond any picture's sample count: no limit.
constexpr float kUnlimitedWeight = 1.0e9f;

// Texture units of the history's programs.
constexpr int kHitColorUnit = 0;
constexpr int kHitPositionUnit = 1;
constexpr int kHitNormalUnit = 2;
constexpr int kFirstInputUnit = 3;

GLint location(GLuint program, const char* name) { return glGetUniformLocation(program, name); }

// Binds `texture` to the next free unit and names it to the program.
class TextureUnits {
 public:
  explicit TextureUnits(GLuint program) : program(program) {}
  void bind(const char* name, GLuint texture) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1i(location(program, name), unit);
    ++unit;
  }

 private:
  GLuint program;
  int unit = kFirstInputUnit;
};

struct ViewSize {
  int width;
  int height;
};

ViewSize viewSize(const TemporalTargets& targets, const TemporalInputs& inputs) {
  if (inputs.size[0] <= 0 || inputs.size[1] <= 0) return {targets.width, targets.height};
  return {std::min(inputs.size[0], targets.width), std::min(inputs.size[1], targets.height)};
}

// Uses the program with the current view's hit buffers bound.
void useWithView(GLuint program, const TemporalTargets& targets, const TemporalInputs& inputs) {
  glUseProgram(program);
  const struct {
    const char* name;
    int unit;
    GLuint texture;
  } buffers[] = {{"hit_color_texture", kHitColorUnit, inputs.hitColor},
                 {"hit_position_texture", kHitPositionUnit, inputs.hitPosition},
                 {"hit_normal_texture", kHitNormalUnit, inputs.hitNormal}};
  for (const auto& buffer : buffers) {
    glUniform1i(location(program, buffer.name), buffer.unit);
    glActiveTexture(GL_TEXTURE0 + buffer.unit);
    glBindTexture(GL_TEXTURE_2D, buffer.texture);
  }
  const ViewSize size = viewSize(targets, inputs);
  glUniform2i(location(program, "view_size"), size.width, size.height);
}

// Draws the full-screen quad into the view's part of up to three of the
// targets, whatever the window's viewport, which is restored afterwards.
void drawInto(const TemporalTargets& targets, const TemporalInputs& inputs, GLuint first,
              GLuint second = 0, GLuint third = 0) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  glBindFramebuffer(GL_FRAMEBUFFER, targets.framebuffer);
  const GLuint attached[3] = {first, second, third};
  for (int i = 0; i < 3; ++i) {
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, attached[i], 0);
  }
  const GLenum drawBuffers[3] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};
  glDrawBuffers(third != 0 ? 3 : (second != 0 ? 2 : 1), drawBuffers);
  const ViewSize size = viewSize(targets, inputs);
  glViewport(0, 0, size.width, size.height);
  glDisable(GL_DEPTH_TEST);
  glActiveTexture(GL_TEXTURE0);
  glBindVertexArray(inputs.quadVertexArray);
  glDrawArrays(GL_TRIANGLES, 0, kQuadVertexDrawCount);
  glBindVertexArray(0);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

// Returns to the state every frame pass leaves behind.
void finishPass() {
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_DEPTH_TEST);
}

void releaseTexture(GLuint& texture) {
  if (texture != 0) glDeleteTextures(1, &texture);
  texture = 0;
}

void clearHistory(const TemporalTargets& targets) {
  glBindFramebuffer(GL_FRAMEBUFFER, targets.framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, targets.history, 0);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D,
                         targets.historyMoments, 0);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT2, GL_TEXTURE_2D, 0, 0);
  const GLenum drawBuffers[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
  glDrawBuffers(2, drawBuffers);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

void reprojectLastPicture(const TemporalHistory& history, const TemporalInputs& inputs,
                          const TemporalView& view) {
  const TemporalTargets& targets = history.targets;
  const GLuint program = history.programs.reproject;
  useWithView(program, targets, inputs);
  TextureUnits units(program);
  units.bind("sample_texture", inputs.sampleTexture);
  units.bind("bounce_distance_texture", inputs.bounceDistanceTexture);
  units.bind("last_picture_texture", targets.picture);
  units.bind("last_moments_texture", targets.pictureMoments);
  units.bind("last_position_texture", targets.position[targets.kept]);
  units.bind("last_normal_texture", targets.normal[targets.kept]);
  glUniformMatrix4fv(location(program, "last_view_projection"), 1, GL_FALSE,
                     history.viewProjection.data());
  glUniform2f(location(program, "last_jitter"), history.jitter[0], history.jitter[1]);
  glUniform2i(location(program, "last_size"), history.size[0], history.size[1]);
  const float toOctree = 1.0f / view.bbMaxDim;
  const Vector3 eye = {(view.eye.x + view.bbOffset.x) * toOctree,
                       (view.eye.y + view.bbOffset.y) * toOctree,
                       (view.eye.z + view.bbOffset.z) * toOctree};
  glUniform3f(location(program, "bb_offset"), view.bbOffset.x, view.bbOffset.y, view.bbOffset.z);
  glUniform1f(location(program, "bb_maxdim"), view.bbMaxDim);
  glUniform3f(location(program, "eye"), eye.x, eye.y, eye.z);
  glUniform1f(location(program, "pixel_angle"), view.pixelAngle);
  glUniform1i(location(program, "reflections_kept"), view.reflectionsKept ? 1 : 0);
  glUniform1f(location(program, "history_limit"), view.historyLimit);
  drawInto(targets, inputs, targets.history, targets.historyMoments);
}

bool sameMatrix(const Matrix4& a, const Matrix4& b) {
  for (int i = 0; i < 16; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

float historyWeightLimit(float frameSeconds, float samplesPerFrame) {
  // The new samples' share s / (w + s) is at least 1 - exp(-dt / tau).
  const double dt = frameSeconds;
  if (!(dt > 0.0) || !(samplesPerFrame > 0.0f)) return kUnlimitedWeight;
  const double limit = samplesPerFrame / std::expm1(dt / kHistorySeconds);
  return limit < kUnlimitedWeight ? static_cast<float>(limit) : kUnlimitedWeight;
}

float historyFade(int samples) {
  if (samples <= 0) return 1.0f;
  if (samples >= kHistoryFadeSamples) return 0.0f;
  return 1.0f - static_cast<float>(samples) / static_cast<float>(kHistoryFadeSamples);
}

int buildTemporalPrograms(TemporalPrograms& programs, const char* quadVertexFile) {
  const struct {
    GLuint* program;
    const char* pass;
  } builds[] = {
      {&programs.reproject, "REPROJECT"},
      {&programs.keepGeometry, "KEEP_GEOMETRY"},
      {&programs.resolve, "RESOLVE"},
      {&programs.smoothEdges, "SMOOTH_EDGES"},
      {&programs.stretch, "STRETCH"},
  };
  for (const auto& build : builds) {
    const BuiltProgram built = buildProgram(quadVertexFile, nullptr, nullptr, nullptr,
                                            kTemporalFragmentSource, false, build.pass);
    if (built.status != kStatusOk) return built.status;
    *build.program = built.program;
  }
  return kStatusOk;
}

void createTemporalTargets(TemporalHistory& history, int width, int height) {
  TemporalTargets& targets = history.targets;
  for (GLuint* texture : {&targets.history, &targets.historyMoments, &targets.picture,
                          &targets.pictureMoments, &targets.shown[0], &targets.shown[1]}) {
    releaseTexture(*texture);
    *texture = createScreenTexture(width, height, nullptr);
  }
  // Copies of the hit buffers, in their own format: exact, and half the
  // reads of full floats.
  for (int i = 0; i < 2; ++i) {
    for (GLuint* texture : {&targets.position[i], &targets.normal[i], &targets.color[i]}) {
      releaseTexture(*texture);
      *texture = createColorTexture(width, height, GL_RGBA16F, nullptr);
    }
  }
  targets.width = width;
  targets.height = height;
  targets.kept = 0;
  if (targets.framebuffer == 0) glGenFramebuffers(1, &targets.framebuffer);
  emptyHistory(history);
}

void reprojectHistory(TemporalHistory& history, const TemporalInputs& inputs,
                      const TemporalView& view) {
  drawReprojection(history, inputs, view);
  drawKeptGeometry(history, inputs);
  viewKept(history, inputs, view);
}

void drawReprojection(const TemporalHistory& history, const TemporalInputs& inputs,
                      const TemporalView& view) {
  if (history.filled) {
    reprojectLastPicture(history, inputs, view);
  } else {
    clearHistory(history.targets);
  }
  finishPass();
}

void drawKeptGeometry(const TemporalHistory& history, const TemporalInputs& inputs) {
  const TemporalTargets& targets = history.targets;
  const int next = 1 - targets.kept;
  useWithView(history.programs.keepGeometry, targets, inputs);
  drawInto(targets, inputs, targets.position[next], targets.normal[next], targets.color[next]);
  finishPass();
}

void viewKept(TemporalHistory& history, const TemporalInputs& inputs, const TemporalView& view) {
  TemporalTargets& targets = history.targets;
  targets.kept = 1 - targets.kept;
  const ViewSize size = viewSize(targets, inputs);
  history.size[0] = size.width;
  history.size[1] = size.height;
  // A picture drawn smaller is shown without the blend, so the last
  // full-size one shown is no longer the last picture.
  if (size.width != targets.width || size.height != targets.height) history.shownFilled = false;
  history.viewProjection = view.viewProjection;
  history.jitter[0] = view.jitter[0];
  history.jitter[1] = view.jitter[1];
}

void resolvePicture(TemporalHistory& history, const TemporalInputs& inputs) {
  drawResolvedPicture(history, inputs);
  pictureResolved(history);
}

void drawResolvedPicture(const TemporalHistory& history, const TemporalInputs& inputs) {
  const TemporalTargets& targets = history.targets;
  const GLuint program = history.programs.resolve;
  useWithView(program, targets, inputs);
  TextureUnits units(program);
  units.bind("history_texture", targets.history);
  units.bind("history_moments_texture", targets.historyMoments);
  units.bind("sum_texture", inputs.sumTexture);
  units.bind("moments_texture", inputs.momentsTexture);
  glUniform1f(location(program, "num_samples"), static_cast<float>(inputs.sampleCount));
  glUniform1f(location(program, "moment_count"), static_cast<float>(inputs.momentCount));
  glUniform1f(location(program, "history_fade"), historyFade(inputs.sampleCount));
  drawInto(targets, inputs, targets.picture, targets.pictureMoments);
  finishPass();
}

GLuint smoothEdges(TemporalHistory& history, const TemporalInputs& inputs, const TemporalView& view,
                   GLuint picture) {
  if (history.shownPicture == history.resolvedPictures) return history.shownTexture;
  const bool moved = history.shownPicture < 0 ||
                     !sameMatrix(history.shownViewProjection, view.viewProjection);
  const Matrix4 lastViewProjection = history.shownViewProjection;
  history.shownPicture = history.resolvedPictures;
  history.shownViewProjection = view.viewProjection;
  if (!moved) {
    // At rest the view's own samples settle the picture.
    history.shownFilled = false;
    history.shownTexture = picture;
    return picture;
  }
  TemporalTargets& targets = history.targets;
  const int next = 1 - targets.latestShown;
  const GLuint program = history.programs.smoothEdges;
  useWithView(program, targets, inputs);
  TextureUnits units(program);
  units.bind("picture_texture", picture);
  units.bind("last_shown_texture", targets.shown[targets.latestShown]);
  glUniformMatrix4fv(location(program, "last_view_projection"), 1, GL_FALSE,
                     lastViewProjection.data());
  glUniform2f(location(program, "jitter"), view.jitter[0], view.jitter[1]);
  glUniform3f(location(program, "bb_offset"), view.bbOffset.x, view.bbOffset.y, view.bbOffset.z);
  glUniform1f(location(program, "bb_maxdim"), view.bbMaxDim);
  glUniform1f(location(program, "last_share"), history.shownFilled ? kShownShare : 0.0f);
  drawInto(targets, inputs, targets.shown[next]);
  finishPass();
  targets.latestShown = next;
  history.shownFilled = true;
  history.shownTexture = targets.shown[next];
  return history.shownTexture;
}

void showStretched(const TemporalPrograms& programs, GLuint picture, int width, int height,
                   GLuint quadVertexArray) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const GLuint program = programs.stretch;
  glUseProgram(program);
  glUniform2i(location(program, "picture_size"), std::max(width, 1), std::max(height, 1));
  glUniform2f(location(program, "window_size"), static_cast<float>(std::max(viewport[2], 1)),
              static_cast<float>(std::max(viewport[3], 1)));
  glUniform1i(location(program, "picture_texture"), 0);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, picture);
  glDisable(GL_DEPTH_TEST);
  glBindVertexArray(quadVertexArray);
  glDrawArrays(GL_TRIANGLES, 0, kQuadVertexDrawCount);
  glBindVertexArray(0);
  glUseProgram(0);
  glEnable(GL_DEPTH_TEST);
}
