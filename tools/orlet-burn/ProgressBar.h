#pragma once

#include <chrono>

namespace orletburn {

// The progress of a write: a bar with the buffer's fill, the rate and the
// time left, drawn again in place on a terminal, a line every tenth
// otherwise, and one "progress" object per percent with --json.
//
// Threads: one thread draws (the one the write's notifications come on).
class ProgressBar {
 public:
  explicit ProgressBar(bool interactive) : interactive(interactive) {}

  // The write of totalBytes begins now: the rate and the time left count from here.
  void Start(unsigned long long totalBytes);
  // percent of the write done, the drive's buffer bufferLevel percent full.
  void Show(int percent, int bufferLevel);

 private:
  const bool interactive;
  unsigned long long total = 0;
  int lastShown = -1;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

}  // namespace orletburn
