#include <orlet/MediaBurning.h>
#include <orlet/Version.h>

#include <cstdlib>
#include <cstring>

// host [DRIVES]: starts and stops the service and makes a container of its own;
// with DRIVES, also searches and expects that many drives
// (STARBURN_VIRTUAL_DRIVES lists them).
int main(int argc, char** argv) {
  // The installed header and the loaded library are of one version.
  if (std::strcmp(Orlet::GetLibraryVersion(), ORLET_VERSION_STRING) != 0) return 4;
  Orlet::MediaBurning* service = nullptr;
  if (Orlet::CreateMediaBurning(service) != Orlet::ResultOk) return 1;
  const int started = service->Initialize();
  bool found = true;
  if (argc > 1) {
    service->StartDriveSearch(0, 0);
    found = service->GetDriveCount() == std::strtoul(argv[1], nullptr, 10);
  }
  service->Uninitialize();
  Orlet::DestroyMediaBurning(service);
  Orlet::FileContainer container;  // made and freed by host code
  if (started != Orlet::ResultOk || container.AddRoot(L"Label", L'D') == nullptr) return 2;
  return found ? 0 : 3;
}
