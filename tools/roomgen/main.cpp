// roomgen <output directory>: writes the room's fifteen OBJ files there.
// roomgen --text TEXT <output directory>: writes only qm.obj, the letters of
// a personal greeting saying TEXT; a text the wall cannot show writes nothing.
#include <cstdio>
#include <cstring>
#include <fstream>
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
    if (!room::parseGreeting(argv[2], greeting, error)) {
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
