// F5 pressed again and again while the demo runs: each rebuild must free the
// programs it replaces, or every press keeps megabytes of compiled code, and
// keep those whose replacement does not compile or link.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/KeyCodes.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "render/ProgramBuilder.h"
#include "support/GlContext.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 16;

// A working directory with the demo's files, where F5 may write its headers.
class ProgramReload : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    previous = fs::current_path();
    scratch = fs::temp_directory_path() / ("xmastrace_reload_" + std::to_string(getpid()));
    fs::remove_all(scratch);
    fs::copy(XMASTRACE_RUN_DIR, scratch, fs::copy_options::recursive);
    for (const char* name : {"VoxelShaderFSgiga.glsl", "gigaAOShaderFS.glsl"}) {
      // The reloaded shaders are links into the sources; a copy of the text
      // lets the test break one without touching them.
      fs::remove(scratch / name);
      fs::copy_file(fs::path(XMASTRACE_RUN_DIR) / name, scratch / name);
    }
    fs::current_path(scratch);
    glViewport(0, 0, kWidth, kHeight);
    testing::internal::CaptureStdout();
    app = std::make_unique<Application>(kWidth, kHeight, PathVariant::OneBounce);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(app->startupStatus(), kStatusOk);
    frame();
  }
  void TearDown() override {
    app.reset();
    fs::current_path(previous);
    fs::remove_all(scratch);
  }

  void frame(bool pressF5 = false) {
    if (pressF5) keys.setKey(kKeyF5, true);
    app->update(0.016f, keys, mouse);
    app->draw();
    keys.endFrame();
    mouse.endFrame();
    if (pressF5) keys.setKey(kKeyF5, false);
  }

  fs::path previous;
  fs::path scratch;
  std::unique_ptr<Application> app;
  KeyState keys;
  MouseState mouse{kWidth, kHeight};
};

}  // namespace

TEST_F(ProgramReload, EachRebuildFreesTheProgramsItReplaces) {
  for (int press = 0; press < 3; ++press) {
    const GLuint replaced[] = {app->gpu.voxelProgram, app->gpu.textureProgram, app->gpu.pathProgram, app->gpu.accumProgram};
    frame(true);
    frame();  // the replaced programs are no longer in use after this
    for (GLuint program : replaced) EXPECT_FALSE(glIsProgram(program)) << "press " << press;
    for (GLuint program : {app->gpu.voxelProgram, app->gpu.textureProgram, app->gpu.pathProgram, app->gpu.accumProgram})
      EXPECT_TRUE(glIsProgram(program));
  }
  EXPECT_TRUE(glIsProgram(app->gpu.vsFsProgram)) << "not rebuilt, so not freed";
}

TEST_F(ProgramReload, AProgramThatFailsToRebuildIsKeptAndStillDraws) {
  std::ofstream("VoxelShaderFSgiga.glsl", std::ios::trunc) << "#version 330\nbroken\n";
  // Compiles, but has no main, so it does not link.
  std::ofstream("gigaAOShaderFS.glsl", std::ios::trunc)
      << "#version 330\nout vec4 output0;\nvoid helper(){output0=vec4(1.0);}\n";
  const GLuint voxel = app->gpu.voxelProgram;
  const GLuint path = app->gpu.pathProgram;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  frame(true);
  testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(app->gpu.voxelProgram, voxel);
  EXPECT_EQ(app->gpu.pathProgram, path);
  EXPECT_NE(err.find("Linker failure: "), std::string::npos) << err;
  // A camera move asks for a primary pass, then samples: both kept programs.
  app->sampling.restart();
  testing::internal::CaptureStdout();
  frame();
  frame();
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Error from API"), std::string::npos);
  EXPECT_EQ(app->sampling.sampleCount, 1);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  for (GLuint program : {voxel, path}) EXPECT_TRUE(isLinked(program));
}

TEST_F(ProgramReload, F5KeepsTheOneBounceProgramOnItsOwnVariant) {
  frame(true);  // reloads, then adds the first sample
  ASSERT_EQ(app->sampling.sampleCount, 1);
  // Only the one-bounce shader steps every pixel's generator exactly once a
  // frame, whatever the pixel drew: the seeds, equal everywhere, stay equal.
  std::vector<float> state(4 * kWidth * kHeight);
  glBindTexture(GL_TEXTURE_2D, app->gpu.randomTextures[0]);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, state.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  const std::vector<float> seeds = makeSeedBuffer(kWidth, kHeight, PathVariant::OneBounce);
  EXPECT_NE(state[0], seeds[0]);
  for (size_t i = 4; i < state.size(); ++i) ASSERT_EQ(state[i], state[i % 4]) << "texel " << i / 4;

  // The exported header is the file as it stands, without the variant's define.
  std::string header;
  ASSERT_TRUE(readTextFile("gigaAOShaderFS.h", header));
  EXPECT_NE(header.find("ONE_BOUNCE"), std::string::npos);
  EXPECT_EQ(header.find("#define ONE_BOUNCE"), std::string::npos);
}
