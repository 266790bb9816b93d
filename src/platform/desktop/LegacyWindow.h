#pragma once

#include <cstdint>

struct GLFWwindow;

// A thin layer over GLFW 3 that gives main the GLFW 2.7 behaviour it is
// written against: one window, 2.7 key codes, no key repeats, the wheel as an
// absolute position, and the size, cursor and wheel callbacks called once
// when they are registered. glfwInit and glfwTerminate stay with the caller;
// the window dies with glfwTerminate.
class LegacyWindow {
 public:
  // 2.x callback forms; actions are kPress or kRelease.
  using WindowSizeFn = void (*)(int width, int height);
  using KeyFn = void (*)(int key, int action);
  using CharFn = void (*)(int character, int action);
  using MousePosFn = void (*)(int x, int y);
  using MouseButtonFn = void (*)(int button, int action);
  using MouseWheelFn = void (*)(int position);

  static constexpr int kRelease = 0;
  static constexpr int kPress = 1;

  // Opens a width x height window with a 4.1 compatibility context (RGBA8,
  // 24-bit depth, 8-bit stencil) and makes it current. A debug context is
  // asked for because Mesa reports debug messages only to those. Returns
  // false when no such window can be had.
  bool open(int width, int height, bool visible = true);
  void setTitle(const char* title);

  // The window's size in screen coordinates, the units of the cursor, which
  // can differ from the framebuffer's pixels on a scaled display.
  void setWindowSizeCallback(WindowSizeFn callback);
  void setKeyCallback(KeyFn callback);
  void setCharCallback(CharFn callback);
  void setMousePosCallback(MousePosFn callback);
  void setMouseButtonCallback(MouseButtonFn callback);
  void setMouseWheelCallback(MouseWheelFn callback);

  // True if Escape is down or was pressed since the last test, so a quick
  // tap between two frames is not lost.
  bool escapePressed() const;
  bool isOpen() const;
  double time() const;
  // Swaps, then delivers the pending events to the callbacks.
  void swapBuffers();
  // Delivers the events that come within `seconds`, for a loop with nothing
  // to draw.
  void waitEvents(double seconds);

  // The framebuffer's size in pixels as of the last events: what the render
  // targets follow.
  int framebufferWidth() const { return framebufferSize[0]; }
  int framebufferHeight() const { return framebufferSize[1]; }
  // Iconified, or without pixels (how some systems report a minimised
  // window): nothing drawn would be seen.
  bool minimised() const;
  // Full screen on the monitor that holds most of the window, or back to the
  // window's place and size before.
  void toggleFullScreen();

  GLFWwindow* handle() const { return window; }

 private:
  static LegacyWindow* owner(GLFWwindow* window);
  static void onWindowSize(GLFWwindow* window, int width, int height);
  static void onFramebufferSize(GLFWwindow* window, int width, int height);
  static void onIconify(GLFWwindow* window, int iconified);
  static void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
  static void onChar(GLFWwindow* window, unsigned int codepoint);
  static void onCursorPos(GLFWwindow* window, double x, double y);
  static void onMouseButton(GLFWwindow* window, int button, int action, int mods);
  static void onScroll(GLFWwindow* window, double xoffset, double yoffset);

  int currentWheelPosition() const;

  GLFWwindow* window = nullptr;
  WindowSizeFn windowSizeCallback = nullptr;
  KeyFn keyCallback = nullptr;
  CharFn charCallback = nullptr;
  MousePosFn mousePosCallback = nullptr;
  MouseButtonFn mouseButtonCallback = nullptr;
  MouseWheelFn mouseWheelCallback = nullptr;
  double wheelTotal = 0.0;  // GLFW 3 reports offsets; 2.7 reported the sum
  int framebufferSize[2] = {0, 0};
  bool iconified = false;
  int windowedArea[4] = {0, 0, 0, 0};  // x, y, width, height before full screen
};

// Loads the GL entry points for the current context (GLEW). Only status 2,
// a context below GL 1.1, is unusable; every other status leaves enough to go
// on with.
bool loadGlEntryPoints();

// Why the windowing library failed last ("no display", "no GL 4.1"), for
// the one line a user gets when the demo cannot open its window.
const char* windowSystemError();

// The 2.x action for a GLFW 3 action, or -1 for a key repeat, which 2.7 never
// reported and which would otherwise read as a release.
int legacyAction(int glfw3Action);
