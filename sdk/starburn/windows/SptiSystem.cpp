#include "windows/SptiSystem.h"

namespace starburn {

namespace {

class RealSystem : public SptiSystem {
 public:
  uint32_t LogicalDrives() override { return ::GetLogicalDrives(); }

  unsigned DriveType(char letter) override {
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    return ::GetDriveTypeW(root);
  }

  HANDLE Open(const std::wstring& path, bool exclusive, DWORD* error) override {
    const DWORD sharing = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, sharing,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    *error = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    return handle;
  }

  void Close(HANDLE handle) override { ::CloseHandle(handle); }

  DWORD PassThrough(HANDLE handle, SptiRequest* request) override {
    DWORD returned = 0;
    const BOOL done =
        ::DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, request, sizeof *request, request,
                          sizeof *request, &returned, nullptr);
    return done != 0 ? 0 : ::GetLastError();
  }

  DWORD Address(HANDLE handle, SCSI_ADDRESS* address) override {
    DWORD returned = 0;
    address->Length = sizeof *address;
    const BOOL done = ::DeviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, address,
                                        sizeof *address, &returned, nullptr);
    return done != 0 ? 0 : ::GetLastError();
  }
};

}  // namespace

std::shared_ptr<SptiSystem> SptiSystem::Windows() {
  static const std::shared_ptr<SptiSystem> system = std::make_shared<RealSystem>();
  return system;
}

}  // namespace starburn
