#include "platform/desktop/HeadlessContext.h"

#include <GL/glew.h>

// Without this, eglplatform.h pulls in Xlib, whose macros (None, Status,
// Bool) would leak into this file for nothing: no X display is used here.
#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>

namespace {

// Enough for any machine's GPUs; more are not looked at.
constexpr EGLint kMaxDevices = 16;

// Whether the space-separated `list` holds `name` as a whole word.
bool hasExtension(const char* list, const char* name) {
  if (!list) return false;
  const size_t length = std::strlen(name);
  for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name)) {
    const bool starts = at == list || at[-1] == ' ';
    const bool ends = at[length] == ' ' || at[length] == '\0';
    if (starts && ends) return true;
  }
  return false;
}

std::string eglErrorText() {
  switch (const EGLint code = eglGetError()) {
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "EGL error 0x%04x", static_cast<unsigned>(code));
      return text;
    }
  }
}

// The config of the demo's window: RGBA8 with 24-bit depth and 8-bit stencil.
bool chooseConfig(EGLDisplay display, EGLConfig& config) {
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                               EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                               EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                               EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_STENCIL_SIZE, 8,
                               EGL_NONE};
  EGLint count = 0;
  return eglChooseConfig(display, attributes, &config, 1, &count) && count == 1;
}

EGLContext createContext(EGLDisplay display, EGLConfig config) {
  // A debug context as for the window: Mesa reports debug messages, shader
  // compiler warnings among them, only to those.
  const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 4, EGL_CONTEXT_MINOR_VERSION, 1,
                               EGL_CONTEXT_OPENGL_PROFILE_MASK,
                               EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                               EGL_CONTEXT_FLAGS_KHR, EGL_CONTEXT_OPENGL_DEBUG_BIT_KHR, EGL_NONE};
  return eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
}

// A GPU's devices: not Mesa's software one, which the surfaceless platform
// reaches anyway.
int gpuDevices(EGLDeviceEXT (&devices)[kMaxDevices]) {
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!hasExtension(clientExtensions, "EGL_EXT_platform_device")) return 0;
  auto queryDevices =
      reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  auto queryDeviceString = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
      eglGetProcAddress("eglQueryDeviceStringEXT"));
  EGLint count = 0;
  if (!queryDevices || !queryDeviceString || !queryDevices(kMaxDevices, devices, &count))
    return 0;
  int gpus = 0;
  for (EGLint i = 0; i < count; ++i) {
    if (!hasExtension(queryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software"))
      devices[gpus++] = devices[i];
  }
  return gpus;
}

EGLDisplay platformDisplay(EGLenum platform, void* nativeDisplay) {
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) return EGL_NO_DISPLAY;
  return getPlatformDisplay(platform, nativeDisplay, nullptr);
}

}  // namespace

bool HeadlessContext::open(int width, int height, std::string& error) {
  close();
  std::string refusals;
  EGLDeviceEXT devices[kMaxDevices];
  const int gpus = gpuDevices(devices);
  for (int i = 0; i < gpus; ++i) {
    std::string why;
    if (openOnDisplay(platformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i]), width, height, why)) {
      platformName = "an EGL device";
      return true;
    }
    refusals += "GPU device " + std::to_string(i) + ": " + why + "; ";
  }
  if (hasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless")) {
    std::string why;
    if (openOnDisplay(platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY), width,
                      height, why)) {
      platformName = "EGL's surfaceless platform";
      return true;
    }
    refusals += "surfaceless platform: " + why;
  } else {
    refusals += "no surfaceless platform";
  }
  error = (gpus == 0 ? "no GPU device; " : "") + refusals;
  return false;
}

bool HeadlessContext::openOnDisplay(void* candidate, int width, int height, std::string& error) {
  if (candidate == EGL_NO_DISPLAY) {
    error = "no display";
    return false;
  }
  EGLint major = 0, minor = 0;
  if (!eglInitialize(candidate, &major, &minor)) {
    error = "cannot initialise: " + eglErrorText();
    return false;
  }
  display = candidate;
  EGLConfig config = nullptr;
  const bool made = eglBindAPI(EGL_OPENGL_API) && chooseConfig(display, config) &&
                    (context = createContext(display, config)) != EGL_NO_CONTEXT;
  if (!made) {
    error = "no OpenGL 4.1 compatibility context: " + eglErrorText();
    close();
    return false;
  }
  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  surface = eglCreatePbufferSurface(display, config, size);
  if (surface == EGL_NO_SURFACE || !eglMakeCurrent(display, surface, surface, context)) {
    error = "no " + std::to_string(width) + "x" + std::to_string(height) +
            " offscreen buffer: " + eglErrorText();
    close();
    return false;
  }
  return true;
}

void HeadlessContext::close() {
  if (!display) return;
  eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (surface) eglDestroySurface(display, surface);
  if (context) eglDestroyContext(display, context);
  eglTerminate(display);
  eglReleaseThread();
  display = context = surface = nullptr;
}

bool wantsHeadlessContext(bool asked, const char* displayVariable) {
  return asked || !displayVariable || displayVariable[0] == '\0';
}

std::string glRendererLine() {
  const auto text = [](GLenum name) {
    const auto* value = reinterpret_cast<const char*>(glGetString(name));
    return std::string(value ? value : "unknown");
  };
  return "GL renderer: " + text(GL_RENDERER) + " from " + text(GL_VENDOR);
}
