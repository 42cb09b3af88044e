#include "BurnView.h"

#include <cstdio>

#include "Omissions.h"
#include "Text.h"
#include "Words.h"

namespace orletburn {

namespace {

constexpr int kBarWidth = 30;
// Without a terminal, progress is printed as a line every this many percent.
constexpr int kLineStep = 10;

// "1 file", "3 files".
std::string Count(unsigned long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Why a job ended that gave no reason of its own, by the last event before
// its end (prepare events as they are, the recorder's start negated).
std::string FailedStage(int stage) {
  switch (stage) {
    case Orlet::PrepareJobStarted:
      return "the disc could not be examined (unreadable, or its file system is not ISO 9660)";
    case Orlet::PrepareTreeStarted:
      return "the file tree could not be built";
    case -Orlet::BurnRecorderStarted:
      return "the recorder could not be prepared";
    case Orlet::PrepareImageReady:
      return "writing failed (the drive refused the data, or a source file could not be read)";
    default:
      return "the burn failed";
  }
}

}  // namespace

BurnView::BurnView(std::vector<std::string> paths, bool importSession, unsigned long long freeBytes,
                   bool skipUnreadable, bool interactive, bool dryRun)
    : paths(std::move(paths)),
      importSession(importSession),
      freeBytes(freeBytes),
      skipUnreadable(skipUnreadable),
      interactive(interactive),
      dryRun(dryRun) {}

bool BurnView::DryRunPassed() const {
  std::lock_guard<std::mutex> lock(mutex);
  return dryRunPassed;
}

bool BurnView::Succeeded() const {
  std::lock_guard<std::mutex> lock(mutex);
  return success;
}

bool BurnView::Cancelled() const {
  std::lock_guard<std::mutex> lock(mutex);
  return cancelled;
}

std::string BurnView::Reason() const {
  std::lock_guard<std::mutex> lock(mutex);
  return reason;
}

std::size_t BurnView::Skipped() const {
  std::lock_guard<std::mutex> lock(mutex);
  return skipped;
}

void BurnView::End(bool succeeded, std::string why) {
  std::lock_guard<std::mutex> lock(mutex);
  if (reason.empty()) reason = std::move(why);
  success = succeeded;
  ended = true;
  changed.notify_all();
}

void BurnView::OnPrepareEvent(int event, int detail) {
  // A dry run that passed ends the job on purpose: its failure events are
  // not news.
  if (!DryRunPassed()) std::printf("  %s\n", PrepareWords(event, detail).c_str());
  stage = event;
  if (event == Orlet::PrepareFailed) {
    std::lock_guard<std::mutex> lock(mutex);
    if (reason.empty()) reason = PrepareWords(event, detail);
  }
  if (event == Orlet::PrepareImageReady) writeStart = std::chrono::steady_clock::now();
  std::fflush(stdout);
}

int BurnView::OnFillContainer(Orlet::FileContainer* container) {
  // Nothing the user named may be left off the disc without a word: every
  // entry that did not reach the container whole is named with the reason.
  // Without --skip-unreadable (or when an entry is one the disc cannot hold)
  // the job ends here, before anything is written.
  Omissions omissions;
  Orlet::FileContainer::Node* root = container->GetRoot();
  for (const auto& path : paths) omissions.AddPath(*container, path, root);
  const std::vector<Omission>& omitted = omissions.List();
  const bool accepted = omitted.empty() || (skipUnreadable && omissions.AllUnreadable());
  if (accepted) omissions.RemoveUnopenedFiles(*container);
  for (const auto& omission : omitted) {
    std::fprintf(stderr, "orlet-burn: %s%s: %s\n", accepted ? "warning: " : "",
                 omission.path.c_str(), omission.reason.c_str());
  }
  if (accepted && !omitted.empty()) {
    std::fprintf(stderr, "orlet-burn: warning: left off the disc: %s that cannot be read\n",
                 Count(omitted.size(), "entry", "entries").c_str());
  }
  newBytes = container->GetTotalSize();
  std::printf("  %s, %s of new data; the disc will hold %s and %s\n",
              Count(omissions.Entries(), "new entry", "new entries").c_str(),
              Size(newBytes).c_str(), Count(container->GetDirCounts(), "folder", "folders").c_str(),
              Count(container->GetFileCounts(), "file", "files").c_str());
  std::lock_guard<std::mutex> lock(mutex);
  if (!accepted) {
    reason = Count(omitted.size(), "entry", "entries") +
             (omissions.AllUnreadable()
                  ? " cannot be read (named above); --skip-unreadable burns the rest without them"
                  : " cannot be put on the disc (named above)");
    return 0;
  }
  skipped = omitted.size();
  if (newBytes > freeBytes) {
    reason = "the disc is full: the new files need " + Size(newBytes) + ", the disc has " +
             Size(freeBytes) + " free; nothing was written";
    return 0;
  }
  if (dryRun) {
    // Declined here, the job ends before the image is built: nothing is
    // written. The file system's own blocks come on top of the data.
    std::printf("  dry run: the disc would have about %s free after the burn\n",
                Size(freeBytes - newBytes).c_str());
    dryRunPassed = true;
    return 0;
  }
  return 1;
}

void BurnView::OnTreeNameKind0(const std::wstring&) {}
void BurnView::OnTreeNameKind2(const std::wstring&) {}

int BurnView::OnAskImportSession() {
  std::printf("  the disc holds data: %s\n", importSession
                                                 ? "keeping its files (a new session is appended)"
                                                 : "not keeping its files (--no-import)");
  return importSession ? 1 : 0;
}

void BurnView::OnBurnEvent(int event, int detail) {
  if (barOpen) std::printf("\n");  // end the bar's line before the event's
  barOpen = false;
  if (!DryRunPassed()) std::printf("  %s\n", BurnWords(event, detail).c_str());
  std::fflush(stdout);
  if (event == Orlet::BurnCancelled) {
    std::lock_guard<std::mutex> lock(mutex);
    cancelled = true;
    if (reason.empty()) reason = "cancelled";
  }
  if (event == Orlet::BurnFinished) End(true, "");
  if (event == Orlet::BurnFailed && detail == Orlet::DetailNone) End(false, FailedStage(stage));
  if (event == Orlet::BurnRecorderStarted) stage = -event;
  if (event == Orlet::BurnFailed && detail != Orlet::DetailNone) {
    std::lock_guard<std::mutex> lock(mutex);
    if (reason.empty()) reason = BurnWords(event, detail);
  }
}

void BurnView::OnBurnProgress(int progress, int level) {
  if (progress != Orlet::kNoProgressValue) percent = progress;
  if (level != Orlet::kNoProgressValue) bufferLevel = level;
  DrawProgress();
}

void BurnView::DrawProgress() {
  if (!interactive && lastPrinted >= 0 && percent / kLineStep == lastPrinted / kLineStep) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - writeStart).count();
  const double written = static_cast<double>(newBytes) * percent / 100.0;
  const double rate = seconds > 0 ? written / seconds : 0;
  const double left = percent > 0 ? seconds * (100 - percent) / percent : 0;
  const int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kBarWidth, '.');
  // On a terminal the line is drawn again in place, and the rest of it
  // cleared (ESC [ K), so that a shorter figure leaves nothing behind.
  std::printf("%s  [%s] %3d%%  buffer %3d%%  %s/s  %3.0fs left%s", interactive ? "\r" : "",
              bar.c_str(), percent, bufferLevel,
              Size(static_cast<unsigned long long>(rate)).c_str(), left,
              interactive ? "\x1b[K" : "\n");
  std::fflush(stdout);
  lastPrinted = percent;
  barOpen = interactive;
}

int BurnView::OnAskRetryOpen() {
  std::printf("  the drive could not be opened exclusively; trying once more shared\n");
  return 1;
}

void BurnView::OnSearchFinished() {}

}  // namespace orletburn
