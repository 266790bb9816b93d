// OctreeScene::loadObj: the scene's OBJ reader. The scene class itself lives
// with the scene code; only its loader is here, next to the line scanner.
// Reads through POSIX calls: the program only runs on X11 systems.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "InputFile.h"
#include "geometry/ObjLineScanner.h"
#include "scene/OctreeScene.h"

namespace {

// The bytes of a whole file: mapped, which costs no copy, or read when it
// cannot be (files under /proc report no size).
class FileText {
 public:
  FileText() = default;
  FileText(const FileText&) = delete;
  FileText& operator=(const FileText&) = delete;
  ~FileText() {
    if (mapping_) munmap(mapping_, size_);
    if (fd_ >= 0) close(fd_);
  }

  // False when there is no regular file of that name or it cannot be read.
  bool open(const std::string& file_name) {
    fd_ = openRegularFile(file_name);
    if (fd_ < 0) return false;
    struct stat info;
    if (fstat(fd_, &info) == 0 && info.st_size > 0) {
      void* mapping = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd_, 0);
      if (mapping != MAP_FAILED) {
        mapping_ = mapping;
        size_ = static_cast<size_t>(info.st_size);
        data_ = static_cast<const char*>(mapping);
        madvise(mapping_, size_, MADV_SEQUENTIAL);
        return true;
      }
    }
    return readAll();
  }

  const char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  bool readAll() {
    char chunk[1 << 16];
    for (;;) {
      const ssize_t got = read(fd_, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;
      try {
        copy_.append(chunk, static_cast<size_t>(got));
      } catch (const std::bad_alloc&) {
        return false;
      } catch (const std::length_error&) {
        return false;
      }
    }
    data_ = copy_.data();
    size_ = copy_.size();
    return true;
  }

  int fd_ = -1;
  void* mapping_ = nullptr;
  const char* data_ = nullptr;
  size_t size_ = 0;
  std::string copy_;
};

// Lines that start with 'v' or 'f': every position or face the file can add
// is among them, so reserving that many lets the lists grow only once.
struct LineStarts {
  size_t v = 0;
  size_t f = 0;
};

// One branch-free pass over byte pairs, which the compiler vectorises: a
// search for each newline costs a call per line, as much as reading it.
LineStarts countLineStarts(const char* p, const char* end) {
  LineStarts starts;
  const size_t size = static_cast<size_t>(end - p);
  if (size == 0) return starts;
  starts.v = p[0] == 'v';
  starts.f = p[0] == 'f';
  constexpr size_t kBlock = 1 << 16;  // counts of one block fit 32 bits
  for (size_t block = 0; block + 1 < size; block += kBlock) {
    const size_t stop = std::min(size - 1, block + kBlock);
    uint32_t v = 0;
    uint32_t f = 0;
    for (size_t i = block; i < stop; ++i) {
      const uint32_t newline = p[i] == '\n';
      v += newline & static_cast<uint32_t>(p[i + 1] == 'v');
      f += newline & static_cast<uint32_t>(p[i + 1] == 'f');
    }
    starts.v += v;
    starts.f += f;
  }
  return starts;
}

// Asks for transparent huge pages under the reserved, still unused part of
// a list: the faces of a big file are tens of megabytes of fresh memory, and
// faulting that in 4 KiB at a time costs about a tenth of the parsing. Only
// whole 2 MiB pages inside the list's own storage are advised.
template <typename T>
void preferHugePages(const std::vector<T>& list) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const uintptr_t unused = reinterpret_cast<uintptr_t>(list.data() + list.size());
  const uintptr_t stop = reinterpret_cast<uintptr_t>(list.data() + list.capacity());
  const uintptr_t first = (unused + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = stop & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Hands every line to on_line(begin, end), each whole whatever its length,
// the last one too when no newline ends it. A carriage return before the
// newline is not part of the line, and a NUL ends the line's text, as it
// would for the C string functions. Stops at the first status other than
// kStatusOk and returns it.
template <typename OnLine>
int forEachLine(const char* p, const char* end, OnLine on_line) {
  const bool has_nul = std::memchr(p, '\0', static_cast<size_t>(end - p)) != nullptr;
  while (p != end) {
    const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* line_end = newline ? newline : end;
    const char* next = newline ? newline + 1 : end;
    if (has_nul) {
      const char* nul = static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(line_end - p)));
      if (nul) line_end = nul;
    }
    if (line_end != p && line_end[-1] == '\r') --line_end;
    const int status = on_line(p, line_end);
    if (status != kStatusOk) return status;
    p = next;
  }
  return kStatusOk;
}

