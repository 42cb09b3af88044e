#include "iso/TextArena.h"

#include <algorithm>
#include <cstring>

namespace starburn {
namespace iso {

bool TextArena::Store(std::string_view text, uint32_t* offset) {
  const std::size_t bytes = text.size() + 1;
  // A text never straddles two blocks: the rest of a block too small for it
  // stays unused. One longer than a block gets a block of its own size, which
  // it fills: it starts at the block's beginning, so its offset still fits.
  if (kBlockBytes - used < bytes) {
    if (blocks.size() == kMaxBlocks) return false;
    blocks.push_back(std::make_unique<char[]>(std::max<std::size_t>(bytes, kBlockBytes)));
    used = 0;
  }
  char* at = blocks.back().get() + used;
  std::memcpy(at, text.data(), text.size());
  at[text.size()] = '\0';
  *offset = static_cast<uint32_t>(((blocks.size() - 1) << kBlockBits) | used);
  used = bytes > kBlockBytes ? kBlockBytes : used + static_cast<uint32_t>(bytes);
  return true;
}

}  // namespace iso
}  // namespace starburn
