// The library as a host links it: the shipped shared libraries and the real SDK.

#include <gtest/gtest.h>

#include "orlet/MediaBurning.h"

namespace {

TEST(HostTest, HostStartsAndStopsTheServiceThroughTheSharedLibrary) {
  Orlet::MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  EXPECT_EQ(service->Initialize(), Orlet::ResultOk);
  service->StartDriveSearch(0, 0);
  Orlet::DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(service->GetDriveCount(), info), Orlet::ResultInvalidArgument);
  service->Uninitialize();
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultNotStarted);
  EXPECT_EQ(Orlet::DestroyMediaBurning(service), Orlet::ResultOk);
}

}  // namespace
