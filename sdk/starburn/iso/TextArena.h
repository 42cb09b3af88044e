#pragma once

// Zero-ended texts stored one after another and never moved, each addressed
// by a 32-bit offset. Storage comes in blocks of kBlockBytes as it is needed,
// so growing neither copies what is stored (as a doubled buffer would, with
// both copies alive at once) nor leaves up to half of the last buffer unused.
//
// Owned by one tree; used by that tree's thread only.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace starburn {
namespace iso {

class TextArena {
 public:
  // Appends text and its zero; *offset receives where. False, with nothing
  // stored, when the 32-bit offsets are used up.
  bool Store(std::string_view text, uint32_t* offset);
  // The text stored at offset (an answer of Store).
  const char* At(uint32_t offset) const {
    return blocks[offset >> kBlockBits].get() + (offset & (kBlockBytes - 1));
  }

 private:
  // 1 MiB: far more than any name or path, little next to a tree that needs
  // a second block.
  static constexpr uint32_t kBlockBits = 20;
  static constexpr uint32_t kBlockBytes = uint32_t{1} << kBlockBits;
  // Blocks addressable with 32-bit offsets.
  static constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - kBlockBits);

  std::vector<std::unique_ptr<char[]>> blocks;  // new texts go into the last
  uint32_t used = kBlockBytes;  // bytes taken in the last block (no block yet: full)
};

}  // namespace iso
}  // namespace starburn
