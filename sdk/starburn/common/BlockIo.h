#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/Object.h"
#include "starburn/StarBurn.h"

namespace starburn {

// Every disc and image block is 2048 bytes (Mode 1 / DVD / BD user data).
constexpr uint32_t kBlockSize = 2048;

// Random access to 2048-byte blocks: a drive's disc, an image file, memory.
// The session reader imports through it.
class BlockReader {
 public:
  virtual ~BlockReader() = default;
  // Reads count blocks from lba into out (count * kBlockSize bytes).
  virtual StarBurnStatus ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) = 0;
  // Number of readable blocks from block 0 (the end of the last session).
  virtual uint64_t BlockCount() const = 0;
};

// A built image, pulled block by block in address order. The recording call
// pulls it and writes what it gets, so no image is ever held whole.
class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // Address of the image's first block on the disc.
  virtual uint32_t StartAddress() const = 0;
  // Number of blocks of the image.
  virtual uint64_t BlockCount() const = 0;
  // The next count blocks into out. A failure (a source file unreadable or
  // changed) answers its status and a message through error; the stream then
  // stays failed.
  virtual StarBurnStatus Pull(uint8_t* out, uint32_t count, std::string* error) = 0;
};

// What the device layer needs of an image-tree handle (implemented in iso/).
class ImageProvider : public Object {
 public:
  // A new stream over the built image; fails before BuildImage succeeded.
  virtual StarBurnStatus OpenImage(std::unique_ptr<BlockSource>* out, std::string* error) = 0;
  // Lays the built image out again from another start address, with the
  // options it was built with: the recording call uses it when the disc's next
  // writable address moved after the image was built (an earlier session left
  // open is closed first). Fails before BuildImage succeeded, and when the
  // address lies inside imported data.
  virtual StarBurnStatus Relocate(uint32_t startAddress, std::string* error) = 0;
  // Whether the image goes wherever the disc takes it (an image file written
  // as it is): the recording call relocates it to the disc's next writable
  // address, or to block 0 of an overwritable disc, whose whole room it then
  // has. An image tree is laid out for one address and is refused elsewhere.
  virtual bool FollowsTheDisc() const { return false; }
};

// What the image-tree calls need of an open device handle (implemented in
// devices/): its disc as blocks, and where a track lies.
class DiscProvider : public Object {
 public:
  virtual BlockReader& DiscReader() = 0;
  // Start address and recorded length in blocks of a track of the disc.
  virtual StarBurnStatus TrackExtent(uint8_t track, uint32_t* start, uint32_t* blocks,
                                     std::string* error) = 0;
};

}  // namespace starburn
