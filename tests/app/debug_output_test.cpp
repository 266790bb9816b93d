#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "app/DebugOutput.h"
#include "support/GlContext.h"

TEST(DebugMessageText, KnownEnumerantsGiveTheirWords) {
  EXPECT_EQ("Error from API,\tHigh priority\nMessage: bad enum\n",
            formatDebugMessage(GL_DEBUG_SOURCE_API_ARB, GL_DEBUG_TYPE_ERROR_ARB, GL_DEBUG_SEVERITY_HIGH_ARB,
                               "bad enum"));
  EXPECT_EQ("Deprecated Functionality from Window System,\tMedium priority\nMessage: x\n",
            formatDebugMessage(GL_DEBUG_SOURCE_WINDOW_SYSTEM_ARB, GL_DEBUG_TYPE_DEPRECATED_BEHAVIOR_ARB,
                               GL_DEBUG_SEVERITY_MEDIUM_ARB, "x"));
  EXPECT_EQ("Other from Shader Compiler,\tLow priority\nMessage: 0:1(1): error\n",
            formatDebugMessage(GL_DEBUG_SOURCE_SHADER_COMPILER_ARB, GL_DEBUG_TYPE_OTHER_ARB,
                               GL_DEBUG_SEVERITY_LOW_ARB, "0:1(1): error"));
}

TEST(DebugMessageText, EveryTableEntry) {
  const std::pair<GLenum, const char*> sources[] = {
      {0x8246, "API"},         {0x8247, "Window System"}, {0x8248, "Shader Compiler"},
      {0x8249, "Third Party"}, {0x824A, "Application"},   {0x824B, "Other"}};
  const std::pair<GLenum, const char*> types[] = {
      {0x824C, "Error"},       {0x824D, "Deprecated Functionality"}, {0x824E, "Undefined Behavior"},
      {0x824F, "Portability"}, {0x8250, "Performance"},              {0x8251, "Other"}};
  const std::pair<GLenum, const char*> severities[] = {{0x9146, "High"}, {0x9147, "Medium"}, {0x9148, "Low"}};
  for (const auto& [value, word] : sources) EXPECT_STREQ(word, debugSourceWord(value));
  for (const auto& [value, word] : types) EXPECT_STREQ(word, debugTypeWord(value));
  for (const auto& [value, word] : severities) EXPECT_STREQ(word, debugSeverityWord(value));
}

TEST(DebugMessageText, UnknownEnumerantsLeaveTheirPlaceEmpty) {
  // GL_DEBUG_SEVERITY_NOTIFICATION is newer than the extension's table.
  EXPECT_EQ(" from ,\t priority\nMessage: note\n", formatDebugMessage(0x1234, 0x8252, 0x826B, "note"));
  EXPECT_EQ("Error from ,\tHigh priority\nMessage: \n",
            formatDebugMessage(0, GL_DEBUG_TYPE_ERROR_ARB, GL_DEBUG_SEVERITY_HIGH_ARB, nullptr));
}

TEST(DebugOutputGl, ContextIsCompatibility41WithDebugOutput) {
  REQUIRE_GL_CONTEXT();
  GLint major = 0, minor = 0, profile = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  EXPECT_GE(major * 10 + minor, 41);
  EXPECT_TRUE(profile & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT) << "profile mask " << profile;
  EXPECT_TRUE(GLEW_ARB_debug_output);
  EXPECT_TRUE(GLEW_EXT_gpu_shader4);
}

TEST(DebugOutputGl, ProvokedErrorIsPrintedInTheReportFormat) {
  REQUIRE_GL_CONTEXT();
  testing::internal::CaptureStdout();
  glEnable(0xDEAD);  // not a capability: GL_INVALID_ENUM
  const std::string printed = testing::internal::GetCapturedStdout();
  while (glGetError() != GL_NO_ERROR) {
  }
  const std::string head = "Error from API,\tHigh priority\nMessage: ";
  ASSERT_GE(printed.size(), head.size() + 1) << printed;
  EXPECT_EQ(head, printed.substr(0, head.size()));
  EXPECT_EQ('\n', printed.back());
  // One message, so exactly two lines.
  EXPECT_EQ(2, std::count(printed.begin(), printed.end(), '\n')) << printed;
}

namespace {
int reportedWidth = -1, reportedHeight = -1, reportedX = -1000, reportedWheel = -1000;
void recordSize(int width, int height) {
  reportedWidth = width;
  reportedHeight = height;
}
void recordPosition(int x, int) { reportedX = x; }
void recordWheel(int position) { reportedWheel = position; }
}  // namespace

// GLFW 3 never calls callbacks at registration; the programs rely on 2.7
// doing so to set the viewport and the mouse size before the first frame.
TEST(LegacyWindowGl, SizeCursorAndWheelCallbacksFireAtRegistration) {
  REQUIRE_GL_CONTEXT();
  LegacyWindow& window = GlContext::get()->window;
  window.setWindowSizeCallback(recordSize);
  window.setMousePosCallback(recordPosition);
  window.setMouseWheelCallback(recordWheel);
  EXPECT_EQ(64, reportedWidth);
  EXPECT_EQ(64, reportedHeight);
  EXPECT_NE(-1000, reportedX);
  EXPECT_EQ(0, reportedWheel);
  window.setWindowSizeCallback(nullptr);
  window.setMousePosCallback(nullptr);
  window.setMouseWheelCallback(nullptr);
  EXPECT_TRUE(window.isOpen());
  EXPECT_FALSE(window.escapePressed());
}
