#include "platform/desktop/LegacyWindow.h"

#include <cmath>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include "platform/desktop/GlfwKeys.h"

bool loadGlEntryPoints() {
  glewExperimental = GL_TRUE;
  return glewInit() != GLEW_ERROR_GL_VERSION_10_ONLY;
}

const char* windowSystemError() {
  const char* description = nullptr;
  glfwGetError(&description);
  return description ? description : "no reason given";
}

int legacyAction(int glfw3Action) {
  if (glfw3Action == GLFW_REPEAT) return -1;
  return glfw3Action == GLFW_PRESS ? LegacyWindow::kPress : LegacyWindow::kRelease;
}

bool LegacyWindow::open(int width, int height, bool visible) {
  glfwDefaultWindowHints();
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_COMPAT_PROFILE);
  glfwWindowHint(GLFW_OPENGL_DEBUG_CONTEXT, GLFW_TRUE);
  glfwWindowHint(GLFW_RED_BITS, 8);
  glfwWindowHint(GLFW_GREEN_BITS, 8);
  glfwWindowHint(GLFW_BLUE_BITS, 8);
  glfwWindowHint(GLFW_ALPHA_BITS, 8);
  glfwWindowHint(GLFW_DEPTH_BITS, 24);
  glfwWindowHint(GLFW_STENCIL_BITS, 8);
  glfwWindowHint(GLFW_VISIBLE, visible ? GLFW_TRUE : GLFW_FALSE);

  window = glfwCreateWindow(width, height, "", nullptr, nullptr);
  if (!window) return false;
  glfwSetWindowUserPointer(window, this);
  glfwGetFramebufferSize(window, &framebufferSize[0], &framebufferSize[1]);
  glfwSetFramebufferSizeCallback(window, onFramebufferSize);
  glfwSetWindowIconifyCallback(window, onIconify);
  glfwSetInputMode(window, GLFW_STICKY_KEYS, GLFW_TRUE);
  glfwMakeContextCurrent(window);
  // 2.7 swapped without waiting for the display; a progressive renderer
  // wants every frame it can get.
  glfwSwapInterval(0);
  return true;
}

void LegacyWindow::setTitle(const char* title) { glfwSetWindowTitle(window, title); }

LegacyWindow* LegacyWindow::owner(GLFWwindow* window) {
  return static_cast<LegacyWindow*>(glfwGetWindowUserPointer(window));
}

void LegacyWindow::setWindowSizeCallback(WindowSizeFn callback) {
  windowSizeCallback = callback;
  glfwSetWindowSizeCallback(window, callback ? onWindowSize : nullptr);
  if (!callback) return;
  int width = 0, height = 0;
  glfwGetWindowSize(window, &width, &height);
  callback(width, height);
}

void LegacyWindow::setKeyCallback(KeyFn callback) {
  keyCallback = callback;
  glfwSetKeyCallback(window, callback ? onKey : nullptr);
}

void LegacyWindow::setCharCallback(CharFn callback) {
  charCallback = callback;
  glfwSetCharCallback(window, callback ? onChar : nullptr);
}

