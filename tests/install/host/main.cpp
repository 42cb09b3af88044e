#include <orlet/MediaBurning.h>

int main() {
  Orlet::MediaBurning* service = nullptr;
  if (Orlet::CreateMediaBurning(service) != Orlet::ResultOk) return 1;
  const int started = service->Initialize();
  service->Uninitialize();
  Orlet::DestroyMediaBurning(service);
  return started == Orlet::ResultOk ? 0 : 2;
}
