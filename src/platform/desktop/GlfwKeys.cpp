#include "platform/desktop/GlfwKeys.h"

#include <GLFW/glfw3.h>

namespace {

struct KeyPair {
  int glfw3;
  int legacy;
};

// Special keys whose 2.7 codes are not a simple shift of a GLFW 3 range.
constexpr KeyPair kSpecialKeys[] = {
    {GLFW_KEY_ESCAPE, kKeyEsc},
    {GLFW_KEY_UP, kKeyUp},
    {GLFW_KEY_DOWN, kKeyDown},
    {GLFW_KEY_LEFT, kKeyLeft},
    {GLFW_KEY_RIGHT, kKeyRight},
    {GLFW_KEY_LEFT_SHIFT, 287},
    {GLFW_KEY_RIGHT_SHIFT, 288},
    {GLFW_KEY_LEFT_CONTROL, 289},
    {GLFW_KEY_RIGHT_CONTROL, 290},
    {GLFW_KEY_LEFT_ALT, 291},
    {GLFW_KEY_RIGHT_ALT, 292},
    {GLFW_KEY_TAB, 293},
    {GLFW_KEY_ENTER, 294},
    {GLFW_KEY_BACKSPACE, 295},
    {GLFW_KEY_INSERT, 296},
    {GLFW_KEY_DELETE, 297},
    {GLFW_KEY_PAGE_UP, 298},
    {GLFW_KEY_PAGE_DOWN, 299},
    {GLFW_KEY_HOME, 300},
    {GLFW_KEY_END, 301},
    {GLFW_KEY_KP_DIVIDE, 312},
    {GLFW_KEY_KP_MULTIPLY, 313},
    {GLFW_KEY_KP_SUBTRACT, 314},
    {GLFW_KEY_KP_ADD, 315},
    {GLFW_KEY_KP_DECIMAL, 316},
    {GLFW_KEY_KP_EQUAL, 317},
    {GLFW_KEY_KP_ENTER, 318},
    {GLFW_KEY_NUM_LOCK, 319},
    {GLFW_KEY_CAPS_LOCK, 320},
    {GLFW_KEY_SCROLL_LOCK, 321},
    {GLFW_KEY_PAUSE, 322},
    {GLFW_KEY_LEFT_SUPER, 323},
    {GLFW_KEY_RIGHT_SUPER, 324},
    {GLFW_KEY_MENU, kKeyLast},
};

}  // namespace

int legacyKeyCode(int glfw3Key) {
  // Printable keys (space to the grave accent) kept their codes.
  if (glfw3Key >= GLFW_KEY_SPACE && glfw3Key <= GLFW_KEY_GRAVE_ACCENT) return glfw3Key;
  if (glfw3Key >= GLFW_KEY_F1 && glfw3Key <= GLFW_KEY_F25) return kKeyF1 + (glfw3Key - GLFW_KEY_F1);
  if (glfw3Key >= GLFW_KEY_KP_0 && glfw3Key <= GLFW_KEY_KP_9) return 302 + (glfw3Key - GLFW_KEY_KP_0);
  for (const KeyPair& pair : kSpecialKeys) {
    if (pair.glfw3 == glfw3Key) return pair.legacy;
  }
  return kKeyUnknown;
}
