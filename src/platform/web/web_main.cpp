// Entry point of the browser build: the page's canvas instead of a window,
// the browser's frame callback instead of the frame loop, DOM events instead
// of the window's callbacks. The Application and everything below it are the
// desktop's own code.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/KeyCodes.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "platform/web/QueryValue.h"
#include "platform/web/WebVideo.h"
#include "render_tool/StillOptions.h"
#include "room/Greeting.h"

namespace {

constexpr const char* kCanvas = "#canvas";
// Where the Application looks for the letters' mesh.
constexpr const char* kLettersFile = "data/xmas/qm.obj";
constexpr float kFirstFrameStep = 0.016f;
// Pinching two fingers apart by this many CSS pixels moves the camera as one
// wheel notch does.
constexpr double kPinchPixelsPerNotch = 40.0;
// Frames longer than this (a hidden tab) are not handed to the camera whole.
constexpr float kLongestFrameStep = 0.1f;

// What the page's URL asks for, as main's arguments (see web/page.js).
struct PageOptions {
  int view = 0;     // 0 the path-traced picture; 1, 2, 3 a primary buffer
  int samples = 0;  // stop sampling after this many; 0: never
  bool fast = false;
  // The link's own words, still percent-encoded as the URL carries them.
  bool hasText = false;
  std::string text;
};

// The state of the page between frames; the browser hands it back to every
// callback.
struct WebPage {
  PageOptions options;
  double cssWidth = 0.0, cssHeight = 0.0;
  double pixelRatio = 0.0;
  double lastTime = 0.0;
  bool firstFrame = true;
  bool ready = false;
  int wheel = 0;
  double pinchDistance = 0.0;  // 0 while fewer than two fingers touch
  double pinchCarry = 0.0;
  WebVideo video;
};

}  // namespace

// The program-wide objects the event callbacks feed.
KeyState* gKeys = nullptr;
MouseState* gMouse = nullptr;
Application* gApp = nullptr;

namespace {

// The URL's values arrive as text: anything but a whole number within
// xmastrace_render's bounds for samples is left at its default.
int optionValue(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  const bool whole = end != text && *end == '\0';
  return whole && value >= 0 && value <= kMaxStillSamples ? static_cast<int>(value) : 0;
}

PageOptions parseOptions(int argc, char** argv) {
  PageOptions options;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--text") == 0) {
      options.hasText = true;
      options.text = argv[i + 1];
      continue;
    }
    const int value = optionValue(argv[i + 1]);
    if (std::strcmp(argv[i], "--view") == 0 && value >= 0 && value <= 3) options.view = value;
    if (std::strcmp(argv[i], "--samples") == 0 && value > 0) options.samples = value;
    if (std::strcmp(argv[i], "--fast") == 0) options.fast = value != 0;
  }
  return options;
}

// DOM key names to the program's key codes (KeyCodes.h); kKeyUnknown for
// keys the demo does not use, which the browser then keeps (F5 reloads).
int keyCode(const EmscriptenKeyboardEvent& event) {
  const std::string code = event.code;
  if (code.size() == 4 && code.compare(0, 3, "Key") == 0) return code[3];
  if (code == "F1") return kKeyF1;
  if (code == "F2") return kKeyF2;
  if (code == "ArrowUp") return kKeyUp;
  if (code == "ArrowDown") return kKeyDown;
  if (code == "ArrowLeft") return kKeyLeft;
  if (code == "ArrowRight") return kKeyRight;
  return kKeyUnknown;
}

// Keys typed into one of the page's text fields are the field's, not the
// camera's.
bool typingInPage() {
  return EM_ASM_INT({
    const field = document.activeElement;
    return field !== null && (field.tagName === 'INPUT' || field.tagName === 'TEXTAREA');
  });
}

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void*) {
  const int key = keyCode(*event);
  if (key == kKeyUnknown || event->ctrlKey || event->metaKey || event->altKey) return EM_FALSE;
  if (type == EMSCRIPTEN_EVENT_KEYDOWN && typingInPage()) return EM_FALSE;
  gKeys->setKey(key, type == EMSCRIPTEN_EVENT_KEYDOWN);
  return EM_TRUE;
}

// DOM numbers the right button 2 and the middle 1; the program, as GLFW,
// the other way round.
int mouseButton(unsigned short domButton) {
  if (domButton == 1) return 2;
  if (domButton == 2) return 1;
  return domButton;
}

EM_BOOL onMouseButton(int type, const EmscriptenMouseEvent* event, void*) {
  gMouse->setPosition(event->targetX, event->targetY);
  gMouse->setButton(mouseButton(event->button), type == EMSCRIPTEN_EVENT_MOUSEDOWN);
  return EM_TRUE;
}

EM_BOOL onMouseMove(int, const EmscriptenMouseEvent* event, void*) {
  gMouse->setPosition(event->targetX, event->targetY);
  return EM_TRUE;
}

void turnWheel(WebPage& page, int notches) {
  page.wheel += notches;
  gMouse->setWheel(page.wheel);
}

