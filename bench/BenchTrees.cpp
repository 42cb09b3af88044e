#include "BenchTrees.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

// The odd file out in a tree of mostly small files (a photo among mails).
constexpr uint64_t kLargeFileSize = 256 << 10;

}  // namespace

// 120 × 8.5 MiB ≈ 1 GiB; 500 × 100 files of 200 bytes to 8 KiB; 20,000 files
// in one folder; 10,000 × 100 files of 200 bytes to 8 KiB, one in 500 of them
// 256 KiB (about 4.7 GB).
const TreeShape kTrees[kTreeCount] = {
    {"large", 1, 120, 8912896, 0, true, "folder ", "generated file number ", 0},
    {"small", 500, 100, 200, 8192, false, "folder ", "generated file number ", 0},
    {"flat", 1, 20000, 700, 0, false, "folder ", "generated file number ", 0},
    {"million", 10000, 100, 200, 8192, false, "d", "f", 500},
};

namespace {

// The size of the tree's file number index, counted across all its folders.
uint64_t FileSize(const TreeShape& shape, uint64_t index) {
  if (shape.largeEvery != 0 && index % shape.largeEvery == 0) return kLargeFileSize;
  if (shape.maxFileSize == 0) return shape.fileSize;
  // 7919 is prime, so the sizes spread over the whole range.
  return shape.fileSize + (index * 7919) % (shape.maxFileSize - shape.fileSize + 1);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

double Seconds(const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

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
  // wait4 counts what the child waited for in its own children as well.
  measure.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  measure.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return measure;
}

uint64_t TreeBytes(const TreeShape& shape) {
  uint64_t bytes = 0;
  const uint64_t files = uint64_t(shape.folders) * uint64_t(shape.filesPerFolder);
  for (uint64_t index = 0; index < files; ++index) bytes += FileSize(shape, index);
  return bytes;
}

void MakeTree(const std::string& root, const TreeShape& shape) {
  const std::string done = root + "/.complete";
  if (Exists(done)) return;
  std::fprintf(stderr, "making the tree %s in %s\n", shape.name, root.c_str());
  std::system(("rm -rf '" + root + "' && mkdir -p '" + root + "'").c_str());
  std::string content;
  uint64_t index = 0;
  for (int folder = 0; folder < shape.folders; ++folder) {
    const std::string dir = root + "/" + shape.folderPrefix + std::to_string(folder);
    ::mkdir(dir.c_str(), 0755);
    for (int file = 0; file < shape.filesPerFolder; ++file, ++index) {
      const std::string path = dir + "/" + shape.filePrefix + std::to_string(file) + ".dat";
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) std::abort();
      const uint64_t size = FileSize(shape, index);
      if (shape.sparse) {
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) std::abort();
      } else {
        content.resize(size);
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

void PrintHeading() {
  std::printf("%-8s %-24s %8s %8s %9s %8s\n", "tree", "writer", "wall s", "cpu s", "peak MiB",
              "B/file");
}

void RunWriters(const std::string& tree, uint64_t files, const std::vector<Writer>& writers,
                int rounds) {
  std::vector<std::vector<Measure>> runs(writers.size());
  for (int round = -1; round < rounds; ++round) {
    for (std::size_t i = 0; i < writers.size(); ++i) {
      const Measure measure = RunChild(writers[i].body);
      if (round >= 0) runs[i].push_back(measure);
    }
  }
  std::vector<Measure> medians(writers.size());
  for (std::size_t i = 0; i < writers.size(); ++i) {
    std::vector<double> wall, cpu, peak;
    bool ok = true;
    for (const Measure& measure : runs[i]) {
      ok = ok && measure.ok;
      wall.push_back(measure.seconds);
      cpu.push_back(measure.cpuSeconds);
      peak.push_back(measure.peakMiB);
    }
    Measure& median = medians[i];
    median = Measure{Median(wall), Median(cpu), Median(peak), ok};
    if (!ok) {
      std::printf("%-8s %-24s %8s\n", tree.c_str(), writers[i].name.c_str(), "failed");
      continue;
    }
    std::printf("%-8s %-24s %8.2f %8.2f %9.1f %8.0f\n", tree.c_str(), writers[i].name.c_str(),
                median.seconds, median.cpuSeconds, median.peakMiB,
                median.peakMiB * 1048576.0 / double(files));
  }
  for (std::size_t i = 1; i < writers.size(); ++i) {
    if (!medians[0].ok || !medians[i].ok) continue;
    std::printf("%-8s %-24s time %.2fx, memory %.2fx %s\n", tree.c_str(), writers[0].name.c_str(),
                medians[0].seconds / medians[i].seconds, medians[0].peakMiB / medians[i].peakMiB,
                writers[i].name.c_str());
  }
  std::fflush(stdout);
}

int Exec(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  return 127;
}

}  // namespace bench
