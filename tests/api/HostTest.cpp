// The library as a host links it: the shipped shared libraries and the real SDK.
// What the service and the container do is tested on the library's objects
// (tests/unit, tests/e2e); exported_symbols.sh checks what the libraries export.

#include <gtest/gtest.h>

#include "orlet/MediaBurning.h"

namespace {

TEST(HostTest, HostUsesTheServiceAndAContainerThroughTheSharedLibrary) {
  Orlet::MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  EXPECT_EQ(service->Initialize(), Orlet::ResultOk);
  service->StartDriveSearch(0, 0);
  Orlet::DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(service->GetDriveCount(), info), Orlet::ResultInvalidArgument);
  service->Uninitialize();
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultNotStarted);
  EXPECT_EQ(Orlet::DestroyMediaBurning(service), Orlet::ResultOk);

  Orlet::FileContainer container;  // made and freed by host code
  EXPECT_NE(container.AddRoot(L"Label", L'D'), nullptr);
}

}  // namespace
