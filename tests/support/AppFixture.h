#pragma once

// The set-up of every GL test that starts an Application: the shared
// context, the run folder (the Application reads its files relative to the
// working directory, which is run/ for the programs), a viewport of the
// picture's size and a start that keeps its statistics off the test's
// output.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ExitStatus.h"
#include "app/Application.h"
#include "support/GlContext.h"

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL_CONTEXT();
    previous = std::filesystem::current_path();
    std::filesystem::current_path(XMASTRACE_RUN_DIR);
  }
  void TearDown() override {
    if (!previous.empty()) std::filesystem::current_path(previous);
  }

  // A silent Application of this size, started whole or in two steps; its
  // standard output is kept in startupOutput.
  std::unique_ptr<Application> startApp(int width, int height,
                                        PathVariant variant = PathVariant::TwoBounce,
                                        Application::StartUp startUp = Application::StartUp::Whole) {
    glViewport(0, 0, width, height);
    testing::internal::CaptureStdout();
    auto app = std::make_unique<Application>(width, height, variant, /*withMusic=*/false, startUp);
    startupOutput = testing::internal::GetCapturedStdout();
    EXPECT_EQ(app->startupStatus(), kStatusOk) << startupOutput;
    return app;
  }

  std::filesystem::path previous;
  std::string startupOutput;
};
