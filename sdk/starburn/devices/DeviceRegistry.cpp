#include "devices/DeviceRegistry.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
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
  const std::string free = FreeLettersInternal();
  if (backends.size() > free.size()) {
    *error = "at most " + std::to_string(free.size()) +
             " virtual drives: the letters D: to Z: run out (real drives take letters too)";
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
  for (std::size_t i = 0; i < backends.size(); ++i) {
    const auto number = static_cast<uint8_t>(drives.size());
    const uint8_t address[4] = {kVirtualPort, 0, number, 0};
    AppendInternal(address, free[i], backends[i]);
  }
  return STARBURN_OK;
}

void DeviceRegistry::AttachDiscovered(const Discovery& discovery) {
  std::lock_guard<std::mutex> lock(mutex);
  for (const FoundDrive& found : discovery.drives) {
    const bool known = std::any_of(drives.begin(), drives.end(), [&](const auto& drive) {
      return drive->Backend().Identity() == found.node;
    });
    // The tag byte is the drive's number: past 255 drives the registry is full.
    if (known || drives.size() > UINT8_MAX) continue;
    const auto number = static_cast<uint8_t>(drives.size());
    const ScsiAddress& a = found.address;
    const uint8_t unknown[4] = {kUnknownPort, 0, number, 0};
    const uint8_t given[4] = {a.host, a.channel, a.target, a.lun};
    const std::string free =
        found.letter != 0 ? std::string(1, found.letter) : FreeLettersInternal();
    const char letter = free.empty() ? '\0' : free[0];
    AppendInternal(found.addressKnown ? given : unknown, letter, found.backend);
  }
  skipped = discovery.skipped;
}

std::vector<SkippedNode> DeviceRegistry::Skipped() {
  std::lock_guard<std::mutex> lock(mutex);
  return skipped;
}

std::string DeviceRegistry::FreeLettersInternal() const {
  const uint32_t system = SystemDriveLetters();
  std::string free;
  for (char letter = kFirstLetter; letter <= kLastLetter; ++letter) {
    if ((system & (1u << (letter - 'A'))) == 0 && FindLetterInternal(letter) == nullptr) {
      free.push_back(letter);
    }
  }
  return free;
}

void DeviceRegistry::AppendInternal(const uint8_t scsiAddress[4], char letter,
                                    std::shared_ptr<DriveBackend> backend) {
  const auto number = static_cast<uint8_t>(drives.size());
  const uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE] = {number, scsiAddress[0], scsiAddress[1],
                                                         scsiAddress[2], scsiAddress[3]};
  drives.push_back(std::make_shared<RegisteredDrive>("CdRom" + std::to_string(number), letter,
                                                     address, std::move(backend)));
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
  return FindLetterInternal(upper);
}

std::shared_ptr<RegisteredDrive> DeviceRegistry::FindLetterInternal(char letter) const {
  for (const auto& drive : drives) {
    if (drive->Letter() != 0 && drive->Letter() == letter) return drive;
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
  skipped.clear();
}

}  // namespace starburn