// A face that can only be finished once the whole file is read: it names
// positions defined after it, or file normals that might yet come.
struct PendingFace {
  size_t face;
  uint64_t line;
  // Written with bare vertex indices: no normal indices, so the face normal.
  bool plain;
};

// One call's working state; it never outlives loadObj.
struct ObjReader {
  OctreeScene& scene;
  const std::string& file_name;
  bool smooth_normals;
  uint8_t tag;
  size_t vertex_base;
  size_t face_base;
  std::vector<Vector3> normals;
  std::vector<PendingFace> pending;
  uint64_t line_number = 0;

  int64_t fileVertexCount() const { return static_cast<int64_t>(scene.positions.size() - vertex_base); }

  int reportBadIndex(uint64_t line) const {
    std::cout << "ERROR: face index out of range in OBJLoader (" << file_name << ", line " << line << ")\n"
              << std::flush;
    return kStatusMalformed;
  }

  int readLine(const char* begin, const char* end) {
    switch (classifyObjLine(begin, end, smooth_normals)) {
      case ObjLineKind::kVertex: {
        Vector3 position;
        if (scanVertexLine(begin, end, position) < 3) return reportBadVertex();
        scene.positions.push_back(position);
        return kStatusOk;
      }
      case ObjLineKind::kNormal: {
        Vector3 normal;
        if (scanNormalLine(begin, end, normal) < 3) return reportBadVertex();
        normals.push_back(normal);
        return kStatusOk;
      }
      case ObjLineKind::kFace:
        return readFace(scanFaceLine(begin, end));
      case ObjLineKind::kIgnored:
        break;
    }
    return kStatusOk;
  }

  static int reportBadVertex() {
    std::cout << "ERROR: vertex not in wanted format in OBJLoader\n" << std::flush;
    return kStatusMalformed;
  }

  // Negative indices count back from the last element read so far (-1 is
  // the last one). Returns the one-based index, or 0 when it names nothing.
  static int64_t resolveIndex(int32_t index, int64_t count_so_far) {
    if (index > 0) return index;
    if (index == 0) return 0;
    const int64_t resolved = count_so_far + index + 1;
    return resolved > 0 ? resolved : 0;
  }

  int readFace(const ObjFaceLine& line) {
    if (line.form == 0) {
      std::cout << "ERROR: I don't know the format of that FaceMtl\n" << std::flush;
      return kStatusMalformed;
    }
    MeshFace face;
    bool forward_reference = false;
    const int64_t vertex_count = fileVertexCount();
    for (int k = 0; k < 3; ++k) {
      const int64_t index = resolveIndex(line.vertex[k], vertex_count);
      if (index == 0 || static_cast<int64_t>(vertex_base) + index > std::numeric_limits<int32_t>::max()) {
        return reportBadIndex(line_number);
      }
      forward_reference |= index > vertex_count;
      face.vertex_index[k] = static_cast<int32_t>(static_cast<int64_t>(vertex_base) + index);
      face.texcoord_index[k] = line.texcoord[k];
      face.normal_index[k] = line.normal[k];
    }
    face.material = scene.object_count;
    face.tag = tag;
    const bool plain = line.form == 4;
    if (forward_reference || !finishNow(face, line, plain)) {
      pending.push_back({scene.faces.size(), line_number, plain});
    }
    scene.faces.push_back(face);
    return kStatusOk;
  }

  // Gives the face its normals when that can be decided already: the file
  // normal list only grows, so one that is not empty now is not empty at
  // the end either. Normal indices are resolved in any case; only smooth
  // loading uses them, and whether they are sound waits for the end.
  bool finishNow(MeshFace& face, const ObjFaceLine& line, bool plain) {
    if (!smooth_normals || plain) {
      setFaceNormal(face);
      return true;
    }
    const int64_t normal_count = static_cast<int64_t>(normals.size());
    bool all_known = normal_count > 0;
    for (int k = 0; k < 3; ++k) {
      const int64_t index = resolveIndex(line.normal[k], normal_count);
      face.normal_index[k] = index > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int32_t>(index);
      all_known &= face.normal_index[k] != 0 && index <= normal_count;
    }
    if (all_known) setFileNormals(face);
    return all_known;
  }

