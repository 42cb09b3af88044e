// What a host binary relies on by position: the entries of the interfaces'
// virtual tables (a host compiled against one order calls through the table
// by place), the base order of the combined observer, and the offsets of the
// records hosts read directly (x86-64: 32-byte std::wstring, 24-byte
// std::vector). These fail when two declarations are swapped, one is inserted
// or a field changes its width.

#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "orlet/MediaBurning.h"
#include "platform/OrletBases.h"
#include "support/RecordingObservers.h"

namespace {

using namespace Orlet;
using Node = FileContainer::Node;
using Offsets = std::vector<std::ptrdiff_t>;

// The entry of a virtual operation in its class's table. Under the Itanium C++
// ABI a pointer to a virtual member function holds 1 + the entry's byte offset
// in the table; -1 for a pointer that does not name a virtual operation.
template <typename Member>
std::ptrdiff_t VirtualSlot(Member member) {
  static_assert(sizeof(Member) == 2 * sizeof(void*), "Itanium member-function pointer");
  std::ptrdiff_t raw = 0;
  std::memcpy(&raw, &member, sizeof raw);
  if (raw % static_cast<std::ptrdiff_t>(sizeof(void*)) != 1) return -1;
  return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// Each operation at the entry after the one before, from first on.
template <typename... Member>
void ExpectEntries(std::ptrdiff_t first, Member... operations) {
  const std::ptrdiff_t entries[] = {VirtualSlot(operations)...};
  for (const std::ptrdiff_t& entry : entries) EXPECT_EQ(entry, first + (&entry - entries));
}

// The offset of each field in its record.
template <typename Record, typename... Field>
Offsets OffsetsIn(const Record& record, const Field&... fields) {
  const auto* base = reinterpret_cast<const char*>(&record);
  return {(reinterpret_cast<const char*>(&fields) - base)...};
}

// The container's fields after its table pointer.
struct ContainerFields : FileContainer {
  Offsets Places() const { return OffsetsIn(*this, imageFileSystem, root); }
};

TEST(LayoutTest, TableEntriesKeepTheirPlaces) {
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

  // A host's combined observer: the burn side first, the drive-search side second.
  support::RecordingBurnObserver observer;
  MediaBurningObserver* whole = &observer;
  const auto* at = reinterpret_cast<const char*>(whole);
  EXPECT_EQ(reinterpret_cast<const char*>(static_cast<BurnObserver*>(whole)), at);
  EXPECT_EQ(reinterpret_cast<const char*>(static_cast<DriveSearchObserver*>(whole)),
            at + sizeof(void*));
}

TEST(LayoutTest, RecordFieldsKeepTheirOffsets) {
  const Node node;
  constexpr std::ptrdiff_t kList = sizeof(std::list<Node*>);
  EXPECT_EQ(
      OffsetsIn(node, node.type, node.reserved, node.imported, node.dirCount, node.fileCount,
                node.blockCount, node.size, node.parent, node.children, node.name, node.sourcePath),
      (Offsets{0, 4, 8, 12, 16, 20, 24, 32, 40, 40 + kList, 72 + kList}));
  EXPECT_EQ(ContainerFields().Places(), (Offsets{8, 16}));

  const DriveInfo info;
  EXPECT_EQ(
      OffsetsIn(info, info.accessMethod, info.deviceTag, info.portId, info.busId, info.targetId,
                info.lun, info.deviceName, info.productId, info.vendorId, info.productRevision,
                info.bufferSize, info.discType, info.discTypeName, info.spaceText, info.isBlank,
                info.freeBytes, info.usedBytes, info.freeSeconds, info.capacitySeconds,
                info.volumeLabel, info.driveLetter, info.mediaFormatsSize, info.mediaFormats,
                info.writeModes, info.writeSpeeds, info.readSpeeds, info.sessionStartAddress,
                info.isErasable, info.isCd, info.isDvd, info.isBd, info.applyWriteSpeed),
      (Offsets{0,   4,   8,   9,   10,  11,  16,  48,  80,  112, 144, 148, 152, 184, 216, 224,
               232, 240, 244, 248, 280, 312, 316, 484, 504, 528, 552, 556, 560, 564, 568, 572}));
  EXPECT_EQ(sizeof(DriveInfo), 576u);
  EXPECT_EQ(sizeof info.writeModes, 16u);
  const SpeedEntry entry{};
  EXPECT_EQ(OffsetsIn(entry, entry.speed, entry.label), (Offsets{0, 8}));
  EXPECT_EQ(sizeof(SpeedEntry), 16u);
  EXPECT_FALSE(std::is_polymorphic_v<DriveInfo>);
}

}  // namespace
