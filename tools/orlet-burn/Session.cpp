#include "Session.h"

#include <starburn/StarBurn.h>

#include <cstdio>

#include "DriveUse.h"
#include "Report.h"
#include "Words.h"

namespace orletburn {

namespace {

void CountDevice(uint32_t notification, void* context, void*, void*) {
  if (notification == STARBURN_NOTIFY_DEVICE_FOUND) ++*static_cast<unsigned*>(context);
}

}  // namespace

Session::~Session() {
  if (service == nullptr) return;
  if (started) service->Uninitialize();
  Orlet::DestroyMediaBurning(service);
}

bool Session::Open(const std::vector<std::string>& virtualDrives) {
  if (Orlet::CreateMediaBurning(service) != Orlet::ResultOk) {
    Error("the burning service could not be created");
    return false;
  }
  if (const int code = service->Initialize(); code != Orlet::ResultOk) {
    Error(
        Format("the burning SDK did not start (code %d); check "
               "STARBURN_VIRTUAL_DRIVES",
               code));
    return false;
  }
  started = true;
  // Attached drives are named CdRomN after the drives already known.
  unsigned known = 0;
  StarBurn_FindDevice(STARBURN_PERIPHERAL_CDROM, 0, CountDevice, &known);
  if (!virtualDrives.empty()) firstAttached = L"CdRom" + std::to_wstring(known);
  for (const auto& drive : virtualDrives) {
    char error[STARBURN_ERROR_TEXT_SIZE] = "";
    if (StarBurn_AttachVirtualDrives(drive.c_str(), error, sizeof error) != STARBURN_OK) {
      Error(Format("--virtual %s: %s", drive.c_str(), error));
      return false;
    }
  }
  service->StartDriveSearch(0, 0);
  return true;
}

bool Session::Drive(std::optional<std::size_t> asked, Orlet::DriveInfo& info) {
  const std::size_t count = service->GetDriveCount();
  index = asked.value_or(0);
  if (!asked && !firstAttached.empty()) {
    for (std::size_t i = 0; i < count; ++i) {
      if (service->GetDriveInfo(i, info) == Orlet::ResultOk && info.deviceName == firstAttached) {
        index = i;
        break;
      }
    }
  }
  if (index >= count) {
    Error(Format("there is no drive %zu (%zu drive%s found)", index, count, count == 1 ? "" : "s"));
    return false;
  }
  if (const int code = service->GetDriveInfo(index, info); code != Orlet::ResultOk) {
    Error(Format("drive %zu: %s (code %d)", index, ResultWords(code).c_str(), code));
    return false;
  }
  return true;
}

bool Session::DriveToWrite(std::optional<std::size_t> asked, Orlet::DriveInfo& info) {
  if (!Drive(asked, info)) return false;
  if (!HeldByAnotherProgram(info)) return true;
  Error(Format("%s; try again when it is done", kHeldElsewhere));
  return false;
}

}  // namespace orletburn
