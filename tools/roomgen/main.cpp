// roomgen <output directory>: writes the room's fifteen OBJ files there.
// roomgen --text TEXT <output directory>: writes only qm.obj, the letters of
// a personal greeting saying TEXT; a text the wall cannot show writes nothing.
// Characters the block font has no letter for are drawn from GNU Unifont
// (XMASTRACE_UNIFONT_HEX, or the file the build found).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "room/Greeting.h"
#include "room/Room.h"

namespace {

bool writeFile(const std::string& directory, const room::RoomFile& file) {
  const std::string path = directory + "/" + file.name;
  // Binary mode: the bytes must not depend on the platform's line endings.
  std::ofstream out(path, std::ios::binary);
  out << room::objText(file.mesh, file.description);
  out.close();
  if (!out) {
    std::fprintf(stderr, "roomgen: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%-16s %6zu triangles\n", file.name.c_str(), file.mesh.triangles.size());
  return true;
}

// Without the file, texts that need none of its glyphs are still written.
room::UnifontTable loadUnifont() {
  const char* path = std::getenv("XMASTRACE_UNIFONT_HEX");
  if (path == nullptr || *path == '\0') path = XMASTRACE_UNIFONT_HEX;
  room::UnifontTable table;
  std::ifstream in(path, std::ios::binary);
  if (!in) return table;
  std::ostringstream text;
  text << in.rdbuf();
  std::string error;
  if (!table.addHexText(text.str(), error)) {
    std::fprintf(stderr, "roomgen: %s: %s; only the block font is used\n", path, error.c_str());
  }
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  const bool withText = argc == 4 && std::strcmp(argv[1], "--text") == 0;
  if (argc != 2 && !withText) {
    std::fprintf(stderr,
                 "usage: roomgen <output directory>\n"
                 "       roomgen --text TEXT <output directory>\n");
    return 2;
  }
  const std::string directory = argv[argc - 1];
  std::vector<room::RoomFile> files;
  if (withText) {
    room::Greeting greeting;
    std::string error;
    if (!room::parseGreeting(argv[2], loadUnifont(), greeting, error)) {
      std::fprintf(stderr, "roomgen: %s\n", error.c_str());
      return 1;
    }
    files.push_back(room::greetingLetters(greeting));
  } else {
    files = room::buildRoom();
  }
  size_t total = 0;
  for (const room::RoomFile& file : files) {
    if (!writeFile(directory, file)) return 1;
    total += file.mesh.triangles.size();
  }
  if (!withText) std::printf("%-16s %6zu triangles\n", "total", total);
  return 0;
}
