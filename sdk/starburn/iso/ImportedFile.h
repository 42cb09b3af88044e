#pragma once

#include <cstdint>
#include <string>

#include "common/BlockIo.h"
#include "iso/FileTree.h"

namespace starburn {
namespace iso {

// Reads up to size bytes at offset of an imported file, through its extents,
// from reader (the disc the session was imported from). *done receives the
// bytes read: fewer than size only at the end of the file. A node that is not
// an imported file answers STARBURN_STATUS_INVALID_ARGUMENT.
StarBurnStatus ReadImportedFile(const Node& file, BlockReader& reader, uint64_t offset,
                                uint8_t* buffer, uint32_t size, uint32_t* done, std::string* error);

}  // namespace iso
}  // namespace starburn
