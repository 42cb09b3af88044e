// The order of the virtual operations is part of the host interface: a host
// compiled against one order calls through the table by position. These tests
// fail when two declarations are swapped or one is inserted.

#include <gtest/gtest.h>

#include "orlet/MediaBurning.h"
#include "platform/OrletBases.h"
#include "support/VirtualSlots.h"

namespace {

using support::VirtualSlot;

// The destructor fills table entries 0 and 1; operation k of the interface
// (1-based, as the interface numbers them) sits at entry k + 1.
constexpr std::ptrdiff_t kAfterDestructor = 1;

TEST(InterfaceLayoutTest, MediaBurningOperationsKeepTheirSlots) {
  using Orlet::MediaBurning;
  EXPECT_EQ(VirtualSlot(&MediaBurning::SetBurnObserver), kAfterDestructor + 1);
  EXPECT_EQ(VirtualSlot(&MediaBurning::SetEraseObserver), kAfterDestructor + 2);
  EXPECT_EQ(VirtualSlot(&MediaBurning::Initialize), kAfterDestructor + 3);
  EXPECT_EQ(VirtualSlot(&MediaBurning::Uninitialize), kAfterDestructor + 4);
  EXPECT_EQ(VirtualSlot(&MediaBurning::StartDriveSearch), kAfterDestructor + 5);
  EXPECT_EQ(VirtualSlot(&MediaBurning::RefreshDrives), kAfterDestructor + 6);
  EXPECT_EQ(VirtualSlot(&MediaBurning::GetDriveCount), kAfterDestructor + 7);
  EXPECT_EQ(VirtualSlot(&MediaBurning::GetDriveInfo), kAfterDestructor + 8);
  EXPECT_EQ(VirtualSlot(&MediaBurning::IsDiscWritable), kAfterDestructor + 9);
  EXPECT_EQ(VirtualSlot(&MediaBurning::Burn), kAfterDestructor + 10);
  EXPECT_EQ(VirtualSlot(&MediaBurning::Erase), kAfterDestructor + 11);
  EXPECT_EQ(VirtualSlot(&MediaBurning::Cancel), kAfterDestructor + 12);
}

TEST(InterfaceLayoutTest, ObserversKeepTheirSlotsAndHaveNoDestructorEntry) {
  using Orlet::BurnObserver;
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnPrepareEvent), 0);
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnFillContainer), 1);
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnTreeNameKind0), 2);
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnTreeNameKind2), 3);
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnAskImportSession), 4);
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnBurnEvent), 5);
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnBurnProgress), 6);
  EXPECT_EQ(VirtualSlot(&BurnObserver::OnAskRetryOpen), 7);

  EXPECT_EQ(VirtualSlot(&Orlet::DriveSearchObserver::OnSearchFinished), 0);

  using Orlet::EraseObserver;
  EXPECT_EQ(VirtualSlot(&EraseObserver::OnAskRetryOpen), 0);
  EXPECT_EQ(VirtualSlot(&EraseObserver::OnEraseEvent), 1);
  EXPECT_EQ(VirtualSlot(&EraseObserver::OnEraseEstimate), 2);

  using Orlet::FileContainerObserver;
  EXPECT_EQ(VirtualSlot(&FileContainerObserver::OnAddItem), 0);
  EXPECT_EQ(VirtualSlot(&FileContainerObserver::OnAddFileFailed), 1);

  EXPECT_FALSE(std::has_virtual_destructor_v<Orlet::BurnObserver>);
  EXPECT_FALSE(std::has_virtual_destructor_v<Orlet::EraseObserver>);
  EXPECT_FALSE(std::has_virtual_destructor_v<Orlet::FileContainerObserver>);
  EXPECT_FALSE(std::has_virtual_destructor_v<Orlet::DriveSearchObserver>);
}

// A host's combined observer: the burn side first, the drive-search side second.
class HostObserver : public Orlet::MediaBurningObserver {
 public:
  void OnPrepareEvent(int, int) override {}
  int OnFillContainer(Orlet::FileContainer*) override { return 1; }
  void OnTreeNameKind0(const std::wstring&) override {}
  void OnTreeNameKind2(const std::wstring&) override {}
  int OnAskImportSession() override { return 0; }
  void OnBurnEvent(int, int) override {}
  void OnBurnProgress(int, int) override {}
  int OnAskRetryOpen() override { return 0; }
  void OnSearchFinished() override {}
};

TEST(InterfaceLayoutTest, MediaBurningObserverPutsTheBurnObserverFirst) {
  HostObserver observer;
  auto* whole = reinterpret_cast<const char*>(&observer);
  auto* burn = reinterpret_cast<const char*>(static_cast<Orlet::BurnObserver*>(&observer));
  auto* search = reinterpret_cast<const char*>(static_cast<Orlet::DriveSearchObserver*>(&observer));
  EXPECT_EQ(burn - whole, 0);
  EXPECT_EQ(search - whole, static_cast<std::ptrdiff_t>(sizeof(void*)));
}

TEST(InterfaceLayoutTest, ThreadKeepsItsTableOrder) {
  EXPECT_EQ(VirtualSlot(&Orlet::Thread::StopThread), kAfterDestructor + 1);
  EXPECT_EQ(VirtualSlot(&Orlet::Thread::OnPreThreadStart), kAfterDestructor + 2);
  EXPECT_EQ(VirtualSlot(&Orlet::Thread::ThreadProc), kAfterDestructor + 3);
}

}  // namespace
