// The octree march side by side: the shaders as they were before the march
// was made faster (the reference copy the tests keep) and the built-in ones,
// in one process, on the same GL context, on the room at the demo's size.
// For the primary pass and one path sample of each program, from the start
// view and from inside the tree's branches, it prints the median time of
// each shader and the speed-up, and checks that both wrote the same bits
// into every texel of every target. Exits with 1 when any texel differs.
//
//   march_bench [--repetitions N] [--size WxH] [--pass primary|path] [--png DIR]
//
// --pass keeps only the rows of one pass; --png writes the hit colours and
// normals of each view, to see what was measured.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// Under callgrind (--collect-atstart=no) each timed pass becomes a dump of
// its own, named after its row: instruction counts that other work on the
// machine cannot move.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_TOGGLE_COLLECT
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

#include "ExitStatus.h"
#include "ReferenceShaders.h"
#include "app/Application.h"
#include "platform/desktop/LegacyWindow.h"
#include "render/BuiltinShaders.h"
#include "render/FramePasses.h"
#include "render/PngImage.h"
#include "render/ProgramBuilder.h"
#include "SilencedStdout.h"

namespace {

struct Options {
  int repetitions = 5;
  int width = 768;
  int height = 512;
  std::string pngDirectory;
  bool primaryRows = true;
  bool pathRows = true;
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--repetitions" && hasValue) {
      options.repetitions = std::atoi(argv[++i]);
    } else if (option == "--size" && hasValue) {
      if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2) return false;
    } else if (option == "--pass" && hasValue) {
      const std::string pass = argv[++i];
      options.primaryRows = pass == "primary";
      options.pathRows = pass == "path";
    } else if (option == "--png" && hasValue) {
      options.pngDirectory = argv[++i];
    } else {
      return false;
    }
  }
  return options.repetitions > 0 && options.width > 0 && options.height > 0;
}

struct View {
  const char* name;
  Vector3 eye, center;
};

// The demo's start camera, and one among the mirror tree's branches, where
// rays bounce between close surfaces and cross many small cells.
const View kViews[] = {
    {"start view", {-7.0f, -20.0f, 13.0f}, {-4.0f, -23.0f, 0.0f}},
    {"in the tree", {-0.1f, -20.6f, -5.45f}, {-2.2f, -20.3f, -6.5f}},
};

// Every texel of a texture as raw bytes: equality of these is equality of
// the bits the pass wrote.
std::vector<uint8_t> textureBytes(GLuint texture, int width, int height, bool halfFloat) {
  const size_t texelBytes = halfFloat ? 8 : 16;
  std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * texelBytes);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, halfFloat ? GL_HALF_FLOAT : GL_FLOAT, bytes.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return bytes;
}

// Texels (of texelBytes each) whose bytes differ.
size_t differingTexels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                       size_t texelBytes) {
  size_t count = 0;
  for (size_t i = 0; i + texelBytes <= a.size(); i += texelBytes) {
    if (std::memcmp(&a[i], &b[i], texelBytes) != 0) ++count;
  }
  return count;
}

struct Clocks {
  double wallMs, cpuMs;
};

