// The heap that the container's public records alone take per file: one
// FileContainer::Node per file, its entry in its folder's list of children,
// its name and its source path, for source paths of a given length. What the
// library keeps beside them is container_import's and e2e_bench's to measure.
//
//   records_memory [PATH_CHARS]   the source path's length in characters
//                                 (default 53, the million-file tree's paths)

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "orlet/FileContainer.h"

namespace {

constexpr int kFiles = 1000000;
constexpr std::size_t kDefaultPathChars = 53;
constexpr std::size_t kNameRoom = 32;

}  // namespace

int main(int argc, char** argv) {
  const std::size_t pathChars =
      argc > 1 ? static_cast<std::size_t>(std::strtoul(argv[1], nullptr, 10)) : kDefaultPathChars;
  Orlet::FileContainer::Node folder;
  const std::size_t before = mallinfo2().uordblks;
  for (int i = 0; i < kFiles; ++i) {
    auto* node = new Orlet::FileContainer::Node;
    wchar_t name[kNameRoom];
    std::swprintf(name, kNameRoom, L"file%07d.dat", i);
    node->name = name;
    // Exactly as long as it must be: the least the record can hold it in.
    node->sourcePath.reserve(std::max(pathChars, node->name.size()));
    node->sourcePath.append(pathChars > node->name.size() ? pathChars - node->name.size() : 0,
                            L'd');
    node->sourcePath.append(node->name);
    node->parent = &folder;
    folder.children.push_back(node);
  }
  const std::size_t after = mallinfo2().uordblks;
  std::printf("public records of %d files, names of %zu characters, source paths of %zu:\n", kFiles,
              folder.children.back()->name.size(), folder.children.back()->sourcePath.size());
  std::printf("  sizeof(Node) %zu bytes; %.0f heap bytes per file\n",
              sizeof(Orlet::FileContainer::Node), static_cast<double>(after - before) / kFiles);
  for (Orlet::FileContainer::Node* node : folder.children) delete node;
  return 0;
}
