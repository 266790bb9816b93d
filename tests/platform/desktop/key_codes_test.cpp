#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <set>

#include "platform/desktop/GlfwKeys.h"
#include "platform/desktop/LegacyWindow.h"

// Every special key of GLFW 3 and the code 2.7 gave it.
TEST(LegacyKeyCode, EverySpecialKeyMapsToItsOldCode) {
  const std::pair<int, int> table[] = {
      {GLFW_KEY_ESCAPE, 257},      {GLFW_KEY_UP, 283},           {GLFW_KEY_DOWN, 284},
      {GLFW_KEY_LEFT, 285},        {GLFW_KEY_RIGHT, 286},        {GLFW_KEY_LEFT_SHIFT, 287},
      {GLFW_KEY_RIGHT_SHIFT, 288}, {GLFW_KEY_LEFT_CONTROL, 289}, {GLFW_KEY_RIGHT_CONTROL, 290},
      {GLFW_KEY_LEFT_ALT, 291},    {GLFW_KEY_RIGHT_ALT, 292},    {GLFW_KEY_TAB, 293},
      {GLFW_KEY_ENTER, 294},       {GLFW_KEY_BACKSPACE, 295},    {GLFW_KEY_INSERT, 296},
      {GLFW_KEY_DELETE, 297},      {GLFW_KEY_PAGE_UP, 298},      {GLFW_KEY_PAGE_DOWN, 299},
      {GLFW_KEY_HOME, 300},        {GLFW_KEY_END, 301},          {GLFW_KEY_KP_DIVIDE, 312},
      {GLFW_KEY_KP_MULTIPLY, 313}, {GLFW_KEY_KP_SUBTRACT, 314},  {GLFW_KEY_KP_ADD, 315},
      {GLFW_KEY_KP_DECIMAL, 316},  {GLFW_KEY_KP_EQUAL, 317},     {GLFW_KEY_KP_ENTER, 318},
      {GLFW_KEY_NUM_LOCK, 319},    {GLFW_KEY_CAPS_LOCK, 320},    {GLFW_KEY_SCROLL_LOCK, 321},
      {GLFW_KEY_PAUSE, 322},       {GLFW_KEY_LEFT_SUPER, 323},   {GLFW_KEY_RIGHT_SUPER, 324},
      {GLFW_KEY_MENU, 325},
  };
  for (const auto& [glfw3, legacy] : table) {
    EXPECT_EQ(legacy, legacyKeyCode(glfw3)) << "GLFW 3 key " << glfw3;
  }
  for (int f = 0; f < 25; ++f) EXPECT_EQ(258 + f, legacyKeyCode(GLFW_KEY_F1 + f)) << "F" << f + 1;
  for (int d = 0; d < 10; ++d) EXPECT_EQ(302 + d, legacyKeyCode(GLFW_KEY_KP_0 + d)) << "keypad " << d;
  // The keys the demo reads.
  EXPECT_EQ(kKeyEsc, legacyKeyCode(GLFW_KEY_ESCAPE));
  EXPECT_EQ(kKeyF1, legacyKeyCode(GLFW_KEY_F1));
  EXPECT_EQ(kKeyF5, legacyKeyCode(GLFW_KEY_F5));
}

TEST(LegacyKeyCode, PrintableKeysKeepTheirCodes) {
  for (int c : {' ', '0', '9', 'A', 'D', 'E', 'Q', 'S', 'W', 'Z', '[', '`'}) EXPECT_EQ(c, legacyKeyCode(c));
}

TEST(LegacyKeyCode, KeysWithoutAnOldCodeAreUnknown) {
  for (int key : {GLFW_KEY_PRINT_SCREEN, GLFW_KEY_WORLD_1, GLFW_KEY_WORLD_2, GLFW_KEY_UNKNOWN, 0, 31, 97,
                  255, 349, 100000}) {
    EXPECT_EQ(kKeyUnknown, legacyKeyCode(key)) << "GLFW 3 key " << key;
  }
}

// The overlapping codes are where a missing translation would do harm: 3.3's
// Enter, Right and Print Screen share numbers with 2.7's Escape, F5 and Up.
TEST(LegacyKeyCode, OverlappingCodesAreTranslatedNotPassedThrough) {
  EXPECT_NE(kKeyEsc, legacyKeyCode(GLFW_KEY_ENTER));
  EXPECT_NE(kKeyF5, legacyKeyCode(GLFW_KEY_RIGHT));
  EXPECT_NE(kKeyUp, legacyKeyCode(GLFW_KEY_PRINT_SCREEN));
  std::set<int> seen;
  for (int key = 0; key <= GLFW_KEY_LAST; ++key) {
    const int legacy = legacyKeyCode(key);
    if (legacy == kKeyUnknown) continue;
    EXPECT_TRUE(seen.insert(legacy).second) << "two keys map to " << legacy;
    EXPECT_GE(legacy, 32);
    EXPECT_LE(legacy, kKeyLast);
  }
}

TEST(LegacyAction, RepeatsAreDroppedAndReleasesStayReleases) {
  EXPECT_EQ(LegacyWindow::kPress, legacyAction(GLFW_PRESS));
  EXPECT_EQ(LegacyWindow::kRelease, legacyAction(GLFW_RELEASE));
  EXPECT_LT(legacyAction(GLFW_REPEAT), 0);
}
