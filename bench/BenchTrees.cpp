#include "BenchTrees.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace bench {

// 120 × 8.5 MiB ≈ 1 GiB; 100 × 500 small files; 20,000 files in one folder.
const TreeShape kTrees[3] = {
    {"large", 1, 120, 8912896, true},
    {"small", 100, 500, 1500, false},
    {"flat", 1, 20000, 700, false},
};

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

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

}  // namespace

void MakeTree(const std::string& root, const TreeShape& shape) {
  const std::string done = root + "/.complete";
  if (Exists(done)) return;
  std::system(("rm -rf '" + root + "' && mkdir -p '" + root + "'").c_str());
  std::string content(shape.fileSize, '\0');
  for (int folder = 0; folder < shape.folders; ++folder) {
    const std::string dir = root + "/folder " + std::to_string(folder);
    ::mkdir(dir.c_str(), 0755);
    for (int file = 0; file < shape.filesPerFolder; ++file) {
      const std::string path =
          dir + "/generated file number " + std::to_string(file) + " of the tree.dat";
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) std::abort();
      if (shape.sparse) {
        if (::ftruncate(fd, static_cast<off_t>(shape.fileSize)) != 0) std::abort();
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

Measure Best(const std::function<int()>& body) {
  Measure best;
  for (int run = 0; run < 2; ++run) {
    const Measure measure = RunChild(body);
    if (!measure.ok) return measure;
    if (!best.ok || measure.seconds < best.seconds) best = measure;
  }
  return best;
}

void PrintHeading(const std::string& reference) {
  std::printf("%-6s %-24s %9s %10s %16s %16s\n", "tree", "writer", "wall s", "peak MiB",
              ("time/" + reference).c_str(), ("memory/" + reference).c_str());
}

void RunWriters(const std::string& tree, const std::vector<Writer>& writers) {
  Measure first;
  for (const Writer& writer : writers) {
    const Measure measure = Best(writer.body);
    if (&writer == &writers.front()) first = measure;
    if (!measure.ok) {
      std::printf("%-6s %-24s %9s\n", tree.c_str(), writer.name.c_str(), "failed");
      continue;
    }
    std::printf("%-6s %-24s %9.2f %10.1f %16.2f %16.2f\n", tree.c_str(), writer.name.c_str(),
                measure.seconds, measure.peakMiB, measure.seconds / first.seconds,
                measure.peakMiB / first.peakMiB);
    std::fflush(stdout);
  }
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
