#pragma once

// The nodes of an image tree by the hash of their parent and identifier in
// one name space, so that a clash among siblings is found in constant time
// however many siblings there are. The index holds no names: a hit is
// confirmed by the caller against the node itself. Open addressing over one
// array of (hash tag, node) pairs, at most half full: eight bytes a slot, no
// allocation per node.
//
// Owned by its tree; used by the tree's thread only.

#include <cstdint>
#include <vector>

namespace starburn {
namespace iso {

class NameIndex {
 public:
  void Add(uint64_t hash, uint32_t node);

  // Calls confirm(node) for each node filed under hash (and, rarely, under
  // another hash with the same tag) until it answers true; answers whether
  // one did.
  template <typename Confirm>
  bool Any(uint64_t hash, Confirm confirm) const {
    if (slots.empty()) return false;
    const std::size_t mask = slots.size() - 1;
    const uint32_t tag = Tag(hash);
    for (std::size_t at = tag & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots[at];
      if (slot.node == 0) return false;
      if (slot.tag == tag && confirm(slot.node - 1)) return true;
    }
  }

 private:
  struct Slot {
    uint32_t tag = 0;
    uint32_t node = 0;  // 1 + the node's index; 0 for an empty slot
  };
  // The low half of the mixed hash both places a node and tells it apart, so
  // the array grows without the nodes' hashes being made again; hashes that
  // share it are told apart by the caller's confirmation. The mix (the
  // finaliser of MurmurHash3) matters: callers' hashes of one name in
  // consecutive directories differ only in their low bits, and unmixed they
  // would fill runs of neighbouring slots that every probe then walks.
  static uint32_t Tag(uint64_t hash) {
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ULL;
    hash ^= hash >> 33;
    return static_cast<uint32_t>(hash);
  }
  void Place(const Slot& slot);

  // The first array: enough for a small tree without growing.
  static constexpr std::size_t kFirstSlots = 64;

  std::vector<Slot> slots;  // a power of two in size
  std::size_t used = 0;
};

}  // namespace iso
}  // namespace starburn
