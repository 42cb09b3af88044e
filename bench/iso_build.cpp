// Builds ISO 9660/Joliet images of three generated trees with this SDK and
// with genisoimage and xorriso, and prints wall time, peak memory and ratios.
//
//   iso_build [WORK_DIR [TREE [ROUNDS]]]   (default /tmp/starburn-iso-bench, every
//                                           tree, 3 rounds)
//
// Trees (made once, kept in WORK_DIR/trees): 120 large sparse files of about
// 1 GiB together; 50,000 files of 0.2-8 KB in 500 folders; 20,000 files in
// one folder; a million files in 10,000 folders. Writers take turns in child
// processes after a warm-up round and the medians count; peak memory is the
// child's maximum resident set. This SDK runs as the library drives it: a Joliet tree beside
// ISO 9660 level 1 names, entries added through StarBurn_ISO9660JolietFileTree_Add,
// the image streamed to a file. "sdk, dense" writes every block the stream
// gives; "sdk" saves through StarBurn_ISO9660JolietFileTree_SaveImage, which
// leaves zero blocks as holes.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchTrees.h"
#include "common/BlockIo.h"
#include "common/Object.h"
#include "starburn/StarBurn.h"

namespace {

using bench::Exec;
using bench::TreeShape;

// Adds a folder's entries under parent, as the library walks a container.
bool AddFolder(void* tree, void* parent, const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  std::vector<std::pair<std::string, bool>> entries;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == ".complete") continue;
    entries.emplace_back(name, entry->d_type == DT_DIR);
  }
  ::closedir(dir);
  char error[STARBURN_ERROR_TEXT_SIZE];
  uint32_t systemError = 0;
  for (const auto& [name, isDirectory] : entries) {
    std::string path = folder;
    path += "/" + name;
    void* node = nullptr;
    const StarBurnStatus status = StarBurn_ISO9660JolietFileTree_Add(
        tree, error, sizeof error, &systemError, isDirectory ? nullptr : path.c_str(), name.c_str(),
        isDirectory ? STARBURN_ADD_DIRECTORY : STARBURN_ADD_FILE, &parent, &node);
    if (status != STARBURN_OK) {
      std::fprintf(stderr, "add %s: %s\n", path.c_str(), error);
      return false;
    }
    if (isDirectory && !AddFolder(tree, node, path)) return false;
  }
  return true;
}

int BuildWithSdk(const std::string& source, const std::string& output, bool dense) {
  char error[STARBURN_ERROR_TEXT_SIZE];
  uint32_t systemError = 0;
  void* tree = nullptr;
  if (StarBurn_ISO9660JolietFileTree_Create(&tree, error, sizeof error, &systemError, nullptr,
                                            nullptr, 1, 0, 0, 1) != STARBURN_OK) {
    return 1;
  }
  void* root = StarBurn_ISO9660JolietFileTree_GetRoot(tree);
  if (!AddFolder(tree, root, source)) return 1;
  if (StarBurn_ISO9660JolietFileTree_BuildImage(tree, error, sizeof error, &systemError, 0, 0, 1,
                                                "BENCH", "Publisher",
                                                "Application") != STARBURN_OK) {
    std::fprintf(stderr, "build: %s\n", error);
    return 1;
  }
  if (!dense) {
    const StarBurnStatus status = StarBurn_ISO9660JolietFileTree_SaveImage(
        tree, error, sizeof error, &systemError, output.c_str(), 0);
    if (status != STARBURN_OK) std::fprintf(stderr, "save: %s\n", error);
    return status == STARBURN_OK ? 0 : 1;
  }
  // Every block, as a drive receives it.
  auto* provider = starburn::HandleTable::Instance().Find<starburn::ImageProvider>(tree);
  std::unique_ptr<starburn::BlockSource> stream;
  std::string message;
  if (provider == nullptr || provider->OpenImage(&stream, &message) != STARBURN_OK) return 1;
  const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  constexpr uint32_t kChunk = 256;
  std::vector<uint8_t> buffer(std::size_t{kChunk} * starburn::kBlockSize);
  for (uint64_t done = 0; done < stream->BlockCount();) {
    const auto blocks =
        static_cast<uint32_t>(std::min<uint64_t>(kChunk, stream->BlockCount() - done));
    if (stream->Pull(buffer.data(), blocks, &message) != STARBURN_OK) return 1;
    const std::size_t bytes = std::size_t{blocks} * starburn::kBlockSize;
    if (::write(fd, buffer.data(), bytes) != static_cast<ssize_t>(bytes)) return 1;
    done += blocks;
  }
  ::close(fd);
  StarBurn_Destroy(&tree);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string work = argc > 1 ? argv[1] : "/tmp/starburn-iso-bench";
  std::system(("mkdir -p '" + work + "/trees'").c_str());
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  bench::PrintHeading();
  for (const TreeShape& shape : bench::kTrees) {
    if (argc > 2 && std::strcmp(argv[2], shape.name) != 0) continue;
    const std::string source = work + "/trees/" + shape.name;
    bench::MakeTree(source, shape);
    const std::string output = work + "/" + shape.name + ".iso";
    const std::vector<bench::Writer> writers = {
        {"sdk", [&] { return BuildWithSdk(source, output, false); }},
        {"sdk, dense", [&] { return BuildWithSdk(source, output, true); }},
        {"genisoimage -J -r",
         [&] {
           return Exec({"genisoimage", "-quiet", "-J", "-r", "-o", output, source});
         }},
        {"xorriso -as mkisofs",
         [&] {
           return Exec({"xorriso", "-as", "mkisofs", "-quiet", "-J", "-r", "-o", output, source});
         }},
    };
    const uint64_t files = uint64_t(shape.folders) * uint64_t(shape.filesPerFolder);
    bench::RunWriters(shape.name, files, writers, rounds);
    std::remove(output.c_str());
  }
  return 0;
}
