#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "geometry/ObjScanfOracle.h"
#include "scene/OctreeScene.h"

namespace {

// A folder of the process's own, removed at its end: test runs of other
// builds share the machine's /tmp.
const std::filesystem::path& scratchFolder() {
  static const struct Scratch {
    std::filesystem::path path;
    Scratch() {
      std::string pattern = testing::TempDir() + "obj_loader_test_XXXXXX";
      if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~Scratch() {
      if (!path.empty()) std::filesystem::remove_all(path);
    }
  } scratch;
  return scratch.path;
}

std::string writeFile(const std::string& name, const std::string& text) {
  const std::string path = (scratchFolder() / name).string();
  std::ofstream out(path, std::ios::binary);
  out << text;
  return path;
}

struct Load {
  int status;
  std::string output;
};

Load load(OctreeScene& scene, const std::string& path, bool smooth = false, uint8_t tag = 0) {
  testing::internal::CaptureStdout();
  const int status = scene.loadObj(path, smooth, tag);
  return {status, testing::internal::GetCapturedStdout()};
}

Load loadText(OctreeScene& scene, const std::string& text, bool smooth = false, uint8_t tag = 0) {
  return load(scene, writeFile(testing::UnitTest::GetInstance()->current_test_info()->name(), text), smooth, tag);
}

void expectVector(const Vector3& expected, const Vector3& actual, const char* what) {
  EXPECT_EQ(expected.x, actual.x) << what;
  EXPECT_EQ(expected.y, actual.y) << what;
  EXPECT_EQ(expected.z, actual.z) << what;
}

std::vector<int32_t> vertexIndices(const MeshFace& face) {
  return {face.vertex_index[0], face.vertex_index[1], face.vertex_index[2]};
}

const char* const kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
const char* const kVertexMessage = "ERROR: vertex not in wanted format in OBJLoader\n";
const char* const kFaceMessage = "ERROR: I don't know the format of that FaceMtl\n";

}  // namespace

TEST(ObjLoader, FirstFileGivesFaceNormalAndMaterialZero) {
  OctreeScene scene;
  const Load result = loadText(scene, kTriangle, false, 7);
  EXPECT_EQ(kStatusOk, result.status);
  EXPECT_EQ("", result.output);
  ASSERT_EQ(3u, scene.positions.size());
  ASSERT_EQ(1u, scene.faces.size());
  const MeshFace& face = scene.faces[0];
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), vertexIndices(face));
  for (const Vector3& n : face.normal) expectVector({0, 0, 1}, n, "counter-clockwise seen from +z");
  EXPECT_EQ(0, face.material);
  EXPECT_EQ(7, face.tag);
  EXPECT_EQ(1, scene.object_count);
}

TEST(ObjLoader, LaterFilesOffsetIndicesAndMaterials) {
  OctreeScene scene;
  loadText(scene, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nv 1 1 0\nv 1 0 1\nv 0 1 1\nv 1 1 1\n");
  const Load second = loadText(scene, kTriangle);
  EXPECT_EQ(kStatusOk, second.status);
  ASSERT_EQ(1u, scene.faces.size());
  EXPECT_EQ((std::vector<int32_t>{9, 10, 11}), vertexIndices(scene.faces[0]));
  EXPECT_EQ(1, scene.faces[0].material);
  EXPECT_EQ(2, scene.object_count);
  EXPECT_EQ(11u, scene.positions.size());
}

// The normal is the unnormalised (P0 - P1) x (P0 - P2): its length is twice
// the area, and it flips with the winding.
TEST(ObjLoader, FaceNormalFollowsWindingAndArea) {
  OctreeScene scene;
  loadText(scene, "v 0 0 0\nv 0 0 3\nv 0 2 0\nf 1 2 3\nf 1 3 2\n");
  ASSERT_EQ(2u, scene.faces.size());
  expectVector({-6, 0, 0}, scene.faces[0].normal[2], "clockwise from +x");
  expectVector({6, 0, 0}, scene.faces[1].normal[0], "reversed winding");
}

TEST(ObjLoader, FaceFormsAndPolygons) {
  OctreeScene scene;
  const Load result = loadText(scene,
                               "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                               "f 1/4/7 2/5/8 3/6/9\nf 1/7 2/8 3/9\nf 1//7 2//8 3//9\nf 1 2 3 4\n");
  EXPECT_EQ(kStatusOk, result.status);
  ASSERT_EQ(4u, scene.faces.size());
  const MeshFace& full = scene.faces[0];
  EXPECT_EQ((std::vector<int32_t>{4, 5, 6}),
            (std::vector<int32_t>{full.texcoord_index[0], full.texcoord_index[1], full.texcoord_index[2]}));
  for (int i = 0; i < 3; ++i) {
    const MeshFace& face = scene.faces[static_cast<size_t>(i)];
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), vertexIndices(face)) << i;
    EXPECT_EQ((std::vector<int32_t>{7, 8, 9}),
              (std::vector<int32_t>{face.normal_index[0], face.normal_index[1], face.normal_index[2]}))
        << i;
  }
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), vertexIndices(scene.faces[3])) << "only the first triangle";
}

