#include "support/SdkDouble.h"

#include <algorithm>

namespace sdkdouble {

SdkDouble& SdkDouble::Get() {
  static SdkDouble instance;
  return instance;
}

void SdkDouble::Reset() {
  std::lock_guard<std::mutex> lock(mutex);
  queued.clear();
  defaults.clear();
  drives.clear();
  journal.clear();
  devices.clear();
}

void SdkDouble::AnswerNext(const std::string& function, uint32_t status) {
  std::lock_guard<std::mutex> lock(mutex);
  queued[function].push_back(status);
}

void SdkDouble::AnswerAlways(const std::string& function, uint32_t status) {
  std::lock_guard<std::mutex> lock(mutex);
  defaults[function] = status;
}

FakeDrive& SdkDouble::AddDrive(const std::string& name, char letter) {
  std::lock_guard<std::mutex> lock(mutex);
  drives.emplace_back();
  drives.back().name = name;
  drives.back().letter = letter;
  return drives.back();
}

bool SdkDouble::FindDrive(const std::function<bool(const FakeDrive&)>& match,
                          FakeDrive& drive) const {
  std::lock_guard<std::mutex> lock(mutex);
  const auto found = std::find_if(drives.begin(), drives.end(), match);
  if (found != drives.end()) drive = *found;
  return found != drives.end();
}

std::vector<FakeDrive> SdkDouble::Drives() const {
  std::lock_guard<std::mutex> lock(mutex);
  return std::vector<FakeDrive>(drives.begin(), drives.end());
}

void SdkDouble::WithDrive(const std::string& name, const std::function<void(FakeDrive&)>& use) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto& drive : drives) {
    if (drive.name == name) use(drive);
  }
}

std::vector<Call> SdkDouble::Journal() const {
  std::lock_guard<std::mutex> lock(mutex);
  return journal;
}

std::size_t SdkDouble::CountOf(const std::string& function) const {
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<std::size_t>(std::count_if(
      journal.begin(), journal.end(), [&](const Call& call) { return call.function == function; }));
}

std::size_t SdkDouble::OpenDevices() const {
  std::lock_guard<std::mutex> lock(mutex);
  return devices.size();
}

uint32_t SdkDouble::Enter(const std::string& function, const std::string& arguments,
                          uint32_t natural) {
  std::lock_guard<std::mutex> lock(mutex);
  uint32_t status = natural;
  auto queue = queued.find(function);
  if (queue != queued.end() && !queue->second.empty()) {
    status = queue->second.front();
    queue->second.pop_front();
  } else if (auto fixed = defaults.find(function); fixed != defaults.end()) {
    status = fixed->second;
  }
  journal.push_back(Call{function, arguments});
  return status;
}

void* SdkDouble::OpenDevice(const std::string& drive) {
  std::lock_guard<std::mutex> lock(mutex);
  auto handle = std::make_unique<std::string>(drive);
  void* key = handle.get();
  devices[key] = std::move(handle);
  return key;
}

std::string SdkDouble::DeviceDrive(void* handle) const {
  std::lock_guard<std::mutex> lock(mutex);
  auto found = devices.find(handle);
  return found == devices.end() ? std::string() : *found->second;
}

bool SdkDouble::Close(void* handle) {
  std::lock_guard<std::mutex> lock(mutex);
  return devices.erase(handle) > 0;
}

}  // namespace sdkdouble
