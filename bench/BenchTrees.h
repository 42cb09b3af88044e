#pragma once

// What the image and burn benchmarks share: the generated trees, and running
// one writer in a child process with its wall time and peak memory.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct TreeShape {
  const char* name;
  int folders;
  int filesPerFolder;
  uint64_t fileSize;         // the smallest file; every file when maxFileSize is 0
  uint64_t maxFileSize;      // sizes spread evenly up to this one; 0: all fileSize
  bool sparse;               // files of holes only: they take no disk space to make
  const char* folderPrefix;  // folder n is named folderPrefix followed by n
  const char* filePrefix;    // file n is named filePrefix, n, then ".dat"
  int largeEvery;            // 0, or every largeEvery-th file is kLargeFileSize
};

// A generated tree's size in bytes, the sum of its files.
uint64_t TreeBytes(const TreeShape& shape);

// 120 large files of about 1 GiB together; 50,000 files of 0.2-8 KB in 500
// folders; 20,000 files in one folder; a million files in 10,000 folders, most
// of them small.
constexpr int kTreeCount = 4;
extern const TreeShape kTrees[kTreeCount];

// Makes the tree under root once; a later call finds it complete and returns.
void MakeTree(const std::string& root, const TreeShape& shape);

struct Measure {
  double seconds = 0;     // wall time
  double cpuSeconds = 0;  // user plus system time of the child and everything it waited for
  double peakMiB = 0;     // the largest resident set among the child and its children
  bool ok = false;        // the child exited with 0
};

// Runs body once in a child process with its output silenced.
Measure RunChild(const std::function<int()>& body);

// One way to write a tree: body runs in a child process and answers its exit
// status.
struct Writer {
  std::string name;
  std::function<int()> body;
};

// Prints the heading of RunWriters' table.
void PrintHeading();
// Runs the writers in turns, rounds times (paired runs: each round runs every
// writer once, in order, so a load that comes and goes touches all alike),
// after one warm-up round that fills the page cache; prints each writer's
// medians (wall, CPU, peak memory and memory per file of the tree), then the
// first writer's time and memory divided by each other writer's.
void RunWriters(const std::string& tree, uint64_t files, const std::vector<Writer>& writers,
                int rounds);

// Replaces the process with the program; answers 127 when it cannot.
int Exec(const std::vector<std::string>& arguments);

}  // namespace bench
