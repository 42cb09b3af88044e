#pragma once

#include <cstdint>

#include "orlet/FileContainer.h"

namespace Orlet {

// The record a container allocates for each of its nodes: the node the host
// reads, followed by what the container read about a file that the host does
// not see. Every node is made and freed by the container (FileContainer::Node
// says so), so each one is a StoredNode and frees as one. The eight bytes fit
// in the allocation a bare node already takes (malloc rounds 128 up to 136
// usable bytes), so they cost no memory.
//
// Same threads as the container that owns the node.
struct StoredNode : FileContainer::Node {
  // modified of a node whose status the container did not keep.
  static constexpr int64_t kNoStatus = INT64_MIN;

  // A file that the folder walk found to be a regular file this process may
  // read: its modification time (seconds since 1970) from the status query
  // that sized it, so the recording need not ask the file system again.
  // kNoStatus for every other node, and for files added any other way.
  int64_t modified = kNoStatus;

  static StoredNode& Of(FileContainer::Node& node) { return static_cast<StoredNode&>(node); }
  static const StoredNode& Of(const FileContainer::Node& node) {
    return static_cast<const StoredNode&>(node);
  }
};

}  // namespace Orlet
