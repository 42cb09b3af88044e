// Builds ISO 9660/Joliet images of three generated trees with this SDK and
// with genisoimage and xorriso, and prints wall time, peak memory and ratios.
//
//   iso_build [WORK_DIR [TREE]]   (default /tmp/starburn-iso-bench, every tree)
//
// Trees (made once, kept in WORK_DIR/trees): 120 large sparse files of about
// 1 GiB together; 50,000 small files in 100 folders; 20,000 files in one
// folder. Each writer runs in a child process twice and the faster run counts
// (the first one warms the page cache); peak memory is the child's maximum
// resident set. This SDK runs as the library drives it: a Joliet tree beside
// ISO 9660 level 1 names, entries added through StarBurn_ISO9660JolietFileTree_Add,
// the image streamed to a file. "sdk, dense" writes every block the stream
// gives; "sdk" saves through StarBurn_ISO9660JolietFileTree_SaveImage, which
// leaves zero blocks as holes.

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "common/Object.h"
#include "starburn/StarBurn.h"

namespace {

struct TreeSpec {
  const char* name;
  int folders;
  int filesPerFolder;
  uint64_t fileSize;
  bool sparse;
};

// 120 × 8.5 MiB ≈ 1 GiB; 100 × 500 small files; 20,000 files in one folder.
const TreeSpec kTrees[] = {
    {"large", 1, 120, 8912896, true},
    {"small", 100, 500, 1500, false},
    {"flat", 1, 20000, 700, false},
};

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

void MakeTree(const std::string& root, const TreeSpec& spec) {
  const std::string done = root + "/.complete";
  if (Exists(done)) return;
  std::system(("rm -rf '" + root + "' && mkdir -p '" + root + "'").c_str());
  std::string content(spec.fileSize, '\0');
  for (int folder = 0; folder < spec.folders; ++folder) {
    const std::string dir = root + "/folder " + std::to_string(folder);
    ::mkdir(dir.c_str(), 0755);
    for (int file = 0; file < spec.filesPerFolder; ++file) {
      const std::string path =
          dir + "/generated file number " + std::to_string(file) + " of the tree.dat";
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) std::abort();
      if (spec.sparse) {
        if (::ftruncate(fd, static_cast<off_t>(spec.fileSize)) != 0) std::abort();
      } else {
        for (std::size_t i = 0; i < content.size(); ++i) {
          content[i] = static_cast<char>('a' + (i * 31 + static_cast<std::size_t>(file)) % 26);
        }
        if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
          std::abort();
        }
      }
      ::close(fd);
    }
  }
  const int fd = ::open(done.c_str(), O_WRONLY | O_CREAT, 0644);
  ::close(fd);
}

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

struct Measure {
  double seconds = 0;
  double peakMiB = 0;
  bool ok = false;
};

// Runs one writer in a child; answers its wall time and maximum resident set.
Measure RunChild(const std::function<int()>& body) {
  const auto begin = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, 1);
    ::dup2(quiet, 2);
    ::_exit(body());
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  Measure measure;
  measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  measure.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return measure;
}

Measure Best(const std::function<int()>& body) {
  Measure best;
  for (int run = 0; run < 2; ++run) {
    const Measure measure = RunChild(body);
    if (!measure.ok) return measure;
    if (!best.ok || measure.seconds < best.seconds) best = measure;
  }
  return best;
}

int Exec(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  return 127;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string work = argc > 1 ? argv[1] : "/tmp/starburn-iso-bench";
  std::system(("mkdir -p '" + work + "/trees'").c_str());
  std::printf("%-6s %-22s %9s %10s %12s %12s\n", "tree", "writer", "wall s", "peak MiB", "time/sdk",
              "memory/sdk");
  for (const TreeSpec& spec : kTrees) {
    if (argc > 2 && std::strcmp(argv[2], spec.name) != 0) continue;
    const std::string source = work + "/trees/" + spec.name;
    MakeTree(source, spec);
    const std::string output = work + "/" + spec.name + ".iso";
    struct Writer {
      std::string name;
      std::function<int()> body;
    };
    std::vector<Writer> writers = {
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
    Measure sdk;
    for (const Writer& writer : writers) {
      const Measure measure = Best(writer.body);
      if (writer.name == "sdk") sdk = measure;
      if (!measure.ok) {
        std::printf("%-6s %-22s %9s\n", spec.name, writer.name.c_str(), "failed");
        continue;
      }
      std::printf("%-6s %-22s %9.2f %10.1f %12.2f %12.2f\n", spec.name, writer.name.c_str(),
                  measure.seconds, measure.peakMiB, measure.seconds / sdk.seconds,
                  measure.peakMiB / sdk.peakMiB);
      std::fflush(stdout);
    }
    std::remove(output.c_str());
  }
  return 0;
}
