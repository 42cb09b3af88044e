#pragma once

#include <starburn/StarBurn.h>

#include <cstdint>
#include <map>
#include <string>

namespace orletburn {

// The disc's last session, imported into an SDK tree for reading: the tree of
// names, sizes and recording times, and the files' contents. Opens the drive
// shared, so that it reads beside a program that holds it for reading too.
// Threads: one thread at a time. Node handles stay valid for the reader's life.
class DiscReader {
 public:
  DiscReader() = default;
  DiscReader(const DiscReader&) = delete;
  DiscReader& operator=(const DiscReader&) = delete;
  ~DiscReader();

  // Opens the drive and imports its last session; false with error set when
  // the drive, its disc or the session's file system cannot be read.
  bool Open(const std::string& deviceName);

  void* Root();
  // The kids of node by their visible names (the Joliet names where the disc
  // has them, as the library names imported entries).
  std::map<std::string, void*> Kids(void* node);
  bool IsDirectory(void* node);
  unsigned long long SizeOf(void* node);
  // The node's recording time in seconds since 1970 (UTC); false when the
  // disc recorded none.
  bool TimeOf(void* node, int64_t* unixSeconds);
  // Whether the node's content equals the file at path (of equal size).
  bool SameContent(void* node, const std::string& path);

  char error[STARBURN_ERROR_TEXT_SIZE] = "";

 private:
  void* device = nullptr;
  void* tree = nullptr;
};

}  // namespace orletburn
