// The service object's life as a host sees it: the factory, start-up and
// shut-down of the SDK, and the answers of a service whose SDK is not started.

#include <gtest/gtest.h>

#include <string>

#include "orlet/MediaBurning.h"
#include "support/DoubleFixture.h"
#include "support/RecordingObservers.h"

namespace {

using Orlet::MediaBurning;

class ServiceLifetimeTest : public support::DoubleTest {};

// Start-ups and shut-downs of one service: "i" Initialize (its result shown),
// "g" GetDriveInfo (shown), "u" Uninitialize, "s"/"h" the next start-up/shut-down
// of the SDK fails; the service is destroyed at the end. Then the start-ups and
// shut-downs the SDK saw.
struct Lifetime {
  const char* steps;
  const char* shown;
};

void PrintTo(const Lifetime& row, std::ostream* os) { *os << row.steps; }

class LifetimeTest : public ServiceLifetimeTest, public testing::WithParamInterface<Lifetime> {};

TEST_P(LifetimeTest, StartsAndShutsDownTheSdkOnlyWhenItMust) {
  MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  std::string shown;
  for (const char step : std::string(GetParam().steps)) {
    Orlet::DriveInfo info;
    if (step == 'i') shown += std::to_string(service->Initialize()) + " ";
    if (step == 'g') shown += std::to_string(service->GetDriveInfo(0, info)) + " ";
    if (step == 'u') service->Uninitialize();
    if (step == 's') Double().AnswerNext("StarBurn_UpStartEx", STARBURN_STATUS_BAD_CONFIGURATION);
    if (step == 'h') Double().AnswerNext("StarBurn_DownShut", STARBURN_STATUS_FAILED);
  }
  Orlet::DestroyMediaBurning(service);
  shown += std::to_string(Double().CountOf("StarBurn_UpStartEx")) + "/" +
           std::to_string(Double().CountOf("StarBurn_DownShut")) + "/" +
           std::to_string(Double().Journal().size());
  EXPECT_EQ(shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LifetimeTest,
    testing::Values(
        // Started once, shut down once by the destruction.
        Lifetime{"ii", "0 0 1/1/2"},
        // A failed start leaves the service stopped: no shut-down; a second try starts it.
        Lifetime{"siguiuu", "105 122 0 2/1/3"},
        // A failed shut-down leaves it started; the destruction tries again, and
        // when that fails too the SDK holder tries once more.
        Lifetime{"ihuih", "0 0 1/3/4"}));

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
