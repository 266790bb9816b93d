#include "render/FramePasses.h"

#include "scene/SceneLayout.h"

namespace {

// Texture units shared by both ray-tracing passes.
constexpr int kNodePoolUnit = 0;
constexpr int kTriangleIdUnit = 1;
constexpr int kTriangleUnit = 2;
constexpr int kTriangleNormalUnit = 3;
constexpr int kPrimaryBrdfUnit = 4;
constexpr int kHitPositionUnit = 4;
constexpr int kHitNormalUnit = 5;
constexpr int kHitColorUnit = 6;
constexpr int kRandomUnit = 7;
constexpr int kPathBrdfUnit = 8;

constexpr int kHitColorIndex = 0;
constexpr int kHitPositionIndex = 1;
constexpr int kHitNormalIndex = 2;
constexpr int kHitBufferCount = 3;

GLint location(GLuint program, const char* name) { return glGetUniformLocation(program, name); }

void setVector(GLuint program, const char* name, const Vector3& v) {
  glUniform3f(location(program, name), v.x, v.y, v.z);
}

void setFloat(GLuint program, const char* name, float value) {
  glUniform1f(location(program, name), value);
}

void setSampler(GLuint program, const char* name, int unit) {
  glUniform1i(location(program, name), unit);
}

void bindTexture(int unit, GLenum target, GLuint texture) {
  glActiveTexture(GL_TEXTURE0 + unit);
  glBindTexture(target, texture);
}

void clearTarget() {
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// The uniforms both ray-tracing passes share.
void setRayUniforms(GLuint program, const FrameView& view) {
  glUniform2f(location(program, "screen_dim"), view.screenWidth, view.screenHeight);
  setVector(program, "A", view.A);
  setVector(program, "B", view.B);
  setVector(program, "C", view.C);
  setVector(program, "camera_position", view.eye);
  setVector(program, "light_pos", view.lightPos);
  setFloat(program, "stepsize", view.stepSize);
  setFloat(program, "inv_node_pool_dim", inv_node_pool_dim);
  setFloat(program, "inv_triangle_id_tex_size", inv_triangle_id_tex_size);
  setFloat(program, "inv_triangle_tex_size", inv_triangle_tex_size);
  glUniform1ui(location(program, "triangle_id_tex_size"), triangle_id_tex_size);
  glUniform1ui(location(program, "triangle_tex_size"), triangle_tex_size);
  setSampler(program, "node_pool_texture", kNodePoolUnit);
  setSampler(program, "triangle_id_texture", kTriangleIdUnit);
  setSampler(program, "triangle_texture", kTriangleUnit);
  setSampler(program, "triangle_normal_texture", kTriangleNormalUnit);
}

void bindSceneTextures(const FrameResources& resources) {
  bindTexture(kNodePoolUnit, GL_TEXTURE_3D, resources.sceneTextures[0]);
  bindTexture(kTriangleIdUnit, GL_TEXTURE_2D, resources.sceneTextures[1]);
  bindTexture(kTriangleUnit, GL_TEXTURE_2D, resources.sceneTextures[2]);
  bindTexture(kTriangleNormalUnit, GL_TEXTURE_2D, resources.sceneTextures[3]);
}

void drawQuad(GLuint quadVertexArray) {
  glBindVertexArray(quadVertexArray);
  glDrawArrays(GL_TRIANGLES, 0, kQuadVertexDrawCount);
  glBindVertexArray(0);
}

// Copies texture (unit 0) onto the bound target through textureProgram.
void copyTexture(const FrameResources& resources, GLuint texture) {
  bindTexture(0, GL_TEXTURE_2D, texture);
  glUseProgram(resources.textureProgram);
  setSampler(resources.textureProgram, "tex", 0);
  drawQuad(resources.quadVertexArray);
  glUseProgram(0);
}

// The sum divided by sampleCount, onto the bound target.
void drawAverage(const FrameResources& resources, int sampleCount) {
  bindTexture(0, GL_TEXTURE_2D, resources.accumTexture);
  glUseProgram(resources.accumProgram);
  setSampler(resources.accumProgram, "tex", 0);
  setFloat(resources.accumProgram, "inv_num_samples", 1.0f / static_cast<float>(sampleCount));
  drawQuad(resources.quadVertexArray);
  glUseProgram(0);
}

}  // namespace

void traceSample(const FrameResources& resources, const FrameView& view, int randomPing) {
  const FrameBufferObject& pathFbo = *resources.pathFbo;
  const GLuint program = resources.pathProgram;
  const GLuint readRandom = resources.randomTextures[randomPing == 0 ? 1 : 0];
  pathFbo.attachTexture(kBounceDistanceAttachment, resources.bounceDistanceTexture);
  pathFbo.bindFirst(resources.bounceDistanceTexture != 0 ? kBounceDistanceAttachment + 1
                                                         : kBounceDistanceAttachment);
  // The sample alone: a clear ignores the viewport, and the random state
  // outside a smaller picture's part must live on. Zeroed, every pixel there
  // would start from the same state and draw the same paths for good.
  const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  glClearBufferfv(GL_COLOR, 0, none);
  glDisable(GL_DEPTH_TEST);

  glUseProgram(program);
  setRayUniforms(program, view);
  setSampler(program, "hit_position_texture", kHitPositionUnit);
  setSampler(program, "hit_normal_texture", kHitNormalUnit);
  setSampler(program, "hit_color_texture", kHitColorUnit);
  setSampler(program, "random_texture", kRandomUnit);
  setSampler(program, "brdf_texture", kPathBrdfUnit);
  bindSceneTextures(resources);
  const FrameBufferObject& primaryFbo = *resources.primaryFbo;
  bindTexture(kHitPositionUnit, GL_TEXTURE_2D, primaryFbo.colorTextures[kHitPositionIndex]);
  bindTexture(kHitNormalUnit, GL_TEXTURE_2D, primaryFbo.colorTextures[kHitNormalIndex]);
  bindTexture(kHitColorUnit, GL_TEXTURE_2D, primaryFbo.colorTextures[kHitColorIndex]);
  bindTexture(kRandomUnit, GL_TEXTURE_2D, readRandom);
  bindTexture(kPathBrdfUnit, GL_TEXTURE_1D, resources.brdfTexture);
  glActiveTexture(GL_TEXTURE0);

  drawQuad(resources.quadVertexArray);
  glUseProgram(0);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  pathFbo.unbind();
}

namespace {

// A texture cannot be read while it is drawn into: the sum goes to the
// spare texture and is copied back, which keeps accumTexture the one sum.
void addWithoutBlending(const FrameResources& resources) {
  const FrameBufferObject& pathFbo = *resources.pathFbo;
  pathFbo.attachTexture(0, resources.spareSumTexture);
  pathFbo.bindSingle(0);
  const GLuint program = resources.sumProgram;
  glUseProgram(program);
  setSampler(program, "sum_texture", 0);
  setSampler(program, "term_texture", 1);
  bindTexture(1, GL_TEXTURE_2D, resources.sampleTexture);
  bindTexture(0, GL_TEXTURE_2D, resources.accumTexture);
  drawQuad(resources.quadVertexArray);
  glUseProgram(0);
  pathFbo.attachTexture(0, resources.accumTexture);
  pathFbo.bindSingle(0);
  copyTexture(resources, resources.spareSumTexture);
}

// Adds sampleTexture into accumTexture by plain additive blending, or by
// drawing where the GPU cannot blend float targets.
void accumulateSample(const FrameResources& resources, bool firstSample) {
  const FrameBufferObject& pathFbo = *resources.pathFbo;
  pathFbo.attachTexture(0, resources.accumTexture);
  pathFbo.bindSingle(0);
  if (firstSample) clearTarget();
  glDisable(GL_DEPTH_TEST);
  if (resources.spareSumTexture != 0) {
    addWithoutBlending(resources);
  } else {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    copyTexture(resources, resources.sampleTexture);
    glDisable(GL_BLEND);
  }
  glEnable(GL_DEPTH_TEST);
  pathFbo.unbind();
  pathFbo.attachTexture(0, resources.sampleTexture);
}

}  // namespace

GLuint createScreenTexture(int width, int height, const float* data) {
  return createColorTexture(width, height, GL_RGBA32F, data);
}

void sizeScreenTexture(GLuint& texture, int width, int height, const float* data) {
  if (texture == 0) {
    texture = createScreenTexture(width, height, data);
  } else {
    resizeColorTexture(texture, width, height, GL_RGBA32F, data);
  }
}

void setDrawSize(int width, int height) { glViewport(0, 0, width, height); }

void setDrawArea(int x, int y, int width, int height) { glViewport(x, y, width, height); }

void enableDepthTest() { glEnable(GL_DEPTH_TEST); }

void clearWindow() { clearTarget(); }

void primaryPass(const FrameResources& resources, const FrameView& view) {
  const GLuint program = resources.voxelProgram;
  resources.primaryFbo->bind();
  clearTarget();
  // Culling the front faces leaves the far side of the box, so every pixel
  // whose ray crosses the box gets a fragment, also with the eye inside it.
  glEnable(GL_CULL_FACE);
  glCullFace(GL_FRONT);

  glUseProgram(program);
  glUniformMatrix4fv(location(program, "mvp"), 1, GL_FALSE, view.mvp.data());
  setRayUniforms(program, view);
  setVector(program, "BB_min", view.bbMin);
  setVector(program, "BB_max", view.bbMax);
  setVector(program, "BB_offset", view.bbOffset);
  setFloat(program, "BB_maxdim", view.bbMaxDim);
  glUniform2f(location(program, "jitter"), view.jitter[0], view.jitter[1]);
  setSampler(program, "brdf_texture", kPrimaryBrdfUnit);
  bindSceneTextures(resources);
  bindTexture(kPrimaryBrdfUnit, GL_TEXTURE_1D, resources.brdfTexture);
  glActiveTexture(GL_TEXTURE0);

  // Without a box there is no index buffer, and the compatibility profile
  // would read the indices from client memory at address 0.
  if (resources.boxVertexArray != 0) {
    glBindVertexArray(resources.boxVertexArray);
    glDrawElements(GL_TRIANGLES, kBoxIndexDrawCount, GL_UNSIGNED_SHORT, nullptr);
    glBindVertexArray(0);
  }
  glUseProgram(0);
  glCullFace(GL_BACK);
  resources.primaryFbo->unbind();
}

void addSample(const FrameResources& resources, int randomPing, bool firstSample) {
  // The texture written now is read by the next pass, which writes the other.
  resources.pathFbo->attachTexture(1, resources.randomTextures[randomPing == 0 ? 1 : 0]);
  accumulateSample(resources, firstSample);
}

void pathTracePass(const FrameResources& resources, const FrameView& view, int randomPing,
                   bool firstSample) {
  traceSample(resources, view, randomPing);
  addSample(resources, randomPing, firstSample);
}

void drawOnlyRows(int width, int first, int count) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, first, width, count);
}

void drawAllRows() { glDisable(GL_SCISSOR_TEST); }

void displayPass(const FrameResources& resources, int sampleCount, int displayMode) {
  glDisable(GL_DEPTH_TEST);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (sampleCount <= 0) {
    const int index = displayMode >= 0 && displayMode < kHitBufferCount ? displayMode : 0;
    copyTexture(resources, resources.primaryFbo->colorTextures[index]);
  } else {
    drawAverage(resources, sampleCount);
  }
  glEnable(GL_DEPTH_TEST);
}

void showPicture(const FrameResources& resources, GLuint picture) {
  glDisable(GL_DEPTH_TEST);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  copyTexture(resources, picture);
  glEnable(GL_DEPTH_TEST);
}

void showDenoised(const FrameResources& resources, GLuint picture, int sampleCount,
                  float denoisedShare) {
  showPicture(resources, picture);
  if (denoisedShare >= 1.0f || sampleCount <= 0) return;
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendColor(0.0f, 0.0f, 0.0f, 1.0f - denoisedShare);
  glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA);
  drawAverage(resources, sampleCount);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}
