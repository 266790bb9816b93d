// Launch to first picture, phase by phase, for both programs. Every launch
// is a process of its own: this program started again with --launch, which
// goes through the demo's start-up in main's order (window, GL context and
// entry points, the Application with its shader programs and scene, the
// first frame) and reports when each phase ended. The parent prints the
// median of several launches, with Mesa's shader cache empty (a first
// launch) and filled by an earlier launch (every later one).
//
//   startup_bench [--launches N]
//
// The Application prints its scene statistics at two known points of its
// start-up; the child times those lines as they arrive, which splits the
// constructor into shader programs (up to the first line, less the file
// loading it reports), scene build (up to the last line) and the rest
// (render targets, the scene textures). The music is not started.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "app/DebugOutput.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "platform/desktop/LegacyWindow.h"

namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 512;

double nowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// ---- the launched process ---------------------------------------------------

// Standard output goes through a pipe; a thread notes when the first line
// starting with each of the prefixes arrives.
class LineClock {
 public:
  explicit LineClock(std::vector<std::string> prefixes) : prefixes(std::move(prefixes)) {
    std::fflush(stdout);
    saved = dup(STDOUT_FILENO);
    int ends[2];
    if (pipe(ends) != 0) return;
    dup2(ends[1], STDOUT_FILENO);
    close(ends[1]);
    reader = std::thread([this, in = ends[0]] { readLines(in); });
  }
  ~LineClock() { stop(); }

  void stop() {
    if (!reader.joinable()) return;
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);  // the pipe's last writer goes: the reader sees its end
    close(saved);
    reader.join();
  }

  double timeOf(const std::string& prefix) const {
    auto at = times.find(prefix);
    return at == times.end() ? 0.0 : at->second;
  }

 private:
  void readLines(int in) {
    std::string line;
    char c;
    while (read(in, &c, 1) == 1) {
      if (c != '\n') {
        line += c;
        continue;
      }
      const double at = nowMs();
      for (const std::string& prefix : prefixes) {
        if (line.rfind(prefix, 0) == 0 && !times.count(prefix)) times[prefix] = at;
      }
      line.clear();
    }
    close(in);
  }

  std::vector<std::string> prefixes;
  std::map<std::string, double> times;
  std::thread reader;
  int saved = -1;
};

const char* const kLoadedLine = "------- obj loaded";
const char* const kLastStatisticsLine = "number of light emitter verts";

void drawFrame(LegacyWindow& window, Application& app, KeyState& keys, MouseState& mouse) {
  app.update(0.016f, keys, mouse);
  app.draw();
  keys.endFrame();
  mouse.endFrame();
  window.swapBuffers();
  glFinish();
}

// Prints "name=milliseconds" pairs, measured from the parent's start.
int launch(PathVariant variant, double started) {
  const double atMain = nowMs();
  std::filesystem::current_path(XMASTRACE_RUN_DIR);
  if (!glfwInit()) return kStatusFatal;
  LegacyWindow window;
  if (!window.open(kWidth, kHeight)) return kStatusFatal;
  const double windowOpen = nowMs();
  if (!loadGlEntryPoints()) return kStatusFatal;
  window.setTitle("startup_bench");
  installDebugOutput();
  const double loaderReady = nowMs();

  KeyState keys;
  MouseState mouse(kWidth, kHeight);
  LineClock lines({kLoadedLine, kLastStatisticsLine});
  Application app(kWidth, kHeight, variant, /*withMusic=*/false);
  const double constructed = nowMs();
  if (app.startupStatus() != kStatusOk) return app.startupStatus();
  drawFrame(window, app, keys, mouse);
  const double firstPicture = nowMs();
  drawFrame(window, app, keys, mouse);
  const double firstSample = nowMs();
  lines.stop();

  // The loading that the first statistics line waits for, timed once more
  // on its own, so that the shader programs are not charged with it.
  OctreeScene scene;
  const double loadStart = nowMs();
  scene.loadObjects(roomObjects());
  const double loadTime = nowMs() - loadStart;

  const double loaded = lines.timeOf(kLoadedLine);
  const double built = lines.timeOf(kLastStatisticsLine);
  std::printf("process=%.2f window=%.2f loader=%.2f programs=%.2f scene=%.2f targets=%.2f "
              "first_frame=%.2f total=%.2f first_sample=%.2f\n",
              atMain - started, windowOpen - atMain, loaderReady - windowOpen,
              loaded - loaderReady - loadTime, built - loaded + loadTime, constructed - built,
              firstPicture - constructed, firstPicture - started, firstSample - firstPicture);
  glfwTerminate();
  return kStatusOk;
}

