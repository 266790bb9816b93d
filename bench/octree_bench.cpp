// Octree build time of the real build and of the plain one side by side, on
// the room (or a generated stand-in while its files are missing) and on a
// generated scene of 300,000 triangles; and the room's whole scene start-up
// on the CPU (load, scale, pack, build).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "../tests/scene/OctreeOracle.h"
#include "../tests/scene/SceneGenerators.h"
#include "ExitStatus.h"

namespace {

std::vector<SceneObject> roomObjectsInRunDir() {
  std::vector<SceneObject> objects = roomObjects();
  for (SceneObject& object : objects)
    object.file_name = std::string(XMASTRACE_RUN_DIR) + "/" + object.file_name;
  return objects;
}

bool roomPresent() {
  for (const SceneObject& object : roomObjectsInRunDir())
    if (!std::filesystem::exists(object.file_name)) return false;
  return true;
}

// The statistics lines would drown the report.
class SilencedOutput {
 public:
  SilencedOutput() : saved(std::cout.rdbuf(sink.rdbuf())) {}
  ~SilencedOutput() { std::cout.rdbuf(saved); }

 private:
  std::ostringstream sink;
  std::streambuf* saved;
};

std::vector<Triangle> packedRoom() {
  auto scene = std::make_unique<OctreeScene>();
  scene->allocateArrays();
  SilencedOutput silence;
  scene->loadObjects(roomObjectsInRunDir());
  scene->normalizeScene();
  scene->packTriangles();
  std::vector<Triangle> triangles;
  for (uint32_t first = 0; first < scene->triangle_cursor; first += 3) {
    const Vector3* p = &scene->triangle_positions[first];
    triangles.push_back({p[0], p[1], p[2]});
  }
  return triangles;
}

enum class Scene { Room, Large };

const std::vector<Triangle>& sceneTriangles(Scene which) {
  static const std::vector<Triangle> room = roomPresent() ? packedRoom() : roomStandIn();
  static const std::vector<Triangle> large = randomTriangles(300000, 3, 16.0f);
  return which == Scene::Room ? room : large;
}

std::string sceneLabel(Scene which) {
  if (which == Scene::Large) return "generated";
  return roomPresent() ? "room files" : "generated room stand-in";
}

void buildWith(benchmark::State& state, Scene which, int (*build)(OctreeScene&)) {
  const std::vector<Triangle>& triangles = sceneTriangles(which);
  auto scene = std::make_unique<OctreeScene>();
  for (auto _ : state) {
    state.PauseTiming();
    setTriangles(*scene, triangles);  // fresh arrays and cursors
    state.ResumeTiming();
    SilencedOutput silence;
    if (build(*scene) != kStatusOk) state.SkipWithError("octree build failed");
  }
  state.SetLabel(sceneLabel(which));
  state.counters["triangles"] = double(triangles.size());
  state.counters["nodes"] = scene->nodes_created;
}

int realBuild(OctreeScene& scene) { return scene.buildOctree(); }

void BM_OctreeBuild(benchmark::State& state, Scene which) { buildWith(state, which, realBuild); }

void BM_OctreeBuildPlain(benchmark::State& state, Scene which) {
  buildWith(state, which, oracleBuildOctree);
}

void BM_RoomStartup(benchmark::State& state) {
  if (!roomPresent()) {
    state.SkipWithError("room files missing");
    return;
  }
  const std::vector<SceneObject> objects = roomObjectsInRunDir();
  for (auto _ : state) {
    auto scene = std::make_unique<OctreeScene>();
    SilencedOutput silence;
    if (scene->assembleScene(objects, false) != kStatusOk) state.SkipWithError("scene failed");
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_OctreeBuild, room, Scene::Room)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OctreeBuildPlain, room, Scene::Room)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OctreeBuild, large, Scene::Large)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OctreeBuildPlain, large, Scene::Large)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoomStartup)->Unit(benchmark::kMillisecond);
