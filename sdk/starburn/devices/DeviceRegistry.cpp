#include "devices/DeviceRegistry.h"

#include <strings.h>

#include <cctype>
#include <cstring>
#include <set>

namespace starburn {

RegisteredDrive::RegisteredDrive(std::string name, char letter,
                                 const uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE],
                                 std::shared_ptr<DriveBackend> backend)
    : name(std::move(name)), letter(letter), backend(std::move(backend)) {
  std::memcpy(this->address, address, STARBURN_DEVICE_ADDRESS_SIZE);
}

StarBurnStatus RegisteredDrive::Claim(bool exclusive, bool lockTray, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex);
  if (exclusiveHeld || (exclusive && openCount > 0)) {
    *error =
        name + " is in use: " +
        (exclusiveHeld ? "another handle is recording on it"
                       : "recording needs the drive to itself, and another handle has it open");
    return STARBURN_STATUS_DEVICE_BUSY;
  }
  if (lockTray && trayLocked) {
    *error = name + "'s tray is locked by another handle";
    return STARBURN_STATUS_DEVICE_BUSY;
  }
  ++openCount;
  exclusiveHeld = exclusive;
  trayLocked = trayLocked || lockTray;
  return STARBURN_OK;
}

void RegisteredDrive::Release(bool exclusive, bool lockTray) {
  std::lock_guard<std::mutex> lock(mutex);
  --openCount;
  if (exclusive) {
    exclusiveHeld = false;
    abortRequested = false;
  }
  if (lockTray) trayLocked = false;
}

void RegisteredDrive::ReleaseTray() {
  std::lock_guard<std::mutex> lock(mutex);
  trayLocked = false;
}

bool RegisteredDrive::RequestAbort() {
  std::lock_guard<std::mutex> lock(mutex);
  if (!exclusiveHeld) return false;
  abortRequested = true;
  return true;
}

bool RegisteredDrive::TakeAbort() { return abortRequested.exchange(false); }

DeviceRegistry& DeviceRegistry::Instance() {
  static DeviceRegistry registry;
  return registry;
}

StarBurnStatus DeviceRegistry::AttachVirtual(
    const std::vector<std::shared_ptr<DriveBackend>>& backends, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex);
  const std::size_t room = kLastLetter - kFirstLetter + 1;
  if (drives.size() + backends.size() > room) {
    *error = "at most " + std::to_string(room) + " virtual drives (letters D: to Z:)";
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  std::set<std::string> images;
  for (const auto& drive : drives) images.insert(drive->Backend().Identity());
  for (const auto& backend : backends) {
    const std::string image = backend->Identity();
    if (!image.empty() && !images.insert(image).second) {
      *error = image + " is the image of two virtual drives";
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
  }
  for (const auto& backend : backends) {
    const auto number = static_cast<uint8_t>(drives.size());
    const uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE] = {number, kVirtualPort, 0, number, 0};
    drives.push_back(std::make_shared<RegisteredDrive>("CdRom" + std::to_string(number),
                                                       static_cast<char>(kFirstLetter + number),
                                                       address, backend));
  }
  return STARBURN_OK;
}

std::vector<std::shared_ptr<RegisteredDrive>> DeviceRegistry::Drives() {
  std::lock_guard<std::mutex> lock(mutex);
  return drives;
}

std::shared_ptr<RegisteredDrive> DeviceRegistry::FindByName(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& drive : drives) {
    if (strcasecmp(drive->Name().c_str(), name.c_str()) == 0) return drive;
  }
  return nullptr;
}

std::shared_ptr<RegisteredDrive> DeviceRegistry::FindByLetter(char letter) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& drive : drives) {
    if (drive->Letter() != 0 && drive->Letter() == upper) return drive;
  }
  return nullptr;
}

std::shared_ptr<RegisteredDrive> DeviceRegistry::FindByAddress(uint8_t port, uint8_t bus,
                                                               uint8_t target, uint8_t lun) {
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& drive : drives) {
    const uint8_t* a = drive->Address();
    if (a[1] == port && a[2] == bus && a[3] == target && a[4] == lun) return drive;
  }
  return nullptr;
}

void DeviceRegistry::DetachAll() {
  std::lock_guard<std::mutex> lock(mutex);
  drives.clear();
}

}  // namespace starburn