EM_BOOL onWheel(int, const EmscriptenWheelEvent* event, void* data) {
  if (event->deltaY != 0.0) turnWheel(*static_cast<WebPage*>(data), event->deltaY < 0.0 ? 1 : -1);
  return EM_TRUE;
}

double fingerDistance(const EmscriptenTouchEvent& event) {
  const EmscriptenTouchPoint& a = event.touches[0];
  const EmscriptenTouchPoint& b = event.touches[1];
  return std::hypot(static_cast<double>(a.targetX - b.targetX),
                    static_cast<double>(a.targetY - b.targetY));
}

// One finger drags as the left button does; two pinch as the wheel turns.
EM_BOOL onTouch(int type, const EmscriptenTouchEvent* event, void* data) {
  WebPage& page = *static_cast<WebPage*>(data);
  const bool ending = type == EMSCRIPTEN_EVENT_TOUCHEND || type == EMSCRIPTEN_EVENT_TOUCHCANCEL;
  int fingers = event->numTouches;
  if (ending) {
    for (int i = 0; i < event->numTouches; ++i) fingers -= event->touches[i].isChanged ? 1 : 0;
  }
  if (fingers == 1 && !ending && event->numTouches == 1) {
    const EmscriptenTouchPoint& finger = event->touches[0];
    // A finger lands where it lands: the same place twice leaves no move
    // from where the last one lifted, which would turn the camera at once.
    if (!gMouse->down[0]) gMouse->setPosition(finger.targetX, finger.targetY);
    gMouse->setPosition(finger.targetX, finger.targetY);
    gMouse->setButton(0, true);
  } else {
    gMouse->setButton(0, false);
  }
  if (fingers >= 2 && event->numTouches >= 2) {
    const double distance = fingerDistance(*event);
    if (page.pinchDistance > 0.0) {
      page.pinchCarry += (distance - page.pinchDistance) / kPinchPixelsPerNotch;
      const int notches = static_cast<int>(page.pinchCarry);
      page.pinchCarry -= notches;
      if (notches != 0) turnWheel(page, notches);
    }
    page.pinchDistance = distance;
  } else {
    page.pinchDistance = 0.0;
    page.pinchCarry = 0.0;
  }
  return EM_TRUE;
}

void connectEvents(WebPage& page) {
  const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_keydown_callback(window, &page, EM_TRUE, onKey);
  emscripten_set_keyup_callback(window, &page, EM_TRUE, onKey);
  emscripten_set_mousedown_callback(kCanvas, &page, EM_TRUE, onMouseButton);
  // Outside the canvas too, so that a drag ends where the button is let go.
  emscripten_set_mouseup_callback(window, &page, EM_TRUE, onMouseButton);
  emscripten_set_mousemove_callback(window, &page, EM_TRUE, onMouseMove);
  emscripten_set_wheel_callback(kCanvas, &page, EM_TRUE, onWheel);
  emscripten_set_touchstart_callback(kCanvas, &page, EM_TRUE, onTouch);
  emscripten_set_touchmove_callback(kCanvas, &page, EM_TRUE, onTouch);
  emscripten_set_touchend_callback(kCanvas, &page, EM_TRUE, onTouch);
  emscripten_set_touchcancel_callback(kCanvas, &page, EM_TRUE, onTouch);
}

// The picture takes the canvas's size in device pixels, as a desktop window's
// framebuffer does; the cursor stays in CSS pixels, the events' units.
// A zoom or a move to another screen changes the ratio alone.
void followCanvasSize(WebPage& page) {
  double cssWidth = 0.0, cssHeight = 0.0;
  emscripten_get_element_css_size(kCanvas, &cssWidth, &cssHeight);
  const double ratio = emscripten_get_device_pixel_ratio();
  if (cssWidth == page.cssWidth && cssHeight == page.cssHeight && ratio == page.pixelRatio) return;
  page.cssWidth = cssWidth;
  page.cssHeight = cssHeight;
  page.pixelRatio = ratio;
  const int width = static_cast<int>(std::lround(cssWidth * ratio));
  const int height = static_cast<int>(std::lround(cssHeight * ratio));
  if (width <= 0 || height <= 0) return;
  emscripten_set_canvas_element_size(kCanvas, width, height);
  gMouse->resize(static_cast<uint32_t>(cssWidth), static_cast<uint32_t>(cssHeight));
  gApp->resize(width, height);
}

// A primary view is drawn once per camera change; the path-traced picture
// until the requested samples are in.
bool wantsFrame(const WebPage& page) {
  const int samples = gApp->sampling.sampleCount;
  if (page.options.view != 0) return samples < 0;
  return page.options.samples == 0 || samples < page.options.samples;
}

void tellPage(WebPage& page, bool drawn) {
  // clang-format off
  EM_ASM({ if (Module.onFrame) Module.onFrame($0, $1, $2, $3, $4); },
         gApp->sampling.sampleCount < 0 ? 0 : gApp->sampling.sampleCount, gApp->width,
         gApp->height, drawn && !page.ready, gApp->denoising);
  // clang-format on
  if (drawn) page.ready = true;
}