TEST(ObjLoader, MalformedLinesReturnMinusOneWithTheirMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"v 1 2\n", kVertexMessage},
      {"v 1 2 x\n", kVertexMessage},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/2/3 4/5/6 7/8\n", kFaceMessage},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\n", kFaceMessage},
  };
  for (const auto& [text, message] : cases) {
    OctreeScene scene;
    const Load result = loadText(scene, text);
    EXPECT_EQ(kStatusMalformed, result.status) << text;
    EXPECT_EQ(message, result.output) << text;
    EXPECT_EQ(0, scene.object_count) << text;
    EXPECT_TRUE(scene.positions.empty() && scene.faces.empty()) << "a refused file leaves nothing behind";
  }
  // vn lines are only parsed when their normals are wanted.
  OctreeScene smooth;
  EXPECT_EQ(kVertexMessage, loadText(smooth, "vn 0 1\n", true).output);
  OctreeScene flat;
  EXPECT_EQ(kStatusOk, loadText(flat, "vn 0 1\n", false).status);
}

TEST(ObjLoader, MissingFileReportsAndChangesNothing) {
  OctreeScene scene;
  loadText(scene, kTriangle);
  const std::string missing = testing::TempDir() + "no_such_file.obj";
  const Load result = load(scene, missing);
  EXPECT_EQ(kStatusOk, result.status);
  EXPECT_EQ("ERROR: loading obj:(" + missing + ") file is not good\n", result.output);
  EXPECT_EQ(1, scene.object_count);
  EXPECT_EQ(3u, scene.positions.size());
  // A directory opens but cannot be read: the same report.
  EXPECT_EQ("ERROR: loading obj:(" + testing::TempDir() + ") file is not good\n",
            load(scene, testing::TempDir()).output);
  EXPECT_EQ(1, scene.object_count);
}

