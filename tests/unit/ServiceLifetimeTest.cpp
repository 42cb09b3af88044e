// The service object's life as a host sees it: the factory, start-up and
// shut-down of the SDK, and the answers of a service whose SDK is not started.

#include <gtest/gtest.h>

#include "orlet/MediaBurning.h"
#include "support/AllocationFailures.h"
#include "support/DoubleFixture.h"
#include "support/RecordingObservers.h"

namespace {

using Orlet::MediaBurning;

class ServiceLifetimeTest : public support::DoubleTest {};

TEST_F(ServiceLifetimeTest, FactoryAnswers102WhenAnyAllocationOfTheServiceFails) {
  // What the host's variable held before: a failed construction leaves it so.
  int hostsOwn = 0;
  MediaBurning* const before = reinterpret_cast<MediaBurning*>(&hostsOwn);
  // The first allocation of the construction fails, then the second, and so
  // on, until a construction needs fewer allocations than the count.
  for (long failing = 1;; ++failing) {
    SCOPED_TRACE(failing);
    MediaBurning* service = before;
    int result = -1;
    bool thrown = false;
    support::FailAllocation(failing);
    try {
      result = Orlet::CreateMediaBurning(service);
    } catch (...) {
      thrown = true;
    }
    const bool failed = support::AllocationFailed();
    EXPECT_FALSE(thrown);
    if (!failed) {
      EXPECT_EQ(result, Orlet::ResultOk);
      EXPECT_GT(failing, 2);  // the service and what it holds: several allocations
      Orlet::DestroyMediaBurning(service);
      break;
    }
    EXPECT_EQ(result, Orlet::ResultCreateFailed);
    EXPECT_EQ(service, before);  // nothing half-built is handed out
    if (thrown || result != Orlet::ResultCreateFailed) break;
  }
}

TEST_F(ServiceLifetimeTest, InitializeStartsTheSdkOnceAndDestroyShutsItDownOnce) {
  MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  EXPECT_EQ(service->Initialize(), Orlet::ResultOk);
  EXPECT_EQ(service->Initialize(), Orlet::ResultOk);
  EXPECT_EQ(Double().CountOf("StarBurn_UpStartEx"), 1u);
  EXPECT_EQ(Double().CountOf("StarBurn_DownShut"), 0u);
  Orlet::DestroyMediaBurning(service);
  EXPECT_EQ(Double().CountOf("StarBurn_DownShut"), 1u);
  EXPECT_EQ(Double().Journal().size(), 2u);  // the start and the shut-down, nothing else
}

TEST_F(ServiceLifetimeTest, FailedStartLeavesTheServiceStopped) {
  MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  Double().AnswerNext("StarBurn_UpStartEx", STARBURN_STATUS_BAD_CONFIGURATION);
  EXPECT_EQ(service->Initialize(), Orlet::ResultFailed);
  Orlet::DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultNotStarted);
  service->Uninitialize();                            // not started: no shut-down
  EXPECT_EQ(service->Initialize(), Orlet::ResultOk);  // a second try starts it
  EXPECT_EQ(Double().CountOf("StarBurn_UpStartEx"), 2u);
  service->Uninitialize();
  EXPECT_EQ(Double().CountOf("StarBurn_DownShut"), 1u);
  Orlet::DestroyMediaBurning(service);
  EXPECT_EQ(Double().CountOf("StarBurn_DownShut"), 1u);  // already stopped
}

TEST_F(ServiceLifetimeTest, FailedShutDownLeavesTheServiceStarted) {
  MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  Double().AnswerNext("StarBurn_DownShut", STARBURN_STATUS_FAILED);
  service->Uninitialize();
  // Still counted as started: Initialize answers at once, without starting.
  EXPECT_EQ(service->Initialize(), Orlet::ResultOk);
  EXPECT_EQ(Double().CountOf("StarBurn_UpStartEx"), 1u);
  // Destruction shuts down; when that fails too, the SDK holder tries again.
  Double().AnswerNext("StarBurn_DownShut", STARBURN_STATUS_FAILED);
  Orlet::DestroyMediaBurning(service);
  EXPECT_EQ(Double().CountOf("StarBurn_DownShut"), 3u);
}

TEST_F(ServiceLifetimeTest, ServiceThatIsNotStartedRefusesOrDoesNothing) {
  MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  support::RecordingEraseObserver eraseObserver;
  Orlet::DriveInfo info;

  service->StartDriveSearch(0, 0);
  service->RefreshDrives();
  service->Cancel();
  EXPECT_EQ(service->GetDriveCount(), 0u);
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultNotStarted);
  EXPECT_EQ(service->Burn(0, L"Label", 65535, 0), Orlet::ResultNotStarted);
  EXPECT_EQ(service->Erase(0), Orlet::ResultNoObserver);
  service->SetEraseObserver(&eraseObserver);
  EXPECT_EQ(service->Erase(0), Orlet::ResultNotStarted);
  EXPECT_EQ(eraseObserver.Calls(), (std::vector<std::string>{"OnEraseEvent(4,257)"}));
  EXPECT_TRUE(Double().Journal().empty());  // nothing reached the SDK
  Orlet::DestroyMediaBurning(service);
}

}  // namespace
