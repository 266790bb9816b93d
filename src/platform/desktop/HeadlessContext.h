#pragma once

#include <string>

// A GL 4.1 compatibility context made through EGL, without any window
// system: on a GPU's own EGL device where a driver offers one, else on Mesa's
// surfaceless platform (its software renderer on a machine without a GPU).
// GPU servers, containers and render nodes have no X server to open a hidden
// window on. The context draws into an offscreen buffer of the picture's
// size, which stands for the window's framebuffer, so the Application's
// passes draw as they do in a hidden window.
class HeadlessContext {
 public:
  HeadlessContext() = default;
  ~HeadlessContext() { close(); }
  HeadlessContext(const HeadlessContext&) = delete;
  HeadlessContext& operator=(const HeadlessContext&) = delete;

  // Makes a width x height context current. Returns false, with `error`
  // saying what each platform refused, when none gives one.
  bool open(int width, int height, std::string& error);
  // Releases the context and the display; every GL object goes with them.
  void close();
  // Where the context came from, for the line that names the renderer.
  const char* platform() const { return platformName; }

 private:
  bool openOnDisplay(void* candidate, int width, int height, std::string& error);

  void* display = nullptr;
  void* context = nullptr;
  void* surface = nullptr;
  const char* platformName = "";
};

// Whether xmastrace_render goes through EGL: when asked to, and when there is
// no X display (`displayVariable` is $DISPLAY) for a hidden window.
bool wantsHeadlessContext(bool asked, const char* displayVariable);

// "GL renderer: llvmpipe (LLVM 15.0.6, 256 bits) from Mesa", for the current
// context, so that a user sees whether a GPU or a software renderer worked.
std::string glRendererLine();