void LegacyWindow::setMousePosCallback(MousePosFn callback) {
  mousePosCallback = callback;
  glfwSetCursorPosCallback(window, callback ? onCursorPos : nullptr);
  if (!callback) return;
  double x = 0.0, y = 0.0;
  glfwGetCursorPos(window, &x, &y);
  callback(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
}

void LegacyWindow::setMouseButtonCallback(MouseButtonFn callback) {
  mouseButtonCallback = callback;
  glfwSetMouseButtonCallback(window, callback ? onMouseButton : nullptr);
}

void LegacyWindow::setMouseWheelCallback(MouseWheelFn callback) {
  mouseWheelCallback = callback;
  glfwSetScrollCallback(window, callback ? onScroll : nullptr);
  if (callback) callback(currentWheelPosition());
}

int LegacyWindow::currentWheelPosition() const { return static_cast<int>(std::lround(wheelTotal)); }

void LegacyWindow::onWindowSize(GLFWwindow* window, int width, int height) {
  LegacyWindow* self = owner(window);
  if (self->windowSizeCallback) self->windowSizeCallback(width, height);
}

void LegacyWindow::onFramebufferSize(GLFWwindow* window, int width, int height) {
  LegacyWindow* self = owner(window);
  self->framebufferSize[0] = width;
  self->framebufferSize[1] = height;
}

void LegacyWindow::onIconify(GLFWwindow* window, int iconified) {
  owner(window)->iconified = iconified == GLFW_TRUE;
}

void LegacyWindow::onKey(GLFWwindow* window, int key, int, int action, int) {
  LegacyWindow* self = owner(window);
  const int legacyKey = legacyKeyCode(key);
  const int legacy = legacyAction(action);
  if (!self->keyCallback || legacyKey == kKeyUnknown || legacy < 0) return;
  self->keyCallback(legacyKey, legacy);
}

void LegacyWindow::onChar(GLFWwindow* window, unsigned int codepoint) {
  LegacyWindow* self = owner(window);
  if (self->charCallback) self->charCallback(static_cast<int>(codepoint), kPress);
}

void LegacyWindow::onCursorPos(GLFWwindow* window, double x, double y) {
  LegacyWindow* self = owner(window);
  if (self->mousePosCallback) {
    self->mousePosCallback(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
  }
}

void LegacyWindow::onMouseButton(GLFWwindow* window, int button, int action, int) {
  LegacyWindow* self = owner(window);
  const int legacy = legacyAction(action);
  if (!self->mouseButtonCallback || legacy < 0) return;
  self->mouseButtonCallback(button, legacy);
}

void LegacyWindow::onScroll(GLFWwindow* window, double, double yoffset) {
  LegacyWindow* self = owner(window);
  self->wheelTotal += yoffset;
  if (self->mouseWheelCallback) self->mouseWheelCallback(self->currentWheelPosition());
}

bool LegacyWindow::escapePressed() const { return glfwGetKey(window, GLFW_KEY_ESCAPE) == GLFW_PRESS; }

bool LegacyWindow::isOpen() const { return !glfwWindowShouldClose(window); }

double LegacyWindow::time() const { return glfwGetTime(); }

void LegacyWindow::swapBuffers() {
  glfwSwapBuffers(window);
  glfwPollEvents();
}

void LegacyWindow::waitEvents(double seconds) { glfwWaitEventsTimeout(seconds); }

bool LegacyWindow::minimised() const {
  return iconified || framebufferSize[0] <= 0 || framebufferSize[1] <= 0;
}

namespace {

int overlap(int start, int length, int otherStart, int otherLength) {
  const int from = start > otherStart ? start : otherStart;
  const int to = start + length < otherStart + otherLength ? start + length : otherStart + otherLength;
  return to > from ? to - from : 0;
}

// The monitor that shows the largest part of the area; the primary one when
// none shows any of it.
GLFWmonitor* monitorShowing(const int (&area)[4]) {
  GLFWmonitor* best = glfwGetPrimaryMonitor();
  long long bestShare = 0;
  int count = 0;
  GLFWmonitor** monitors = glfwGetMonitors(&count);
  for (int i = 0; i < count; ++i) {
    const GLFWvidmode* mode = glfwGetVideoMode(monitors[i]);
    if (!mode) continue;
    int x = 0, y = 0;
    glfwGetMonitorPos(monitors[i], &x, &y);
    const long long share = static_cast<long long>(overlap(area[0], area[2], x, mode->width)) *
                            overlap(area[1], area[3], y, mode->height);
    if (share > bestShare) {
      best = monitors[i];
      bestShare = share;
    }
  }
  return best;
}

}  // namespace

void LegacyWindow::toggleFullScreen() {
  if (glfwGetWindowMonitor(window)) {
    glfwSetWindowMonitor(window, nullptr, windowedArea[0], windowedArea[1], windowedArea[2],
                         windowedArea[3], GLFW_DONT_CARE);
    return;
  }
  glfwGetWindowPos(window, &windowedArea[0], &windowedArea[1]);
  glfwGetWindowSize(window, &windowedArea[2], &windowedArea[3]);
  GLFWmonitor* monitor = monitorShowing(windowedArea);
  const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
  if (!mode) return;
  glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
}
