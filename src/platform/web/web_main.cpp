// Entry point of the browser build: the page's canvas instead of a window,
// the browser's frame callback instead of the frame loop, DOM events instead
// of the window's callbacks. The Application and everything below it are the
// desktop's own code.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/FrameLoop.h"
#include "app/KeyCodes.h"
#include "app/TouchGestures.h"
#include "platform/web/CanvasSize.h"
#include "platform/web/PageLoop.h"
#include "platform/web/QueryValue.h"
#include "platform/web/WebVideo.h"
#include "render/ShownPicture.h"
#include "room/Greeting.h"

namespace {

constexpr const char* kCanvas = "#canvas";
// Where the Application looks for the letters' mesh.
constexpr const char* kLettersFile = "data/xmas/qm.obj";
// KHR_parallel_shader_compile's query: has the driver finished the program?
constexpr GLenum kCompletionStatus = 0x91B1;

// The state of the page between frames; the browser hands it back to every
// callback, and the page's script to the calls it makes.
struct WebPage {
  PageOptions options;
  std::unique_ptr<Application> app;
  std::unique_ptr<FrameLoop> loop;
  double cssWidth = 0.0, cssHeight = 0.0;
  double pixelRatio = 0.0;
  bool ready = false;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
  DrawingLimits limits;
  // From the loss of the GL context until its return nothing is drawn;
  // `restored` waits for the first picture after the return.
  bool contextLost = false;
  bool restored = false;
  // With KHR_parallel_shader_compile the driver compiles the programs while
  // the page goes on; the start-up finishes once they are done.
  bool parallelCompile = false;
  bool started = false;
  WebVideo video;
  // The canvas's picture, which the browser empties once it is on screen:
  // "save", snapshots and tests read this copy.
  ShownPicture shown;
};

WebPage& pageOf(void* data) { return *static_cast<WebPage*>(data); }

// A URL option the program does not use is named in the page, not dropped
// in silence.
void tellIgnored(const std::vector<std::string>& ignored) {
  for (const std::string& line : ignored)
    EM_ASM({ if (Module.onIgnoredOption) Module.onIgnoredOption(UTF8ToString($0)); }, line.c_str());
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

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void* data) {
  FrameLoop& loop = *pageOf(data).loop;
  loop.wake();
  const int key = keyCode(*event);
  if (key == kKeyUnknown || event->ctrlKey || event->metaKey || event->altKey) return EM_FALSE;
  if (type == EMSCRIPTEN_EVENT_KEYDOWN && typingInPage()) return EM_FALSE;
  loop.key(key, type == EMSCRIPTEN_EVENT_KEYDOWN);
  return EM_TRUE;
}

// DOM numbers the right button 2 and the middle 1; the program, as GLFW,
// the other way round.
int mouseButton(unsigned short domButton) {
  if (domButton == 1) return 2;
  if (domButton == 2) return 1;
  return domButton;
}

EM_BOOL onMouseButton(int type, const EmscriptenMouseEvent* event, void* data) {
  pageOf(data).loop->mouseButton(mouseButton(event->button), type == EMSCRIPTEN_EVENT_MOUSEDOWN,
                                 event->targetX, event->targetY);
  return EM_TRUE;
}

EM_BOOL onMouseMove(int, const EmscriptenMouseEvent* event, void* data) {
  pageOf(data).loop->mouseMove(event->targetX, event->targetY, event->buttons != 0);
  return EM_TRUE;
}

EM_BOOL onWheel(int, const EmscriptenWheelEvent* event, void* data) {
  if (event->deltaY != 0.0) pageOf(data).loop->turnWheel(event->deltaY < 0.0 ? 1 : -1);
  return EM_TRUE;
}

EM_BOOL onTouch(int type, const EmscriptenTouchEvent* event, void* data) {
  const bool ending = type == EMSCRIPTEN_EVENT_TOUCHEND || type == EMSCRIPTEN_EVENT_TOUCHCANCEL;
  const int count = std::clamp(event->numTouches, 0, 32);
  TouchPoint touches[32];
  for (int i = 0; i < count; ++i) {
    const EmscriptenTouchPoint& point = event->touches[i];
    touches[i] = {static_cast<int32_t>(point.targetX), static_cast<int32_t>(point.targetY),
                  point.isChanged != 0};
  }
  pageOf(data).loop->touch(touches, count, ending);
  return EM_TRUE;
}

EM_BOOL onResize(int, const EmscriptenUiEvent*, void* data) {
  pageOf(data).loop->wake();
  return EM_FALSE;
}

EM_BOOL onVisibilityChange(int, const EmscriptenVisibilityChangeEvent* event, void* data) {
  if (!event->hidden) pageOf(data).loop->wake();
  return EM_FALSE;
}

// A zoom or a move to a screen of another pixel density may fire no resize
// event (nor, in some browsers, a media-query change), and a resting page
// would keep its old resolution: the ratio is looked at twice a second,
// which costs no drawing, and a change wakes the page.
void wakeOnPixelRatioChange() {
  EM_ASM({
    let ratio = devicePixelRatio;
    setInterval(() => {
      if (devicePixelRatio === ratio) return;
      ratio = devicePixelRatio;
      if (Browser.mainLoop.func && !Browser.mainLoop.scheduler) Browser.mainLoop.resume();
    }, 500);
  });
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
  emscripten_set_resize_callback(window, &page, EM_FALSE, onResize);
  emscripten_set_visibilitychange_callback(&page, EM_FALSE, onVisibilityChange);
  wakeOnPixelRatioChange();
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
  const PixelSize size = drawingBufferSize(cssWidth, cssHeight, ratio, page.limits);
  const int width = size.width, height = size.height;
  if (width <= 0 || height <= 0) return;
  emscripten_set_canvas_element_size(kCanvas, width, height);
  page.loop->resizeCursor(static_cast<int>(static_cast<uint32_t>(cssWidth)),
                          static_cast<int>(static_cast<uint32_t>(cssHeight)));
  page.app->resize(width, height);
}

bool pageHidden() {
  EmscriptenVisibilityChangeEvent status;
  return emscripten_get_visibility_status(&status) == EMSCRIPTEN_RESULT_SUCCESS && status.hidden;
}

// A finished picture or a hidden tab: no frames until input or the tab's
// return wake the loop.
void rest(WebPage& page) {
  page.loop->rest();
  emscripten_pause_main_loop();
}

// `first` once the first picture at full resolution is shown (on a tour,
// which moves the camera every frame, the first picture); `shown` whenever
// the canvas changed.
void tellPage(WebPage& page, const FrameWork& work) {
  const bool full = work.shown && (work.kind != FrameWorkKind::Preview || page.loop->touring());
  const Application& app = *page.app;
  // -1: not touring.
  const double tourTime = page.loop->tourTime().value_or(-1.0);
  // clang-format off
  EM_ASM({ if (Module.onFrame) Module.onFrame($0, $1, $2, $3, $4, $5, $6 < 0 ? null : $6); },
         std::max(app.shownSamples(), 0), app.width,
         app.height, full && !page.ready, app.denoising, work.shown, tourTime);
  // clang-format on
  if (full) page.ready = true;
  if (full && page.restored) {
    page.restored = false;
    EM_ASM({ if (Module.onContextRestored) Module.onContextRestored(); });
  }
}

// Says in the page why there is no picture.
void showFailure(const char* message) {
  EM_ASM({ if (Module.onFailure) Module.onFailure(UTF8ToString($0)); }, message);
}

// A context lost in the middle of the start-up says its programs are
// compiled and then that none links, before its loss event arrives: the
// start-up is judged only while the context lives.
bool contextGone(const WebPage& page) {
  return page.contextLost || emscripten_is_webgl_context_lost(page.context);
}

bool programsCompiled(const WebPage& page) {
  // Without the extension, asking would only wait; finishStart waits once.
  if (!page.parallelCompile) return true;
  for (const GLuint program : page.app->programsInProgress()) {
    GLint done = GL_FALSE;
    glGetProgramiv(program, kCompletionStatus, &done);
    if (!done) return false;
  }
  return true;
}

// A page is opened once and judged in its first seconds, when a few samples
// denoised look far better than the plain average, and touched at once, when
// carried samples keep the moving picture lit; the button and F2 turn both
// off. A primary view (?view=) is the flat buffer asked for, never lit.
void denoiseByDefault(Application& app, const PageOptions& options) {
  app.denoising = true;
  app.reuseSamples = options.reuse && options.view == 0;
}

// The rest of the start-up, once the driver has compiled the programs.
bool finishStart(WebPage& page) {
  Application& app = *page.app;
  if (app.finishStart() != kStatusOk) {
    // The restore starts it again.
    if (contextGone(page)) return false;
    showFailure("The greeting could not start; the browser's console says why.");
    emscripten_cancel_main_loop();
    return false;
  }
  app.lightStep = kFrameStep;
  denoiseByDefault(app, page.options);
  if (page.options.view != 0) {
    app.displayMode = page.options.view - 1;
    app.sampling.restart();
  }
  page.started = true;
  return true;
}

void frame(void* data) {
  WebPage& page = pageOf(data);
  FrameLoop& loop = *page.loop;
  if (!page.started && (contextGone(page) || !programsCompiled(page) || !finishStart(page))) {
    loop.endFrame();
    return;
  }
  const double now = emscripten_get_now() / 1000.0;
  if (page.contextLost) {
    // Input while the GPU is away is dropped, not saved up for its return.
    loop.skipFrame(now);
    return;
  }

  followCanvasSize(page);
  // While a video is made the picture stands still and the input waits.
  if (videoInProgress(page.video)) {
    stepVideo(page.video, now * 1000.0);
    // The live picture's budget learns nothing from the video's frames.
    loop.skipFrame(now);
    return;
  }
  const FrameLoop::Frame drawn = loop.step(now);
  if (drawn.work.shown) keepShownPicture(page.shown, page.app->width, page.app->height);
  if (drawn.drew) tellPage(page, drawn.work);
  loop.endFrame();
  if (loop.waitsForInput() || pageHidden()) rest(page);
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

// Unifont's glyphs for the link's words, which the page fetched into this
// file before the program started (none when the words need none).
constexpr const char* kGlyphsFile = "/glyphs.hex";

room::UnifontTable fetchedGlyphs() {
  room::UnifontTable glyphs;
  FILE* file = std::fopen(kGlyphsFile, "rb");
  if (file == nullptr) return glyphs;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  std::string error;
  if (!glyphs.addHexText(text, error)) std::fprintf(stderr, "glyphs: %s\n", error.c_str());
  return glyphs;
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
  if (!room::greetingObjText(text, fetchedGlyphs(), obj, error)) {
    refuseText(error, text);
    return;
  }
  if (!writeFile(kLettersFile, obj)) {
    refuseText("the letters could not be written to the page's files", text);
    return;
  }
  EM_ASM({ if (Module.onGreeting) Module.onGreeting(UTF8ToString($0)); }, text.c_str());
}

// Also after a lost context returns: its extensions went with it.
bool enableExtensions(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context) {
  if (!emscripten_webgl_enable_extension(context, "EXT_color_buffer_float")) {
    showFailure("This browser's WebGL 2 cannot render to 32-bit float textures (EXT_color_buffer_float).");
    return false;
  }
  return true;
}

// Extensions the page does without when it must; enabled again after a
// lost context returns.
GpuFeatures enableOptionalExtensions(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context) {
  GpuFeatures features;
  features.floatBlend = emscripten_webgl_enable_extension(context, "EXT_float_blend");
  return features;
}

DrawingLimits queryDrawingLimits() {
  GLint texture = 0, renderbuffer = 0;
  GLint viewport[2] = {};
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
  return drawingLimits(texture, renderbuffer, viewport[0], viewport[1]);
}

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE createContext() {
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  attributes.alpha = EM_FALSE;
  attributes.antialias = EM_FALSE;
  // Not kept: Chromium would copy the whole canvas after every frame that
  // draws, even only into a target of its own. The page keeps its own copy
  // of what it shows (ShownPicture).
  attributes.preserveDrawingBuffer = EM_FALSE;
  // A laptop with two GPUs then draws on the fast one.
  attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
  const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(kCanvas, &attributes);
  if (context <= 0) {
    showFailure("This browser offers no WebGL 2.");
    return 0;
  }
  emscripten_webgl_make_context_current(context);
  return enableExtensions(context) ? context : 0;
}

// A GPU reset (or a watchdog that found a frame too long) takes the context
// away. Cancelling the event is what lets the browser give it back.
EM_BOOL onContextLost(int, const void*, void* data) {
  WebPage& page = pageOf(data);
  page.contextLost = true;
  page.restored = false;
  page.shown = ShownPicture{};
  forgetVideoObjects(page.video);
  EM_ASM({ if (Module.onContextLost) Module.onContextLost(); });
  return EM_TRUE;
}

// The context returns empty: every GL object is made again, and the
// Application keeps the camera, the options and the room.
EM_BOOL onContextRestored(int, const void*, void* data) {
  WebPage& page = pageOf(data);
  emscripten_webgl_make_context_current(page.context);
  // The runtime's own buffers for client-side arrays went with the context.
  EM_ASM({ if (GL.generateTempBuffers) GL.generateTempBuffers(false, GL.currentContext); });
  if (!enableExtensions(page.context)) return EM_TRUE;
  page.app->gpu.features = page.video.features = enableOptionalExtensions(page.context);
  // Asked for again with the others: a start-up that waits for its
  // programs could not ask about them otherwise.
  page.parallelCompile = emscripten_webgl_enable_extension(page.context, "KHR_parallel_shader_compile");
  page.limits = queryDrawingLimits();
  page.video.limits = page.limits;
  if (page.app->restoreGpuObjects() != kStatusOk) {
    showFailure("The graphics could not be restored; the browser's console says why.");
    return EM_TRUE;
  }
  // The limits may differ on the GPU that came back.
  page.cssWidth = page.cssHeight = page.pixelRatio = 0.0;
  page.contextLost = false;
  page.restored = true;
  // The fences went with the old context, and the frame before the loss
  // timed nothing; a resting page must draw its picture again.
  page.loop->forgetGpu();
  // The videos' Applications were made in the old context: the next video
  // starts afresh.
  forgetVideoObjects(page.video);
  page.loop->wake();
  return EM_TRUE;
}

}  // namespace

// A button of the page presses a key for one frame, as the keyboard would
// (`state`: what main gave the page).
extern "C" EMSCRIPTEN_KEEPALIVE void xmastraceTogglePress(void* state, int key) {
  if (state == nullptr || !pageOf(state).loop) return;
  pageOf(state).loop->press(key);
}

// Hands the page the picture the canvas shows as Module.shownPicture:
// RGBA rows from the top, with its width and height. False before the first
// picture and while the graphics are lost (`state`: what main gave the page).
extern "C" EMSCRIPTEN_KEEPALIVE int xmastraceShownPicture(void* state) {
  if (state == nullptr) return 0;
  WebPage& page = pageOf(state);
  if (page.contextLost || page.shown.texture == 0) return 0;
  const std::vector<uint8_t> pixels = readShownPicture(page.shown);
  // clang-format off
  EM_ASM({ Module.shownPicture = Array.of(HEAPU8.slice($0, $0 + $1), $2, $3); },
         pixels.data(), pixels.size(), page.shown.width, page.shown.height);
  // clang-format on
  return 1;
}

// The page's panel checks the words as they are typed, by the wall's own
// rules, with the Unifont glyphs it fetched for them: an empty text when
// they fit, else why not.
extern "C" EMSCRIPTEN_KEEPALIVE const char* xmastraceCheckText(const char* utf8Text,
                                                                const char* glyphHex) {
  static std::string error;
  room::Greeting greeting;
  room::UnifontTable glyphs;
  error.clear();
  if (glyphHex != nullptr && !glyphs.addHexText(glyphHex, error)) return error.c_str();
  if (utf8Text == nullptr || !room::parseGreeting(utf8Text, glyphs, greeting, error)) {
    return error.c_str();
  }
  return "";
}

int main(int argc, char** argv) {
  WebPage* page = new WebPage;
  std::vector<std::string> ignored;
  page->options = readPageOptions(argc, argv, ignored);
  tellIgnored(ignored);
  page->context = createContext();
  if (page->context == 0) return kStatusFatal;
  page->limits = queryDrawingLimits();

  // The Application reads the scene's files from the page's virtual file
  // system (index.data) when it starts: anything written there before this
  // point becomes part of the room.
  placeGreeting(page->options);
  page->parallelCompile =
      emscripten_webgl_enable_extension(page->context, "KHR_parallel_shader_compile");
  page->app = std::make_unique<Application>(
      1, 1, page->options.fast ? PathVariant::OneBounce : PathVariant::TwoBounce, true,
      Application::StartUp::ProgramsFirst);
  page->app->gpu.features = page->video.features = enableOptionalExtensions(page->context);
  const PageOptions& options = page->options;
  LoopRules rules = pageRules(options.budgetMs, options.samples, options.view);
  rules.tour = options.tour;
  page->loop = std::make_unique<FrameLoop>(*page->app, rules, 1, 1);
  // A resting page (finished, or hidden) runs no frames at all; any input
  // starts them again.
  page->loop->onWake = wakePageLoop;
  // The page's script hands this back to the calls it makes.
  EM_ASM({ Module.pageState = $0; }, page);
  connectEvents(*page);
  emscripten_set_webglcontextlost_callback(kCanvas, page, EM_TRUE, onContextLost);
  emscripten_set_webglcontextrestored_callback(kCanvas, page, EM_TRUE, onContextRestored);
  connectVideo(page->video, *page->app, page->shown);
  page->video.limits = page->limits;
  // The page lives as long as the browser runs the loop: main returns now,
  // and nothing is freed.
  emscripten_set_main_loop_arg(frame, page, 0, EM_FALSE);
  return 0;
}
