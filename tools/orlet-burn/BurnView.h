#pragma once

#include <orlet/FileContainer.h>
#include <orlet/MediaBurning.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ProgressBar.h"
#include "Updates.h"

namespace orletburn {

// The burn observer of orlet-burn: fills the container with the paths given
// on the command line, answers the import question, prints each event in
// words and draws a progress bar. The library calls it on the burn job's
// thread; the main thread waits for the job's last event with WaitForEnd.
class BurnView : public Orlet::MediaBurningObserver {
 public:
  // What a burn asks of its view.
  struct Settings {
    const char* job = "burn";        // "burn" or "image", as --json names it
    std::vector<std::string> paths;  // as the user typed them
    bool importSession = true;       // keep the disc's earlier files
    // The room the disc has for new data: a fill that needs more is declined
    // before anything is written, as is one that leaves out an entry of the
    // paths (Omissions), unless every such entry is one that cannot be read
    // and skipUnreadable accepts that.
    unsigned long long freeBytes = 0;
    bool skipUnreadable = false;
    bool interactive = false;  // a terminal: redraw the bar in place
    bool dryRun = false;       // a fill that would be burned is described and declined
    // --label: given to the root when the disc is continued (the library
    // names the root after the disc's own label then); empty keeps it.
    std::wstring label;
    // --update: the disc's files with their recording times (Updates).
    bool update = false;
    Updates::DiscTimes discTimes;
  };
  explicit BurnView(Settings settings);

  // Waits until the job's last event (recorded or failed) has come, or until
  // stop() answers true, checked every poll; answers true once the job ended.
  template <typename Stop>
  bool WaitForEnd(Stop stop, std::chrono::milliseconds poll) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended) {
      if (changed.wait_for(lock, poll, [this] { return ended; })) break;
      if (stop()) return false;
    }
    return true;
  }
  // After the end: whether the disc was recorded, and why not.
  bool Succeeded() const;
  bool Cancelled() const;
  std::string Reason() const;
  // Entries that cannot be read and were left off (--skip-unreadable); named
  // as warnings when the container was filled.
  std::size_t Skipped() const;
  // A dry run got as far as the files and would have burned them.
  bool DryRunPassed() const;

  void OnPrepareEvent(int event, int detail) override;
  int OnFillContainer(Orlet::FileContainer* container) override;
  void OnTreeNameKind0(const std::wstring& text) override;
  void OnTreeNameKind2(const std::wstring& text) override;
  int OnAskImportSession() override;
  void OnBurnEvent(int event, int detail) override;
  void OnBurnProgress(int progress, int level) override;
  int OnAskRetryOpen() override;
  void OnSearchFinished() override;

 private:
  void End(bool success, std::string reason);

  const Settings settings;
  int stage = 0;  // the last prepare or burn event: where a failure happened
  unsigned long long newBytes = 0;
  int percent = 0;
  int bufferLevel = 0;
  ProgressBar bar;

  mutable std::mutex mutex;
  std::condition_variable changed;
  bool ended = false;      // guarded by mutex
  bool success = false;    // guarded by mutex
  bool cancelled = false;  // guarded by mutex
  std::string reason;      // guarded by mutex: the first failure in words
  // Guarded by mutex: the entries left off under --skip-unreadable.
  std::size_t skipped = 0;
  bool dryRunPassed = false;  // guarded by mutex
};

}  // namespace orletburn
