#include "BurnView.h"

#include <cstdio>
#include <optional>

#include "Omissions.h"
#include "Report.h"
#include "Text.h"
#include "Words.h"

namespace orletburn {

namespace {

// ISO 9660 and Joliet path tables number directories in 16 bits, the root
// among them: a disc holds at most this many folders besides its root.
constexpr unsigned kMostFolders = 65534;

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

BurnView::BurnView(Settings settings)
    : settings(std::move(settings)), bar(this->settings.interactive) {}

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
  if (!DryRunPassed()) Event(settings.job, "prepare", event, detail, PrepareWords(event, detail));
  stage = event;
  if (event == Orlet::PrepareFailed) {
    std::lock_guard<std::mutex> lock(mutex);
    if (reason.empty()) reason = PrepareWords(event, detail);
  }
  if (event == Orlet::PrepareImageReady) bar.Start(newBytes);
}

int BurnView::OnFillContainer(Orlet::FileContainer* container) {
  // Nothing the user named may be left off the disc without a word: every
  // entry that did not reach the container whole is named with the reason.
  // Without --skip-unreadable (or when an entry is one the disc cannot hold)
  // the job ends here, before anything is written.
  Omissions omissions;
  Orlet::FileContainer::Node* root = container->GetRoot();
  // A continued disc's root bears the disc's label: --label renames it.
  if (!settings.label.empty() && root->name != settings.label) {
    container->RenameItem(root, settings.label);
  }
  std::optional<Updates> updates;
  if (settings.update) updates.emplace(settings.discTimes);
  for (const auto& path : settings.paths) {
    omissions.AddPath(*container, path, root, updates ? &*updates : nullptr);
  }
  if (updates) {
    Say("  --update: " + Count(updates->Unchanged(), "file", "files") +
        " unchanged (kept as the disc holds them), " +
        Count(updates->Replaced(), "entry", "entries") + " replaced by the version here");
  }
  const std::vector<Omission>& omitted = omissions.List();
  const bool accepted = omitted.empty() || (settings.skipUnreadable && omissions.AllUnreadable());
  if (accepted) omissions.RemoveUnopenedFiles(*container);
  for (const auto& omission : omitted) {
    (accepted ? Warning : Error)(omission.path + ": " + omission.reason);
  }
  if (accepted && !omitted.empty()) {
    Warning("left off the disc: " + Count(omitted.size(), "entry", "entries") +
            " that cannot be read");
  }
  newBytes = container->GetTotalSize();
  Say("  " + Count(omissions.Entries(), "new entry", "new entries") + ", " + Size(newBytes) +
      " of new data; the disc will hold " + Count(container->GetDirCounts(), "folder", "folders") +
      " and " + Count(container->GetFileCounts(), "file", "files"));
  std::lock_guard<std::mutex> lock(mutex);
  if (!accepted) {
    reason = Count(omitted.size(), "entry", "entries") +
             (omissions.AllUnreadable()
                  ? " cannot be read (named above); --skip-unreadable burns the rest without them"
                  : " cannot be put on the disc (named above)");
    return 0;
  }
  skipped = omitted.size();
  if (container->GetDirCounts() > kMostFolders) {
    reason = "too many folders: a disc holds at most " + std::to_string(kMostFolders) +
             " besides its root (ISO 9660 numbers them in 16 bits); nothing was written";
    return 0;
  }
  if (newBytes > settings.freeBytes) {
    reason = "the disc is full: the new files need " + Size(newBytes) + ", the disc has " +
             Size(settings.freeBytes) + " free; nothing was written";
    return 0;
  }
  if (settings.dryRun) {
    // Declined here, the job ends before the image is built: nothing is
    // written. The file system's own blocks come on top of the data.
    Say("  dry run: the disc would have about " + Size(settings.freeBytes - newBytes) +
        " free after the burn");
    dryRunPassed = true;
    return 0;
  }
  return 1;
}

void BurnView::OnTreeNameKind0(const std::wstring&) {}
void BurnView::OnTreeNameKind2(const std::wstring&) {}

int BurnView::OnAskImportSession() {
  Say(std::string("  the disc holds data: ") +
      (settings.importSession ? "keeping its files (a new session is appended)"
                              : "not keeping its files (--no-import)"));
  return settings.importSession ? 1 : 0;
}

void BurnView::OnBurnEvent(int event, int detail) {
  if (!DryRunPassed()) Event(settings.job, "burn", event, detail, BurnWords(event, detail));
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
  bar.Show(percent, bufferLevel);
}

int BurnView::OnAskRetryOpen() {
  Say("  the drive could not be opened exclusively; trying once more shared");
  return 1;
}

void BurnView::OnSearchFinished() {}

}  // namespace orletburn
