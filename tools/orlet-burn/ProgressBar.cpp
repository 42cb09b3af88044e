#include "ProgressBar.h"

#include <string>

#include "Report.h"
#include "Text.h"

namespace orletburn {

namespace {

constexpr int kBarWidth = 30;
// Without a terminal, progress is said as a line every this many percent.
constexpr int kLineStep = 10;

}  // namespace

void ProgressBar::Start(unsigned long long totalBytes) {
  total = totalBytes;
  lastShown = -1;
  start = std::chrono::steady_clock::now();
}

void ProgressBar::Show(int percent, int bufferLevel) {
  if (SpeaksJson()) {
    if (percent != lastShown) Record("progress", {{"percent", percent}, {"buffer", bufferLevel}});
    lastShown = percent;
    return;
  }
  if (!interactive && lastShown >= 0 && percent / kLineStep == lastShown / kLineStep) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double written = static_cast<double>(total) * percent / 100.0;
  const double rate = seconds > 0 ? written / seconds : 0;
  const double left = percent > 0 ? seconds * (100 - percent) / percent : 0;
  std::string bar(static_cast<std::size_t>(percent * kBarWidth / 100), '#');
  bar.resize(kBarWidth, '.');
  const std::string line =
      Format("  [%s] %3d%%  buffer %3d%%  %s/s  %3.0fs left", bar.c_str(), percent, bufferLevel,
             Size(static_cast<unsigned long long>(rate)).c_str(), left);
  (interactive ? Draw : Say)(line);
  lastShown = percent;
}

}  // namespace orletburn