// ---- the parent -------------------------------------------------------------

using Phases = std::map<std::string, double>;

// Starts this program again for one launch and reads its figures.
bool launchOnce(const char* self, PathVariant variant, const std::string& cacheDir,
                Phases& phases) {
  int ends[2];
  if (pipe(ends) != 0) return false;
  const std::string started = std::to_string(nowMs());
  const pid_t child = fork();
  if (child == 0) {
    dup2(ends[1], STDOUT_FILENO);
    close(ends[0]);
    close(ends[1]);
    setenv("MESA_SHADER_CACHE_DIR", cacheDir.c_str(), 1);
    execl(self, self, "--launch", variant == PathVariant::OneBounce ? "fast" : "full",
          started.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  std::string text;
  char buffer[512];
  ssize_t got;
  while ((got = read(ends[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  const size_t at = text.find("process=");
  if (at == std::string::npos) return false;
  char name[64];
  double value;
  int used = 0;
  const char* cursor = text.c_str() + at;
  while (std::sscanf(cursor, " %63[a-z_]=%lf%n", name, &value, &used) == 2) {
    phases[name] = value;
    cursor += used;
  }
  return true;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0.0 : n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

int runLaunches(const char* self, int launches) {
  const char* order[] = {"process", "window", "loader", "programs", "scene",
                         "targets", "first_frame", "total", "first_sample"};
  const char* labels[] = {"process start (exec to main)",
                          "window and GL context",
                          "entry points, title, debug output",
                          "shader programs (compile, link)",
                          "scene (OBJ files, octree)",
                          "render targets, scene textures",
                          "first frame (primary pass, display)",
                          "launch to first picture",
                          "second frame (first path sample)"};
  std::printf("median of %d launches, ms\n", launches);
  std::printf("%-38s %14s %14s %14s %14s\n", "", "xmastrace", "", "xmastrace_fast", "");
  std::printf("%-38s %14s %14s %14s %14s\n", "phase", "cold cache", "warm cache", "cold cache",
              "warm cache");
  std::map<std::string, double> table[2][2];
  const std::string base = std::filesystem::temp_directory_path() / "xmastrace-startup-";
  for (int v = 0; v < 2; ++v) {
    const PathVariant variant = v ? PathVariant::OneBounce : PathVariant::TwoBounce;
    for (int warm = 0; warm < 2; ++warm) {
      std::map<std::string, std::vector<double>> samples;
      const std::string warmDir = base + "warm";
      std::filesystem::remove_all(warmDir);
      Phases ignored;
      if (warm && !launchOnce(self, variant, warmDir, ignored)) return kStatusFatal;
      for (int i = 0; i < launches; ++i) {
        const std::string dir = warm ? warmDir : base + "cold";
        if (!warm) std::filesystem::remove_all(dir);
        Phases phases;
        if (!launchOnce(self, variant, dir, phases)) {
          std::fprintf(stderr, "a launch failed\n");
          return kStatusFatal;
        }
        for (const auto& [name, value] : phases) samples[name].push_back(value);
      }
      for (const auto& [name, values] : samples) table[v][warm][name] = median(values);
      std::filesystem::remove_all(base + "cold");
      std::filesystem::remove_all(warmDir);
    }
  }
  for (size_t row = 0; row < std::size(order); ++row) {
    std::printf("%-38s %14.1f %14.1f %14.1f %14.1f\n", labels[row], table[0][0][order[row]],
                table[0][1][order[row]], table[1][0][order[row]], table[1][1][order[row]]);
  }
  return kStatusOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--launch") == 0) {
    const PathVariant variant =
        std::strcmp(argv[2], "fast") == 0 ? PathVariant::OneBounce : PathVariant::TwoBounce;
    return launch(variant, std::atof(argv[3]));
  }
  int launches = 5;
  if (argc == 3 && std::strcmp(argv[1], "--launches") == 0) launches = std::atoi(argv[2]);
  if (launches < 1 || (argc != 1 && argc != 3)) {
    std::fprintf(stderr, "usage: startup_bench [--launches N]\n");
    return kStatusFatal;
  }
  return runLaunches("/proc/self/exe", launches);
}
