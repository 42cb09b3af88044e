// Imports generated folder trees into a FileContainer through the public API
// and walks the same trees with find(1), printing the ratios.
//
//   container_import [DIR]   trees under DIR (default /tmp/orlet-bench-container),
//                            generated on the first run and reused after
//
// Trees: 50,000 small files in 1,110 nested folders (10 x 10 x 10, 50 files
// in each leaf); 20,000 small files in one folder; 120 large sparse files.
// Each figure is the best of kRuns runs after one warm-up run, so both sides
// read a warm directory cache; the two sides take turns. Wall time is what a user waits; CPU time
// (user plus system, of this process for AddItem and of the find process) is what the work costs,
// and stays comparable on a machine that is busy with other work.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "orlet/MediaBurning.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 9;
constexpr int kNestedFanOut = 10;  // folders per level, three levels
constexpr int kNestedFilesPerLeaf = 50;
constexpr int kFlatFiles = 20000;
constexpr int kLargeFiles = 120;
constexpr std::uintmax_t kLargeFileSize = 3ULL << 30;  // sparse: takes no disk space

struct Tree {
  const char* name;
  fs::path path;
  int files;
};

// Wall and CPU seconds of one run.
struct Cost {
  double wall = 1e30;
  double cpu = 1e30;
};

void WriteSmallFile(const fs::path& path, int seed) {
  std::ofstream(path) << std::string(100 + seed % 3000, 'x');
}

void Generate(const Tree& nested, const Tree& flat, const Tree& large) {
  for (int a = 0; a < kNestedFanOut; ++a) {
    for (int b = 0; b < kNestedFanOut; ++b) {
      for (int c = 0; c < kNestedFanOut; ++c) {
        const fs::path leaf = nested.path / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) /
                              ("c" + std::to_string(c));
        fs::create_directories(leaf);
        for (int f = 0; f < kNestedFilesPerLeaf; ++f) {
          WriteSmallFile(leaf / ("file" + std::to_string(f) + ".txt"), a * 1000 + b * 100 + c + f);
        }
      }
    }
  }
  fs::create_directories(flat.path);
  for (int f = 0; f < kFlatFiles; ++f) WriteSmallFile(flat.path / ("f" + std::to_string(f)), f);
  fs::create_directories(large.path);
  for (int f = 0; f < kLargeFiles; ++f) {
    const fs::path path = large.path / ("large" + std::to_string(f) + ".bin");
    std::ofstream(path).put('x');
    fs::resize_file(path, kLargeFileSize);
  }
}

double Now(clockid_t clock) {
  timespec time{};
  clock_gettime(clock, &time);
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

// The best wall and the best CPU time of kRuns runs of each side, after a
// warm-up run of each. The two sides take turns, so that other work on the
// machine weighs on both alike.
void BestOfBoth(const std::function<Cost()>& first, const std::function<Cost()>& second,
                Cost& bestFirst, Cost& bestSecond) {
  first();
  second();
  for (int i = 0; i < kRuns; ++i) {
    for (auto [run, best] : {std::pair{&first, &bestFirst}, std::pair{&second, &bestSecond}}) {
      const Cost cost = (*run)();
      best->wall = std::min(best->wall, cost.wall);
      best->cpu = std::min(best->cpu, cost.cpu);
    }
  }
}

class CountingObserver : public Orlet::FileContainerObserver {
 public:
  int OnAddItem() override { return 1; }
  void OnAddFileFailed(const std::wstring&, int) override { ++failed; }
  unsigned failed = 0;
};

// One AddItem of the whole tree into a fresh container (making and freeing
// the container are not timed); added: the files it holds afterwards.
Cost Import(const fs::path& tree, CountingObserver& observer, unsigned& added) {
  Orlet::FileContainer container;
  container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
  Orlet::FileContainer::Node* root = container.AddRoot(L"Bench", L'D');
  const std::string text = tree.string();
  const std::wstring path(text.begin(), text.end());
  const double wall = Now(CLOCK_MONOTONIC);
  const double cpu = Now(CLOCK_PROCESS_CPUTIME_ID);
  const int result = container.AddItem(path, root, nullptr, &observer);
  const Cost cost{Now(CLOCK_MONOTONIC) - wall, Now(CLOCK_PROCESS_CPUTIME_ID) - cpu};
  if (result != 0) {
    std::fprintf(stderr, "AddItem of %s failed: %d\n", text.c_str(), result);
    std::exit(1);
  }
  added = container.GetFileCounts();
  return cost;
}

// find DIR -printf '%s\n' > /dev/null; its CPU time from the kernel's account.
Cost Find(const fs::path& tree) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string dir = tree.string();
  char find[] = "find";
  char format[] = "-printf";
  char sizes[] = "%s\n";
  char* argv[] = {find, dir.data(), format, sizes, nullptr};
  const double wall = Now(CLOCK_MONOTONIC);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "find", &actions, nullptr, argv, environ) != 0) {
    std::perror("find");
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double elapsed = Now(CLOCK_MONOTONIC) - wall;
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "find failed on %s\n", dir.c_str());
    std::exit(1);
  }
  auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
  };
  return Cost{elapsed, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path base = argc > 1 ? argv[1] : "/tmp/orlet-bench-container";
  const Tree nested{"nested", base / "nested",
                    kNestedFanOut * kNestedFanOut * kNestedFanOut * kNestedFilesPerLeaf};
  const Tree flat{"flat", base / "flat", kFlatFiles};
  const Tree large{"large", base / "large", kLargeFiles};
  const fs::path ready = base / ".complete";
  if (!fs::exists(ready)) {
    std::printf("generating trees under %s ...\n", base.c_str());
    fs::remove_all(base);
    Generate(nested, flat, large);
    std::ofstream(ready).put('1');
  }

  std::printf("%-7s %6s | %9s %9s %6s | %9s %9s %6s | %9s\n", "tree", "files", "AddItem", "find",
              "ratio", "AddItem", "find", "ratio", "CPU us");
  std::printf("%-7s %6s | %26s | %26s | %9s\n", "", "", "wall ms", "CPU ms", "per file");
  Cost perFile[2];
  for (const Tree* tree : {&nested, &flat, &large}) {
    CountingObserver observer;
    unsigned added = 0;
    Cost import;
    Cost find;
    BestOfBoth([&] { return Import(tree->path, observer, added); },
               [&] { return Find(tree->path); }, import, find);
    if (added != static_cast<unsigned>(tree->files) || observer.failed != 0) {
      std::fprintf(stderr, "%s: %u of %d files added, %u failed\n", tree->name, added, tree->files,
                   observer.failed);
      return 1;
    }
    const Cost each{import.wall * 1e6 / tree->files, import.cpu * 1e6 / tree->files};
    if (tree != &large) perFile[tree == &flat ? 1 : 0] = each;
    std::printf("%-7s %6d | %9.1f %9.1f %6.2f | %9.1f %9.1f %6.2f | %9.2f\n", tree->name,
                tree->files, import.wall * 1e3, find.wall * 1e3, import.wall / find.wall,
                import.cpu * 1e3, find.cpu * 1e3, import.cpu / find.cpu, each.cpu);
  }
  std::printf("flat/nested time per file: wall %.2f, CPU %.2f\n", perFile[1].wall / perFile[0].wall,
              perFile[1].cpu / perFile[0].cpu);
  return 0;
}