TEST(ObjLoader, SmoothNormalsComeFromTheFile) {
  OctreeScene scene;
  const std::string text = "v 0 0 0\nv 0 1 0\nv 1 0 0\nvn 0 0 1\nvn 0 2 0\nf 1//1 2//1 3//2\n";
  EXPECT_EQ(kStatusOk, loadText(scene, text, true).status);
  const MeshFace& face = scene.faces[0];
  expectVector({0, 0, 1}, face.normal[0], "file normal despite clockwise winding");
  expectVector({0, 0, 1}, face.normal[1], "corner 1");
  expectVector({0, 2, 0}, face.normal[2], "not normalised");

  OctreeScene flat;
  loadText(flat, text, false);
  expectVector({0, 0, -1}, flat.faces[0].normal[0], "vn ignored: face normal");

  // Normals are assigned once the file is read: vn lines after the faces,
  // and indices naming normals still to come, count.
  OctreeScene later;
  const Load result = loadText(later, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1//1 2//1 3//1\nvn 5 0 0\nf 1//1 2//2 3//1\nvn 0 5 0\n", true);
  EXPECT_EQ(kStatusOk, result.status) << result.output;
  ASSERT_EQ(2u, later.faces.size());
  expectVector({5, 0, 0}, later.faces[0].normal[2], "normal read after the face");
  expectVector({0, 5, 0}, later.faces[1].normal[1], "index of a later normal");
}

TEST(ObjLoader, SmoothFacesWithoutFileNormalsGetTheFaceNormal) {
  OctreeScene scene;
  EXPECT_EQ(kStatusOk, loadText(scene, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1//5 2//5 3//5\n", true).status);
  expectVector({0, 0, 1}, scene.faces[0].normal[1], "no vn lines");

  // Plain faces beside faces with normal indices: the plain ones carry no
  // normal indices and get their face normal.
  OctreeScene mixed;
  const Load result = loadText(mixed, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 1 0 0\nf 1//1 2//1 3//1\nf 1 2 3\n", true);
  EXPECT_EQ(kStatusOk, result.status);
  expectVector({1, 0, 0}, mixed.faces[0].normal[0], "from the file");
  expectVector({0, 0, 1}, mixed.faces[1].normal[0], "plain face");
}

TEST(ObjLoader, IgnoredLines) {
  OctreeScene scene;
  const Load result = loadText(scene,
                               "# v 9 9\nvt 0 0\n v 1 2\nv\t1 2\nf\t1 2\ng group\no obj\ns off\nusemtl x\n"
                               "mtllib y\n\n" + std::string(kTriangle));
  EXPECT_EQ(kStatusOk, result.status);
  EXPECT_EQ(3u, scene.positions.size());
  EXPECT_EQ(1u, scene.faces.size());
}

TEST(ObjLoader, LineEndingsAndLongLines) {
  OctreeScene scene;
  const std::string crlf = "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1/1/1 2/2/2 3/3/3\r\n";
  EXPECT_EQ(kStatusOk, loadText(scene, crlf).status);
  ASSERT_EQ(1u, scene.faces.size());

  // The last line counts without a newline; so do lines of any length.
  OctreeScene unterminated;
  const std::string padded = "v 0 0 0\nv 1 0 0\nv 0 1 0" + std::string(300, ' ') + "\n# " +
                             std::string(5000, 'x') + "\nf 1 2 3";
  EXPECT_EQ(kStatusOk, loadText(unterminated, padded).status);
  EXPECT_EQ(1u, unterminated.faces.size());
  EXPECT_EQ(3u, unterminated.positions.size());

  // Lines far longer than any read buffer, in the middle of the file.
  OctreeScene huge;
  const std::string spaced = "v 0 0 0\n#" + std::string(700000, 'c') + "\nv" + std::string(600000, ' ') +
                             "1 0 0\nv 0 1 0\nf 1 2 3\n";
  EXPECT_EQ(kStatusOk, loadText(huge, spaced).status);
  ASSERT_EQ(3u, huge.positions.size());
  EXPECT_EQ(1.0f, huge.positions[1].x);
  EXPECT_EQ(1u, huge.faces.size());

  // Control characters are white space or mismatches, never the line's end.
  OctreeScene control;
  EXPECT_EQ(kStatusOk, loadText(control, "v 0\v0 0\nv 1 0\f0\nv 0 1 0\nf 1\v2 3\n").status);
  EXPECT_EQ(1u, control.faces.size());
  OctreeScene nul;
  const std::string with_nul("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\0 3\n", 30);
  EXPECT_EQ(kFaceMessage, loadText(nul, with_nul).output) << "text after a NUL is not part of the line";
}

TEST(ObjLoader, RelativeIndicesCountBackFromTheLastVertex) {
  OctreeScene scene;
  loadText(scene, kTriangle);
  const Load result = loadText(scene, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\nv 5 5 5\nf -4 -3 -1\n");
  EXPECT_EQ(kStatusOk, result.status);
  ASSERT_EQ(3u, scene.faces.size());
  EXPECT_EQ((std::vector<int32_t>{4, 5, 6}), vertexIndices(scene.faces[1]));
  EXPECT_EQ((std::vector<int32_t>{4, 5, 7}), vertexIndices(scene.faces[2]));

  OctreeScene smooth;
  loadText(smooth, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 1 0 0\nvn 0 1 0\nf 1//-1 2//-2 3//-1\n", true);
  expectVector({0, 1, 0}, smooth.faces[0].normal[0], "-1 is the last normal so far");
  expectVector({1, 0, 0}, smooth.faces[0].normal[1], "-2");
}

TEST(ObjLoader, IndicesThatNameNothingAreRefusedWithFileAndLine) {
  const std::pair<const char*, bool> cases[] = {
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf -4 1 2\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -2147483648\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 2147483647\n", false},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//2 3//1\n", true},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//0 3//1\n", true},
      {"v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1/1 2/1 3/-2\n", true},
  };
  for (const auto& [text, smooth] : cases) {
    OctreeScene scene;
    loadText(scene, kTriangle);
    const std::string path = writeFile("bad_index.obj", text);
    const Load result = load(scene, path, smooth);
    EXPECT_EQ(kStatusMalformed, result.status) << text;
    const std::string line = smooth ? "5" : "4";
    EXPECT_EQ("ERROR: face index out of range in OBJLoader (" + path + ", line " + line + ")\n", result.output)
        << text;
    EXPECT_EQ(1u, scene.faces.size()) << "earlier files stay";
    EXPECT_EQ(3u, scene.positions.size());
    EXPECT_EQ(1, scene.object_count);
  }
  // Normal indices are only looked at when file normals are used.
  OctreeScene flat;
  EXPECT_EQ(kStatusOk, loadText(flat, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//0 2//9 3//-7\n").status);
  // Positions may be defined after the face that uses them.
  OctreeScene forward;
  EXPECT_EQ(kStatusOk, loadText(forward, "f 1 2 3\nv 0 0 0\nv 1 0 0\nv 0 1 0\n").status);
  expectVector({0, 0, 1}, forward.faces[0].normal[0], "forward reference");
}

// A generated file of valid lines, in every spelling the scanner accepts,
// loads exactly as the getline-and-sscanf loader loads it.
TEST(ObjLoader, GeneratedFileLoadsLikeTheScanfLoader) {
  std::mt19937 rng(99);
  const char* const numbers[] = {"1", "-2.5", "+3", ".5", "1e3", "-1E-2", "007", "0x1p3", "inf", "1e", "2.",
                                 "3.4028235e38", "1e-40"};
  const char* const gaps[] = {" ", "  ", "\t", " \v"};
  const auto number = [&] { return std::string(numbers[rng() % 13]); };
  const auto gap = [&] { return std::string(gaps[rng() % 4]); };
  std::string text;
  int vertices = 0;
  int normals = 0;
  for (int i = 0; i < 20000; ++i) {
    const uint32_t what = rng() % 10;
    std::string line;
    if (what < 4 || vertices < 3) {
      line = "v " + gap() + number() + gap() + number() + gap() + number() + (rng() % 4 ? "" : " 1");
      ++vertices;
    } else if (what < 5) {
      line = "vn " + gap() + number() + gap() + number() + gap() + number();
      ++normals;
    } else if (what < 9 && normals > 0) {
      const auto v = [&] { const int k = static_cast<int>(rng() % static_cast<uint32_t>(vertices));
        return std::to_string(rng() % 2 ? 1 + k : -1 - k);
      };
      const auto n = [&] { return std::to_string(1 + rng() % static_cast<uint32_t>(normals)); };
      switch (rng() % 4) {
        case 0: line = "f " + v() + "/1/" + n() + gap() + v() + "/2/" + n() + gap() + v() + "/3/" + n(); break;
        case 1: line = "f " + v() + "/" + n() + gap() + v() + "/" + n() + gap() + v() + "/" + n(); break;
        case 2: line = "f " + v() + "//" + n() + gap() + v() + "//" + n() + gap() + v() + "//" + n(); break;
        default: line = "f " + v() + gap() + v() + gap() + v() + (rng() % 3 ? "" : " " + v()); break;
      }
    } else {
      const char* const others[] = {"# comment", "vt 0.5 0.5", "v\t1 2 3", "f\t1 2 3", ""};
      line = others[rng() % 5];
    }
    text += line + (rng() % 5 ? "\n" : "\r\n");
  }
  const std::string path = writeFile("corpus.obj", text);
  for (bool smooth : {false, true}) {
    // A file before it, so that the index offset is exercised too.
    const std::string first = writeFile("first.obj", kTriangle);
    OctreeScene scene;
    load(scene, first);
    oracle::LoadResult expected;
    ASSERT_TRUE(oracle::loadObj(first, false, 0, 0, expected));
    const Load loaded = load(scene, path, smooth, 3);
    ASSERT_EQ(kStatusOk, loaded.status) << loaded.output;
    ASSERT_TRUE(oracle::loadObj(path, smooth, 3, 1, expected));
    ASSERT_EQ(expected.positions.size(), scene.positions.size());
    ASSERT_EQ(expected.faces.size(), scene.faces.size());
    for (size_t i = 0; i < scene.positions.size(); ++i) {
      ASSERT_EQ(0, std::memcmp(&expected.positions[i], &scene.positions[i], sizeof(Vector3))) << "position " << i;
    }
    for (size_t i = 0; i < scene.faces.size(); ++i) {
      const MeshFace& a = expected.faces[i];
      const MeshFace& b = scene.faces[i];
      ASSERT_EQ(vertexIndices(a), vertexIndices(b)) << "face " << i;
      ASSERT_EQ(0, std::memcmp(a.normal, b.normal, sizeof a.normal)) << "face " << i << " smooth " << smooth;
      ASSERT_EQ(0, std::memcmp(a.texcoord_index, b.texcoord_index, sizeof a.texcoord_index)) << "face " << i;
      ASSERT_EQ(a.material, b.material);
      ASSERT_EQ(a.tag, b.tag);
    }
  }
}