// The wall clock, and the CPU time of all the process's threads: the
// renderer's own threads included, and less disturbed than the wall clock
// when other work shares the cores.
Clocks now() {
  timespec wall{}, cpu{};
  clock_gettime(CLOCK_MONOTONIC, &wall);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  return {wall.tv_sec * 1e3 + wall.tv_nsec * 1e-6, cpu.tv_sec * 1e3 + cpu.tv_nsec * 1e-6};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

struct Row {
  std::string name;
  double referenceMs = 0.0;
  double newMs = 0.0;
  double referenceCpuMs = 0.0;
  double newCpuMs = 0.0;
  size_t differing = 0;
};

void printHeader() {
  std::printf("%-42s %21s %8s %21s %8s  %s\n", "", "wall ms (median)", "", "CPU ms (median)", "",
              "");
  std::printf("%-42s %10s %10s %8s %10s %10s %8s  %s\n", "row", "reference", "new", "speed-up",
              "reference", "new", "speed-up", "outputs");
}

void printRow(const Row& row) {
  std::printf("%-42s %10.1f %10.1f %7.2fx %10.1f %10.1f %7.2fx  %s\n", row.name.c_str(),
              row.referenceMs, row.newMs, row.referenceMs / row.newMs, row.referenceCpuMs,
              row.newCpuMs, row.referenceCpuMs / row.newCpuMs,
              row.differing == 0 ? "identical"
                                 : (std::to_string(row.differing) + " texels differ").c_str());
  std::fflush(stdout);
}

// Runs `pass` with each program in turn, alternating which goes first, and
// keeps the wall and CPU time of each run; `outputs` reads back what the
// first run of each wrote.
template <typename Pass, typename Outputs>
Row compare(const std::string& name, int repetitions, GLuint reference, GLuint built, Pass pass,
            Outputs outputs, size_t texelBytes) {
  std::vector<double> wall[2], cpu[2];
  std::vector<uint8_t> written[2];
  const GLuint programs[2] = {reference, built};
  // The first draw with a program compiles its code for the current state.
  for (GLuint program : programs) pass(program);
  for (int r = 0; r < repetitions; ++r) {
    for (int k = 0; k < 2; ++k) {
      const int which = (r + k) % 2;
      glFinish();
      CALLGRIND_ZERO_STATS;
      CALLGRIND_TOGGLE_COLLECT;
      const Clocks start = now();
      pass(programs[which]);
      glFinish();
      const Clocks end = now();
      CALLGRIND_TOGGLE_COLLECT;
      const std::string dumpName = name + (which == 0 ? " | reference" : " | new");
      CALLGRIND_DUMP_STATS_AT(dumpName.c_str());
      wall[which].push_back(end.wallMs - start.wallMs);
      cpu[which].push_back(end.cpuMs - start.cpuMs);
      if (written[which].empty()) written[which] = outputs();
    }
  }
  Row row;
  row.name = name;
  row.referenceMs = median(wall[0]);
  row.newMs = median(wall[1]);
  row.referenceCpuMs = median(cpu[0]);
  row.newCpuMs = median(cpu[1]);
  row.differing = differingTexels(written[0], written[1], texelBytes);
  return row;
}

std::vector<uint8_t> concat(std::vector<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

GLuint buildFragment(const char* vertexFile, const char* fragment) {
  const BuiltProgram built = buildProgram(vertexFile, nullptr, nullptr, nullptr, fragment, false);
  return built.status == kStatusOk ? built.program : 0;
}

// One hit buffer of the last primary pass as a picture; normals show as
// their absolute values.
void writeHitBuffer(const Application& app, int buffer, const std::string& file) {
  const size_t texels = static_cast<size_t>(app.width) * app.height;
  std::vector<float> values(texels * 4);
  glBindTexture(GL_TEXTURE_2D, app.gpu.primaryFbo.colorTextures[buffer]);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, values.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  std::vector<uint8_t> rgba(texels * 4);
  for (size_t i = 0; i < rgba.size(); ++i) {
    rgba[i] = static_cast<uint8_t>(std::clamp(std::fabs(values[i]), 0.0f, 1.0f) * 255.0f);
  }
  std::string error;
  if (!writePng(rgbImageFromGlRows(rgba, app.width, app.height), file, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
  }
}

void writeHitPictures(const Application& app, const std::string& directory, std::string view) {
  std::replace(view.begin(), view.end(), ' ', '_');
  writeHitBuffer(app, 0, directory + "/" + view + "_colour.png");
  writeHitBuffer(app, 2, directory + "/" + view + "_normal.png");
}

int run(const Options& options) {
  int status = kStatusOk;
  const char* programNames[] = {"xmastrace", "xmastrace_fast"};
  const PathVariant variants[] = {PathVariant::TwoBounce, PathVariant::OneBounce};
  printHeader();
  for (int v = 0; v < (options.pathRows ? 2 : 1); ++v) {
    std::unique_ptr<Application> app;
    {
      SilencedStdout silence;
      app = std::make_unique<Application>(options.width, options.height, variants[v], false);
    }
    if (app->startupStatus() != kStatusOk) {
      std::fprintf(stderr, "start-up failed\n");
      return kStatusFatal;
    }
    const GLuint referencePrimary =
        buildFragment("VoxelShaderVSgiga.glsl", referencePrimaryRayFragmentSource());
    const GLuint referencePath =
        buildFragment("gigaAOShaderVS.glsl", referencePathTraceFragmentSource(variants[v]));
    if (referencePrimary == 0 || referencePath == 0) return kStatusFatal;

    for (const View& view : kViews) {
      app->camera.lookAt(view.eye, view.center, {0.0f, 1.0f, 0.0f});
      FrameResources resources = app->frameResources();
      const FrameView frame = app->frameView();
      const int w = app->width, h = app->height;
      std::vector<Row> rows;
      // The primary shader is the same in both programs: measured once.
      if (v == 0 && options.primaryRows) {
        rows.push_back(compare(
            std::string("primary pass, ") + view.name, options.repetitions, referencePrimary,
            app->gpu.voxelProgram,
            [&](GLuint program) {
              resources.voxelProgram = program;
              primaryPass(resources, frame);
            },
            [&] {
              return concat({textureBytes(app->gpu.primaryFbo.colorTextures[0], w, h, true),
                             textureBytes(app->gpu.primaryFbo.colorTextures[1], w, h, true),
                             textureBytes(app->gpu.primaryFbo.colorTextures[2], w, h, true)});
            },
            8));
      }
      resources.voxelProgram = app->gpu.voxelProgram;
      primaryPass(resources, frame);
      if (!options.pngDirectory.empty()) writeHitPictures(*app, options.pngDirectory, view.name);
      // Every run reads randomTextures[1] and writes [0]: the same input each time.
      if (options.pathRows) rows.push_back(compare(
          std::string("path sample ") + programNames[v] + ", " + view.name, options.repetitions,
          referencePath, app->gpu.pathProgram,
          [&](GLuint program) {
            resources.pathProgram = program;
            app->gpu.pathFbo.attachTexture(1, app->gpu.randomTextures[0]);
            pathTracePass(resources, frame, 0, true);
          },
          [&] {
            return concat({textureBytes(app->gpu.sampleTexture, w, h, false),
                           textureBytes(app->gpu.randomTextures[0], w, h, false)});
          },
          16));
      for (const Row& row : rows) {
        printRow(row);
        if (row.differing != 0) status = kStatusFatal;
      }
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: march_bench [--repetitions N] [--size WxH] [--pass primary|path] "
                         "[--png DIR]\n");
    return kStatusFatal;
  }
  if (!glfwInit()) return kStatusFatal;
  auto* window = new LegacyWindow();
  if (!window->open(options.width, options.height, /*visible=*/false) || !loadGlEntryPoints()) {
    std::fprintf(stderr, "no GL context\n");
    return kStatusFatal;
  }
  glViewport(0, 0, options.width, options.height);
  std::filesystem::current_path(XMASTRACE_RUN_DIR);
  std::printf("march side by side on %s, %dx%d, %d repetitions\n",
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)), options.width,
              options.height, options.repetitions);
  const int status = run(options);
  glfwTerminate();
  return status;
}
