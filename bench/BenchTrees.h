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
  uint64_t fileSize;
  bool sparse;  // files of holes only: they take no disk space to make
};

// 120 large files of about 1 GiB together; 50,000 small files in 100 folders;
// 20,000 files in one folder.
extern const TreeShape kTrees[3];

// Makes the tree under root once; a later call finds it complete and returns.
void MakeTree(const std::string& root, const TreeShape& shape);

struct Measure {
  double seconds = 0;
  double peakMiB = 0;  // the child's maximum resident set
  bool ok = false;     // the child exited with 0
};

// Runs body in a child process with its output silenced, twice; the faster
// run counts (the first one warms the page cache).
Measure Best(const std::function<int()>& body);

// One way to write a tree: body runs in a child process and answers its exit
// status.
struct Writer {
  std::string name;
  std::function<int()> body;
};

// Prints the heading of RunWriters' table; reference names the first writer.
void PrintHeading(const std::string& reference);
// Runs every writer (Best) and prints a row for each: wall time, peak memory,
// and both divided by the first writer's.
void RunWriters(const std::string& tree, const std::vector<Writer>& writers);

// Replaces the process with the program; answers 127 when it cannot.
int Exec(const std::vector<std::string>& arguments);

}  // namespace bench
