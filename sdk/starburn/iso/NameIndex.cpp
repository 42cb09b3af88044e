#include "iso/NameIndex.h"

namespace starburn {
namespace iso {

void NameIndex::Place(const Slot& slot) {
  const std::size_t mask = slots.size() - 1;
  std::size_t at = slot.tag & mask;
  while (slots[at].node != 0) at = (at + 1) & mask;
  slots[at] = slot;
}

void NameIndex::Add(uint64_t hash, uint32_t node) {
  // Kept at most half full, so a probe ends after a few slots.
  if (2 * (used + 1) > slots.size()) {
    std::vector<Slot> old;
    old.swap(slots);
    slots.assign(old.empty() ? kFirstSlots : 2 * old.size(), Slot{});
    for (const Slot& slot : old) {
      if (slot.node != 0) Place(slot);
    }
  }
  Place(Slot{Tag(hash), node + 1});
  ++used;
}

}  // namespace iso
}  // namespace starburn
