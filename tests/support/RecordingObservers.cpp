#include "support/RecordingObservers.h"

#include <algorithm>

#include "platform/OrletBases.h"

namespace support {

void CallLog::Add(std::string call) {
  if (hook && call == hookAt) hook();
  std::lock_guard<std::mutex> lock(mutex);
  calls.push_back(std::move(call));
  added.notify_all();
}

std::vector<std::string> CallLog::Calls() const {
  std::lock_guard<std::mutex> lock(mutex);
  return calls;
}

bool CallLog::WaitFor(const std::vector<std::string>& awaited,
                      std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return added.wait_for(lock, timeout, [&] {
    return std::find_first_of(calls.begin(), calls.end(), awaited.begin(), awaited.end()) !=
           calls.end();
  });
}

std::string CallText(const char* name, long a, long b) {
  return std::string(name) + "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}

void RecordingBurnObserver::OnPrepareEvent(int event, int detail) {
  Add(CallText("OnPrepareEvent", event, detail));
}

int RecordingBurnObserver::OnFillContainer(Orlet::FileContainer* container) {
  if (fill) fill(container);
  Add("OnFillContainer");
  return fillAnswer;
}

void RecordingBurnObserver::OnTreeNameKind0(const std::wstring& text) {
  Add("OnTreeNameKind0(" + Orlet::tcs_to_mbs(text) + ")");
}

void RecordingBurnObserver::OnTreeNameKind2(const std::wstring& text) {
  Add("OnTreeNameKind2(" + Orlet::tcs_to_mbs(text) + ")");
}

int RecordingBurnObserver::OnAskImportSession() {
  Add("OnAskImportSession");
  return 1;
}

void RecordingBurnObserver::OnBurnEvent(int event, int detail) {
  Add(CallText("OnBurnEvent", event, detail));
}

void RecordingBurnObserver::OnBurnProgress(int progress, int level) {
  Add(CallText("OnBurnProgress", progress, level));
}

int RecordingBurnObserver::OnAskRetryOpen() {
  Add("OnAskRetryOpen");
  return 0;
}

void RecordingBurnObserver::OnSearchFinished() { Add("OnSearchFinished"); }

int RecordingEraseObserver::OnAskRetryOpen() {
  Add("OnAskRetryOpen");
  return 0;
}

void RecordingEraseObserver::OnEraseEvent(int event, int detail) {
  Add(CallText("OnEraseEvent", event, detail));
}

void RecordingEraseObserver::OnEraseEstimate(unsigned int milliseconds) {
  Add("OnEraseEstimate(" + std::to_string(milliseconds) + ")");
}

}  // namespace support
