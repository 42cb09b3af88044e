// orlet-burn: a sample host of the media-burning library.

#include <cstdio>
#include <string>

#include "orlet/MediaBurning.h"

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

int ListDrives() {
  Orlet::MediaBurning* service = nullptr;
  if (Orlet::CreateMediaBurning(service) != Orlet::ResultOk) {
    std::fprintf(stderr, "orlet-burn: the burning service could not be created\n");
    return 1;
  }
  const int started = service->Initialize();
  if (started != Orlet::ResultOk) {
    std::fprintf(stderr, "orlet-burn: the burning SDK did not start (code %d)\n", started);
    Orlet::DestroyMediaBurning(service);
    return 1;
  }
  service->StartDriveSearch(0, 0);
  const std::size_t count = service->GetDriveCount();
  std::printf("%zu drive(s)\n", count);
  for (std::size_t i = 0; i < count; ++i) {
    Orlet::DriveInfo info;
    if (service->GetDriveInfo(i, info) != Orlet::ResultOk) continue;
    std::printf("%zu  %s  %s %s  %s\n", i, Narrow(info.driveLetter).c_str(),
                Narrow(info.vendorId).c_str(), Narrow(info.productId).c_str(),
                Narrow(info.discTypeName).c_str());
  }
  service->Uninitialize();
  Orlet::DestroyMediaBurning(service);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "drives";
  if (command == "--version") {
    std::printf("orlet-burn %s\n", ORLET_VERSION);
    return 0;
  }
  if (command == "drives") return ListDrives();
  std::fprintf(stderr, "usage: orlet-burn [drives | --version]\n");
  return 2;
}
