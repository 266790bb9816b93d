// Writes the room's OBJ files into the directory named by the one argument.
#include <cstdio>
#include <fstream>
#include <string>

#include "Room.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: roomgen <output directory>\n");
    return 2;
  }
  const std::string directory = argv[1];
  size_t total = 0;
  for (const RoomFile& file : buildRoom()) {
    const std::string path = directory + "/" + file.name;
    // Binary mode: the bytes must not depend on the platform's line endings.
    std::ofstream out(path, std::ios::binary);
    out << objText(file.mesh, file.description);
    out.close();
    if (!out) {
      std::fprintf(stderr, "roomgen: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%-16s %6zu triangles\n", file.name.c_str(), file.mesh.triangles.size());
    total += file.mesh.triangles.size();
  }
  std::printf("%-16s %6zu triangles\n", "total", total);
  return 0;
}
