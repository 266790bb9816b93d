// OBJ loading speed: the hand-written scanner against the getline-and-sscanf
// loader it must agree with, on one generated file of about 59 MB.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

#include "../tests/geometry/ObjScanfOracle.h"
#include "ExitStatus.h"
#include "scene/OctreeScene.h"

namespace {

// A mesh-like file: positions and normals with six decimals, faces in the
// three index forms the room files use.
std::string generateObj() {
  const std::string path = (std::filesystem::temp_directory_path() / "xmastrace_obj_loader_bench.obj").string();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return "";
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  const int blocks = 1300;
  const int per_block = 300;
  int vertices = 0;
  for (int block = 0; block < blocks; ++block) {
    for (int i = 0; i < per_block; ++i) {
      std::fprintf(out, "v %.6f %.6f %.6f\n", coordinate(rng), coordinate(rng), coordinate(rng));
      std::fprintf(out, "vn %.6f %.6f %.6f\n", unit(rng), unit(rng), unit(rng));
    }
    vertices += per_block;
    for (int i = 0; i < 2 * per_block; ++i) {
      const int a = vertices - per_block + 1 + static_cast<int>(rng() % per_block);
      const int b = vertices - per_block + 1 + static_cast<int>(rng() % per_block);
      const int c = vertices - per_block + 1 + static_cast<int>(rng() % per_block);
      switch (i % 3) {
        case 0: std::fprintf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c); break;
        case 1: std::fprintf(out, "f %d//%d %d//%d %d//%d\n", a, a, b, b, c, c); break;
        default: std::fprintf(out, "f %d %d %d\n", a, b, c); break;
      }
    }
  }
  std::fclose(out);
  return path;
}

const std::string& objFile() {
  static const std::string path = generateObj();
  return path;
}

double fileMegabytes() { return static_cast<double>(std::filesystem::file_size(objFile())) / 1e6; }

// The build machines are shared, so the wall clock also counts other
// people's work; this thread's CPU time (page faults included) does not.
double threadCpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Timing {
  double cpu = 0.0;
  double wall = 0.0;
};

template <typename Load>
void timeLoad(Timing& timing, Load load) {
  const double cpu_start = threadCpuSeconds();
  const auto wall_start = std::chrono::steady_clock::now();
  load();
  timing.cpu += threadCpuSeconds() - cpu_start;
  timing.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
}

double loaderCpuRate = 0.0;

// Rates in MB/s, also kept for the row below.
double setRates(benchmark::State& state, const Timing& timing) {
  const double megabytes = fileMegabytes() * static_cast<double>(state.iterations());
  state.counters["file_MB"] = fileMegabytes();
  state.counters["cpu_MB/s"] = megabytes / timing.cpu;
  state.counters["wall_MB/s"] = megabytes / timing.wall;
  return megabytes / timing.cpu;
}

void BM_LoadObj(benchmark::State& state) {
  if (objFile().empty()) {
    state.SkipWithError("cannot write the generated OBJ file");
    return;
  }
  Timing timing;
  for (auto _ : state) {
    OctreeScene scene;
    int status = kStatusOk;
    timeLoad(timing, [&] { status = scene.loadObj(objFile(), true, 0); });
    if (status != kStatusOk) state.SkipWithError("loader refused the generated file");
    benchmark::DoNotOptimize(scene.faces.data());
  }
  loaderCpuRate = setRates(state, timing);
}

// The baseline, with the loader's rate beside it.
void BM_LoadObjScanfOracle(benchmark::State& state) {
  Timing timing;
  for (auto _ : state) {
    oracle::LoadResult result;
    bool ok = false;
    timeLoad(timing, [&] { ok = oracle::loadObj(objFile(), true, 0, 0, result); });
    if (!ok) state.SkipWithError("oracle refused the generated file");
    benchmark::DoNotOptimize(result.faces.data());
  }
  const double oracleCpuRate = setRates(state, timing);
  state.counters["loader_cpu_MB/s"] = loaderCpuRate;
  state.counters["speedup"] = loaderCpuRate / oracleCpuRate;
}

}  // namespace

// Fixed iteration counts keep the run to a few seconds even on slow machines.
BENCHMARK(BM_LoadObj)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadObjScanfOracle)->Iterations(2)->Unit(benchmark::kMillisecond);
