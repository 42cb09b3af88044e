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
  trees.clear();
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
  FakeDrive drive;
  drive.name = name;
  drive.letter = letter;
  drives.push_back(drive);
  return drives.back();
}

FakeDrive* SdkDouble::FindDrive(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto& drive : drives) {
    if (drive.name == name) return &drive;
  }
  return nullptr;
}

FakeDrive* SdkDouble::FindDriveByLetter(char letter) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto& drive : drives) {
    if (drive.letter != 0 && drive.letter == letter) return &drive;
  }
  return nullptr;
}

std::vector<FakeDrive> SdkDouble::Drives() const {
  std::lock_guard<std::mutex> lock(mutex);
  return std::vector<FakeDrive>(drives.begin(), drives.end());
}

bool SdkDouble::WithDrive(const std::string& name, const std::function<void(FakeDrive&)>& use) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto& drive : drives) {
    if (drive.name == name) {
      use(drive);
      return true;
    }
  }
  return false;
}

std::vector<Call> SdkDouble::Journal() const {
  std::lock_guard<std::mutex> lock(mutex);
  return journal;
}

std::vector<std::string> SdkDouble::Functions(const std::string& prefix) const {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<std::string> names;
  for (const auto& call : journal) {
    if (call.function.compare(0, prefix.size(), prefix) == 0) names.push_back(call.function);
  }
  return names;
}

std::size_t SdkDouble::CountOf(const std::string& function) const {
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<std::size_t>(std::count_if(
      journal.begin(), journal.end(), [&](const Call& call) { return call.function == function; }));
}

void SdkDouble::ClearJournal() {
  std::lock_guard<std::mutex> lock(mutex);
  journal.clear();
}

std::size_t SdkDouble::OpenDevices() const {
  std::lock_guard<std::mutex> lock(mutex);
  return devices.size();
}

std::size_t SdkDouble::OpenTrees() const {
  std::lock_guard<std::mutex> lock(mutex);
  return trees.size();
}

uint32_t SdkDouble::Enter(const std::string& function, const std::string& arguments,
                          uint32_t natural) {
  std::lock_guard<std::mutex> lock(mutex);
  uint32_t status = natural;
  auto queue = queued.find(function);
  if (queue != queued.end() && !queue->second.empty()) {
    status = queue->second.front();
    queue->second.erase(queue->second.begin());
  } else if (auto fixed = defaults.find(function); fixed != defaults.end()) {
    status = fixed->second;
  }
  journal.push_back(Call{function, arguments, status});
  return status;
}

void SdkDouble::Note(const std::string& function, const std::string& arguments) {
  std::lock_guard<std::mutex> lock(mutex);
  journal.push_back(Call{function, arguments, 0});
}

void* SdkDouble::OpenDevice(const std::string& drive, StarBurnCallback callback, void* context) {
  std::lock_guard<std::mutex> lock(mutex);
  auto handle = std::make_unique<DeviceHandle>(DeviceHandle{drive, callback, context});
  void* key = handle.get();
  devices[key] = std::move(handle);
  return key;
}

void* SdkDouble::OpenTree(StarBurnCallback callback, void* context) {
  std::lock_guard<std::mutex> lock(mutex);
  auto handle = std::make_unique<TreeHandle>(TreeHandle{callback, context});
  void* key = handle.get();
  trees[key] = std::move(handle);
  return key;
}

std::unique_ptr<SdkDouble::DeviceHandle> SdkDouble::Device(void* handle) const {
  std::lock_guard<std::mutex> lock(mutex);
  auto found = devices.find(handle);
  if (found == devices.end()) return nullptr;
  return std::make_unique<DeviceHandle>(*found->second);
}

std::unique_ptr<SdkDouble::TreeHandle> SdkDouble::Tree(void* handle) const {
  std::lock_guard<std::mutex> lock(mutex);
  auto found = trees.find(handle);
  if (found == trees.end()) return nullptr;
  return std::make_unique<TreeHandle>(*found->second);
}

bool SdkDouble::Close(void* handle) {
  std::lock_guard<std::mutex> lock(mutex);
  return devices.erase(handle) + trees.erase(handle) > 0;
}

}  // namespace sdkdouble