  // Every index must name something now that the file is read; the faces
  // that waited for that get their normals.
  int finishPendingFaces() {
    const int64_t last_vertex = static_cast<int64_t>(scene.positions.size());
    const int64_t normal_count = static_cast<int64_t>(normals.size());
    const bool use_file_normals = smooth_normals && normal_count > 0;
    for (const PendingFace& entry : pending) {
      MeshFace& face = scene.faces[entry.face];
      const bool file_normals = use_file_normals && !entry.plain;
      for (int k = 0; k < 3; ++k) {
        if (face.vertex_index[k] > last_vertex) return reportBadIndex(entry.line);
        if (file_normals && (face.normal_index[k] < 1 || face.normal_index[k] > normal_count)) {
          return reportBadIndex(entry.line);
        }
      }
      if (file_normals) {
        setFileNormals(face);
      } else {
        setFaceNormal(face);
      }
    }
    return kStatusOk;
  }

  void setFileNormals(MeshFace& face) const {
    for (int k = 0; k < 3; ++k) face.normal[k] = normals[static_cast<size_t>(face.normal_index[k] - 1)];
  }

  void setFaceNormal(MeshFace& face) const {
    const Vector3 n = faceNormal(face);
    face.normal[0] = face.normal[1] = face.normal[2] = n;
  }

  // (P0 - P1) x (P0 - P2): counter-clockwise corners face it; its length is
  // twice the area. Left unnormalised on purpose.
  Vector3 faceNormal(const MeshFace& face) const {
    const Vector3& p0 = scene.positions[static_cast<size_t>(face.vertex_index[0] - 1)];
    const Vector3& p1 = scene.positions[static_cast<size_t>(face.vertex_index[1] - 1)];
    const Vector3& p2 = scene.positions[static_cast<size_t>(face.vertex_index[2] - 1)];
    return crossProduct(subtract(p0, p1), subtract(p0, p2));
  }
};

}  // namespace

namespace {

// Parses the whole text into the scene's lists; the lists grow only once,
// to what the file's lines can add.
int readObjText(OctreeScene& scene, const char* begin, const char* end, const std::string& file_name,
                bool smooth_normals, uint8_t tag) {
  const LineStarts starts = countLineStarts(begin, end);
  scene.positions.reserve(scene.positions.size() + starts.v);
  scene.faces.reserve(scene.faces.size() + starts.f);
  preferHugePages(scene.positions);
  preferHugePages(scene.faces);
  ObjReader reader{scene, file_name, smooth_normals, tag, scene.positions.size(), scene.faces.size(), {}, {}};
  const int status = forEachLine(begin, end, [&reader](const char* line, const char* line_end) {
    ++reader.line_number;
    return reader.readLine(line, line_end);
  });
  return status == kStatusOk ? reader.finishPendingFaces() : status;
}

void reportFileNotGood(const std::string& file_name) {
  std::cout << "ERROR: loading obj:(" << file_name << ") file is not good\n" << std::flush;
}

}  // namespace

int OctreeScene::loadObj(const std::string& file_name, bool smooth_normals, uint8_t tag) {
  FileText text;
  if (!text.open(file_name)) {
    reportFileNotGood(file_name);
    return kStatusOk;
  }
  const size_t vertex_base = positions.size();
  const size_t face_base = faces.size();
  int status = kStatusOk;
  bool held = true;
  try {
    status = readObjText(*this, text.data(), text.data() + text.size(), file_name, smooth_normals, tag);
  } catch (const std::bad_alloc&) {
    held = false;
  } catch (const std::length_error&) {
    held = false;
  }
  if (!held || status != kStatusOk) {
    // Leave the scene as it was before the call, reserved memory included.
    positions.resize(vertex_base);
    faces.resize(face_base);
    positions.shrink_to_fit();
    faces.shrink_to_fit();
  }
  // A file with more than memory holds is one the demo cannot use, like a
  // missing one.
  if (!held) {
    reportFileNotGood(file_name);
    return kStatusOk;
  }
  if (status != kStatusOk) return status;
  ++object_count;
  return kStatusOk;
}
