// Entry point of xmastrace and xmastrace_fast: opens the window, builds the
// Application and runs the frame loop until Escape or the window closes.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <iostream>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/DebugOutput.h"
#include "app/Interrupt.h"
#include "app/KeyCodes.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "platform/desktop/LegacyWindow.h"
#include "platform/desktop/Signals.h"

#ifdef XMASTRACE_ONE_BOUNCE
constexpr PathVariant kVariant = PathVariant::OneBounce;
#else
constexpr PathVariant kVariant = PathVariant::TwoBounce;
#endif

constexpr int kWidth = 768;
constexpr int kHeight = 512;
constexpr float kFirstFrameStep = 0.016f;
// How long a minimised demo waits for events before it looks again, so that
// Ctrl+C still ends it at once.
constexpr double kMinimisedWait = 0.1;
// The same for a picture that has all its samples: it changes no more until
// the camera moves, so the loop waits for input instead of redrawing it.
constexpr double kRestingWait = 0.1;
constexpr const char* kTitle = "Quellmark wish you a merry christmas";

// The program-wide objects the window callbacks feed.
KeyState* gKeys = nullptr;
MouseState* gMouse = nullptr;
Application* gApp = nullptr;

// The size in screen coordinates, the cursor's units. The render targets
// follow the framebuffer's pixels instead, once a frame (runFrameLoop).
static void onWindowSize(int width, int height) {
  if (gMouse) gMouse->resize(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

static void onKey(int key, int action) {
  if (gApp) gKeys->setKey(key, action == LegacyWindow::kPress);
}

static void onChar(int, int) {}

static void onMousePos(int x, int y) {
  if (gApp) gMouse->setPosition(x, y);
}

static void onMouseButton(int button, int action) {
  if (gApp) gMouse->setButton(button, action == LegacyWindow::kPress);
}

static void onMouseWheel(int position) {
  if (gApp) gMouse->setWheel(position);
}

static void connectCallbacks(LegacyWindow& window) {
  window.setWindowSizeCallback(onWindowSize);
  window.setKeyCallback(onKey);
  window.setCharCallback(onChar);
  window.setMousePosCallback(onMousePos);
  window.setMouseButtonCallback(onMouseButton);
  window.setMouseWheelCallback(onMouseWheel);
}

static void runFrameLoop(LegacyWindow& window) {
  double lastTime = 0.0;
  bool firstFrame = true;
  do {
    if (gApp) {
      const double now = window.time();
      float dt = static_cast<float>(now - lastTime);
      lastTime = now;
      // The first frame must not see the time spent building the scene.
      if (firstFrame) {
        dt = kFirstFrameStep;
        firstFrame = false;
      }
      // Nothing drawn would be seen; the samples wait, and the time spent
      // away is not handed to the next frame.
      if (window.minimised()) {
        window.waitEvents(kMinimisedWait);
        continue;
      }
      // All size events of a frame, one reallocation.
      gApp->resize(window.framebufferWidth(), window.framebufferHeight());
      gApp->update(dt, *gKeys, *gMouse);
      gApp->draw();
      if (gKeys->pressed[kKeyF11]) window.toggleFullScreen();
    }
    if (gKeys) gKeys->endFrame();
    if (gMouse) gMouse->endFrame();
    window.swapBuffers();
    if (gApp && gApp->sampling.resting()) window.waitEvents(kRestingWait);
  } while (!window.escapePressed() && window.isOpen() && !caughtInterrupt());
}

static void destroyProgramObjects() {
  delete gApp;
  delete gMouse;
  delete gKeys;
  gApp = nullptr;
  gMouse = nullptr;
  gKeys = nullptr;
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

  gKeys = new KeyState();
  gMouse = new MouseState(kWidth, kHeight);
  gApp = new Application(kWidth, kHeight, kVariant);
  const int startupStatus = gApp->startupStatus();
  if (startupStatus != kStatusOk) {
    glfwTerminate();
    destroyProgramObjects();
    return startupStatus;
  }

  connectCallbacks(window);
  runFrameLoop(window);

  // The context goes first; the Application's destructor makes no GL call.
  glfwTerminate();
  destroyProgramObjects();
  const int interrupt = caughtInterrupt();
  return interrupt != 0 ? interruptExitStatus(interrupt) : 0;
}