void frame(void* data) {
  WebPage& page = *static_cast<WebPage*>(data);
  const double now = emscripten_get_now() / 1000.0;
  float dt = static_cast<float>(now - page.lastTime);
  page.lastTime = now;
  if (page.firstFrame) dt = kFirstFrameStep;
  if (dt > kLongestFrameStep) dt = kLongestFrameStep;
  page.firstFrame = false;

  followCanvasSize(page);
  // While a video is made the picture stands still and the input waits.
  if (videoInProgress(page.video)) {
    stepVideo(page.video, now * 1000.0);
    gKeys->endFrame();
    gMouse->endFrame();
    return;
  }
  gApp->update(dt, *gKeys, *gMouse);
  // A finished picture drawn again: F1 shows another buffer, and F2's
  // denoiser needs samples gathered while it is on.
  if (!wantsFrame(page) && (gKeys->pressed[kKeyF1] || gKeys->pressed[kKeyF2]))
    gApp->sampling.restart();
  const bool drawn = wantsFrame(page);
  if (drawn) gApp->draw();
  gKeys->endFrame();
  gMouse->endFrame();
  tellPage(page, drawn);
}

// Says in the page why there is no picture.
void showFailure(const char* message) {
  EM_ASM({ if (Module.onFailure) Module.onFailure(UTF8ToString($0)); }, message);
}

// The page says, as text, why the link's words are not on the wall, and
// offers them to the sender to correct.
void refuseText(const std::string& why, const std::string& text) {
  const std::string message = "This link's words are not shown: " + why + ".";
  // clang-format off
  EM_ASM({ if (Module.onRefusedText) Module.onRefusedText(UTF8ToString($0), UTF8ToString($1)); },
         message.c_str(), text.c_str());
  // clang-format on
}

bool writeFile(const char* path, const std::string& bytes) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// The link's words replace the letters' mesh before the room is built from
// it; words the wall cannot show leave the room as it is.
void placeGreeting(const PageOptions& options) {
  if (!options.hasText) return;
  std::string text, obj, error;
  if (!decodeQueryValue(options.text, text, error)) {
    refuseText(error, options.text);
    return;
  }
  if (!room::greetingObjText(text, obj, error)) {
    refuseText(error, text);
    return;
  }
  if (!writeFile(kLettersFile, obj)) {
    refuseText("the letters could not be written to the page's files", text);
    return;
  }
  EM_ASM({ if (Module.onGreeting) Module.onGreeting(UTF8ToString($0)); }, text.c_str());
}

bool createContext() {
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  attributes.alpha = EM_FALSE;
  attributes.antialias = EM_FALSE;
  // The picture stays readable between frames: "save picture" and a
  // finished sampling read what is shown.
  attributes.preserveDrawingBuffer = EM_TRUE;
  const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(kCanvas, &attributes);
  if (context <= 0) {
    showFailure("This browser offers no WebGL 2.");
    return false;
  }
  emscripten_webgl_make_context_current(context);
  if (!emscripten_webgl_enable_extension(context, "EXT_color_buffer_float")) {
    showFailure("This browser's WebGL 2 cannot render to 32-bit float textures (EXT_color_buffer_float).");
    return false;
  }
  if (!emscripten_webgl_enable_extension(context, "EXT_float_blend")) {
    showFailure("This browser's WebGL 2 cannot blend into 32-bit float textures (EXT_float_blend).");
    return false;
  }
  return true;
}

}  // namespace

// A button of the page presses a key for one frame, as the keyboard would.
extern "C" EMSCRIPTEN_KEEPALIVE void xmastraceTogglePress(int key) {
  if (!gKeys) return;
  gKeys->setKey(key, true);
  gKeys->setKey(key, false);
}

// The page's panel checks the words as they are typed, by the wall's own
// rules: an empty text when they fit, else why not.
extern "C" EMSCRIPTEN_KEEPALIVE const char* xmastraceCheckText(const char* utf8Text) {
  static std::string error;
  room::Greeting greeting;
  error.clear();
  if (utf8Text == nullptr || !room::parseGreeting(utf8Text, greeting, error)) return error.c_str();
  return "";
}

int main(int argc, char** argv) {
  WebPage* page = new WebPage;
  page->options = parseOptions(argc, argv);
  if (!createContext()) return kStatusFatal;

  // The Application reads the scene's files from the page's virtual file
  // system (index.data) when it starts: anything written there before this
  // point becomes part of the room.
  placeGreeting(page->options);
  gKeys = new KeyState();
  gMouse = new MouseState(1, 1);
  gApp = new Application(1, 1, page->options.fast ? PathVariant::OneBounce : PathVariant::TwoBounce);
  if (gApp->startupStatus() != kStatusOk) {
    showFailure("The greeting could not start; the browser's console says why.");
    return gApp->startupStatus();
  }
  if (page->options.view != 0) {
    gApp->displayMode = page->options.view - 1;
    gApp->sampling.restart();
  }
  connectEvents(*page);
  connectVideo(page->video, *gApp);
  // The page lives as long as the browser runs the loop: main returns now,
  // and nothing is freed.
  emscripten_set_main_loop_arg(frame, page, 0, EM_FALSE);
  return 0;
}
