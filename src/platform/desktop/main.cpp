// Entry point of xmastrace and xmastrace_fast: opens the window, builds the
// Application and runs the frame loop until Escape or the window closes.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <iostream>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/DebugOutput.h"
#include "app/FrameLoop.h"
#include "app/Interrupt.h"
#include "app/KeyCodes.h"
#include "platform/desktop/LegacyWindow.h"
#include "platform/desktop/Signals.h"

#ifdef XMASTRACE_ONE_BOUNCE
constexpr PathVariant kVariant = PathVariant::OneBounce;
#else
constexpr PathVariant kVariant = PathVariant::TwoBounce;
#endif

constexpr int kWidth = 768;
constexpr int kHeight = 512;
// How long a minimised demo waits for events before it looks again, so that
// Ctrl+C still ends it at once.
constexpr double kMinimisedWait = 0.1;
// The same for a picture that has all its samples: it changes no more until
// the camera moves, so the loop waits for input instead of redrawing it.
constexpr double kRestingWait = 0.1;
constexpr const char* kTitle = "Quellmark wish you a merry christmas";

// The program-wide objects the window callbacks feed: GLFW 2.7-style
// callbacks carry no pointer of their own.
Application* gApp = nullptr;
FrameLoop* gLoop = nullptr;

// The size in screen coordinates, the cursor's units. The render targets
// follow the framebuffer's pixels instead, once a frame (runFrameLoop).
static void onWindowSize(int width, int height) {
  if (gLoop) gLoop->resizeCursor(width, height);
}

static void onKey(int key, int action) {
  if (gLoop) gLoop->key(key, action == LegacyWindow::kPress);
}

static void onChar(int, int) {}

// The window draws every frame anyway; its loop needs no waking.
static void onMousePos(int x, int y) {
  if (gLoop) gLoop->mouseMove(x, y, false);
}

static void onMouseButton(int button, int action) {
  if (gLoop) gLoop->mouseButton(button, action == LegacyWindow::kPress);
}

static void onMouseWheel(int position) {
  if (gLoop) gLoop->setWheel(position);
}

static void connectCallbacks(LegacyWindow& window) {
  window.setWindowSizeCallback(onWindowSize);
  window.setKeyCallback(onKey);
  window.setCharCallback(onChar);
  window.setMousePosCallback(onMousePos);
  window.setMouseButtonCallback(onMouseButton);
  window.setMouseWheelCallback(onMouseWheel);
}

static void runFrameLoop(LegacyWindow& window, FrameLoop& loop) {
  do {
    const double now = window.time();
    // Nothing drawn would be seen; the samples wait, and the time spent
    // away is not handed to the next frame.
    if (window.minimised()) {
      loop.tick(now);
      window.waitEvents(kMinimisedWait);
      continue;
    }
    // All size events of a frame, one reallocation.
    gApp->resize(window.framebufferWidth(), window.framebufferHeight());
    loop.step(now);
    if (loop.keys.pressed[kKeyF11]) window.toggleFullScreen();
    loop.endFrame();
    window.swapBuffers();
    if (loop.waitsForInput()) window.waitEvents(kRestingWait);
  } while (!window.escapePressed() && window.isOpen() && !caughtInterrupt());
}

static void destroyProgramObjects() {
  delete gLoop;
  delete gApp;
  gLoop = nullptr;
  gApp = nullptr;
}

// Said on standard error: without it, a start with no display or no GL 4.1
// ends with status -1 and nothing to tell why.
static void reportNoWindow() { std::cerr << "Can't open the window: " << windowSystemError() << "\n"; }

int main() {
  catchInterrupts();
  if (!glfwInit()) {
    reportNoWindow();
    return -1;
  }

  LegacyWindow window;
  if (!window.open(kWidth, kHeight)) {
    reportNoWindow();
    glfwTerminate();
    return -1;
  }
  if (!loadGlEntryPoints()) {
    glfwTerminate();
    return -1;
  }
  window.setTitle(kTitle);
  installDebugOutput();

  gApp = new Application(kWidth, kHeight, kVariant);
  const int startupStatus = gApp->startupStatus();
  if (startupStatus != kStatusOk) {
    glfwTerminate();
    destroyProgramObjects();
    return startupStatus;
  }

  gLoop = new FrameLoop(*gApp, desktopRules(), kWidth, kHeight);
  connectCallbacks(window);
  runFrameLoop(window, *gLoop);

  // The context goes first; the Application's destructor makes no GL call.
  glfwTerminate();
  destroyProgramObjects();
  const int interrupt = caughtInterrupt();
  return interrupt != 0 ? interruptExitStatus(interrupt) : 0;
}
