// What a host binary relies on by position: the entries of the interfaces'
// virtual tables (a host compiled against one order calls through the table
// by place) and the places of the fields of the container's records, which
// hosts read directly. These fail when two declarations are swapped or one is
// inserted.

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "orlet/MediaBurning.h"
#include "platform/OrletBases.h"
#include "support/VirtualSlots.h"

namespace {

using support::VirtualSlot;
using namespace Orlet;
using Node = FileContainer::Node;

// The container's fields after its table pointer.
struct ContainerFields : FileContainer {
  std::ptrdiff_t At(const void* field) const {
    return static_cast<const char*>(field) - reinterpret_cast<const char*>(this);
  }
  std::ptrdiff_t FileSystem() const { return At(&imageFileSystem); }
  std::ptrdiff_t Root() const { return At(&root); }
};

// Each operation at the entry after the one before, from first on.
template <typename... Member>
void ExpectEntries(std::ptrdiff_t first, Member... operations) {
  const std::ptrdiff_t entries[] = {VirtualSlot(operations)...};
  for (const std::ptrdiff_t& entry : entries) EXPECT_EQ(entry, first + (&entry - entries));
}

TEST(InterfaceLayoutTest, EntriesAndFieldsKeepTheirPlaces) {
  // A virtual destructor takes entries 0 and 1.
  using M = MediaBurning;
  ExpectEntries(2, &M::SetBurnObserver, &M::SetEraseObserver, &M::Initialize, &M::Uninitialize,
                &M::StartDriveSearch, &M::RefreshDrives, &M::GetDriveCount, &M::GetDriveInfo,
                &M::IsDiscWritable, &M::Burn, &M::Erase, &M::Cancel);
  using B = BurnObserver;
  ExpectEntries(0, &B::OnPrepareEvent, &B::OnFillContainer, &B::OnTreeNameKind0,
                &B::OnTreeNameKind2, &B::OnAskImportSession, &B::OnBurnEvent, &B::OnBurnProgress,
                &B::OnAskRetryOpen);
  ExpectEntries(0, &DriveSearchObserver::OnSearchFinished);
  ExpectEntries(0, &EraseObserver::OnAskRetryOpen, &EraseObserver::OnEraseEvent,
                &EraseObserver::OnEraseEstimate);
  ExpectEntries(0, &FileContainerObserver::OnAddItem, &FileContainerObserver::OnAddFileFailed);
  ExpectEntries(2, &Thread::StopThread, &Thread::OnPreThreadStart, &Thread::ThreadProc);

  Node node;
  const auto at = [&node](const void* field) {
    return static_cast<const char*>(field) - reinterpret_cast<const char*>(&node);
  };
  constexpr std::ptrdiff_t kList = sizeof(std::list<Node*>);
  EXPECT_EQ((std::vector<std::ptrdiff_t>{at(&node.type), at(&node.reserved), at(&node.imported),
                                         at(&node.dirCount), at(&node.fileCount),
                                         at(&node.blockCount), at(&node.size), at(&node.parent),
                                         at(&node.children), at(&node.name), at(&node.sourcePath)}),
            (std::vector<std::ptrdiff_t>{0, 4, 8, 12, 16, 20, 24, 32, 40, 40 + kList,
                                         40 + kList + sizeof(std::wstring)}));
  const ContainerFields container;
  EXPECT_EQ(container.FileSystem(), sizeof(void*));
  EXPECT_EQ(container.Root(), 2 * sizeof(void*));
}

// A host's combined observer: the burn side first, the drive-search side second.
struct HostObserver : MediaBurningObserver {
  void OnPrepareEvent(int, int) override {}
  int OnFillContainer(FileContainer*) override { return 1; }
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
  const auto* whole = reinterpret_cast<const char*>(&observer);
  EXPECT_EQ(reinterpret_cast<const char*>(static_cast<BurnObserver*>(&observer)), whole);
  EXPECT_EQ(reinterpret_cast<const char*>(static_cast<DriveSearchObserver*>(&observer)),
            whole + sizeof(void*));
}

}  // namespace
