#pragma once

// A block source pulled ahead on a thread of its own: while a recording
// writes one run of blocks to the drive, the next runs are read from the
// source (for an image tree, its source files), so that reading and writing
// overlap where the machine has a second core. The blocks come out exactly
// as the source gives them and in the same order; a failure of the source
// comes out at the pull that reaches it, after every block before it, and
// the stream then stays failed, as the source's own would.
//
// The source is pulled in runs of runBlocks: a caller that pulls runs of
// that size sees a failure at the same pull as it would pulling the source
// directly. Where no thread can be started, the source is pulled directly.
//
// Threads: Pull is called by one thread at a time. From construction to
// destruction only the read-ahead thread touches the source. The destructor
// stops that thread and waits for it (at most the one pull it is inside).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/BlockIo.h"

namespace starburn {

class ReadAhead : public BlockSource {
 public:
  ReadAhead(BlockSource& source, uint32_t runBlocks);
  ~ReadAhead() override;
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  uint32_t StartAddress() const override { return start; }
  uint64_t BlockCount() const override { return count; }
  StarBurnStatus Pull(uint8_t* out, uint32_t blocks, std::string* error) override;

  // Runs read ahead at most: 2 MiB in runs of 32 blocks, enough to keep the
  // drive fed across a burst of small files without holding much memory.
  static constexpr std::size_t kMaxRuns = 32;

 private:
  struct Run {
    std::vector<uint8_t> data;
    uint32_t blocks = 0;  // blocks in data, none of them read when status says a failure
    StarBurnStatus status = STARBURN_OK;
    std::string error;
  };
  void Fill();

  BlockSource& source;
  const uint32_t start;
  const uint64_t count;
  const uint32_t runBlocks;

  std::mutex lock;
  std::condition_variable changed;
  std::deque<Run> ready;                    // read, not yet pulled (guarded by lock)
  std::vector<std::vector<uint8_t>> spare;  // emptied buffers for new runs (guarded by lock)
  bool stopping = false;                    // the destructor runs (guarded by lock)
  bool finished = false;                    // the thread reads no more (guarded by lock)

  // The caller's side: the run being pulled from and how many of its blocks
  // went out already.
  Run current;
  uint32_t taken = 0;
  bool direct = false;  // no thread: the source is pulled as it is
  std::thread filler;
};

}  // namespace starburn
