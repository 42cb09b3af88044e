#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/BlockIo.h"

namespace starburn {

// An image file (an .iso) written to a disc as it is, pulled from the file in
// address order, so that no image is ever held whole. It goes wherever the
// disc takes it (FollowsTheDisc); its start address is the one the recording
// call last gave it.
//
// Threads: one recording call at a time uses it; it is not shared.
class FileImage : public ImageProvider {
 public:
  explicit FileImage(std::string path) : path(std::move(path)) {}

  // Opens the file: STARBURN_STATUS_NOT_FOUND when it cannot be opened,
  // STARBURN_STATUS_INVALID_ARGUMENT when it is not a regular file of a whole,
  // non-zero number of 2048-byte blocks.
  StarBurnStatus OpenImage(std::unique_ptr<BlockSource>* out, std::string* error) override;
  StarBurnStatus Relocate(uint32_t startAddress, std::string* error) override;
  bool FollowsTheDisc() const override { return true; }

  uint32_t Start() const { return start; }

 private:
  const std::string path;
  uint32_t start = 0;
};

}  // namespace starburn
