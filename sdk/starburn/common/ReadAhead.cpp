#include "common/ReadAhead.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace starburn {

ReadAhead::ReadAhead(BlockSource& source, uint32_t runBlocks)
    : source(source),
      start(source.StartAddress()),
      count(source.BlockCount()),
      runBlocks(std::max<uint32_t>(runBlocks, 1)) {
  try {
    filler = std::thread([this] { Fill(); });
  } catch (const std::system_error&) {
    direct = true;  // no thread to be had: read as the caller asks
  }
}

ReadAhead::~ReadAhead() {
  if (!filler.joinable()) return;
  {
    const std::lock_guard<std::mutex> held(lock);
    stopping = true;
  }
  changed.notify_all();
  filler.join();
}

void ReadAhead::Fill() {
  uint64_t read = 0;
  std::unique_lock<std::mutex> held(lock);
  while (read < count) {
    changed.wait(held, [this] { return stopping || ready.size() < kMaxRuns; });
    if (stopping) break;
    Run run;
    if (!spare.empty()) {
      run.data = std::move(spare.back());
      spare.pop_back();
    }
    run.blocks = static_cast<uint32_t>(std::min<uint64_t>(runBlocks, count - read));
    held.unlock();
    run.data.resize(std::size_t{run.blocks} * kBlockSize);
    run.status = source.Pull(run.data.data(), run.blocks, &run.error);
    held.lock();
    const bool failed = run.status != STARBURN_OK;
    read += run.blocks;
    ready.push_back(std::move(run));
    changed.notify_all();
    if (failed) break;
  }
  finished = true;
  changed.notify_all();
}

StarBurnStatus ReadAhead::Pull(uint8_t* out, uint32_t blocks, std::string* error) {
  if (direct) return source.Pull(out, blocks, error);
  while (blocks > 0) {
    if (current.status != STARBURN_OK) {
      if (error != nullptr) *error = current.error;
      return current.status;
    }
    if (taken == current.blocks) {
      std::unique_lock<std::mutex> held(lock);
      if (!current.data.empty()) spare.push_back(std::move(current.data));
      changed.wait(held, [this] { return !ready.empty() || finished; });
      if (ready.empty()) {
        current = Run{};
        current.status = STARBURN_STATUS_INVALID_ARGUMENT;
        current.error = "the image has no more blocks";
        continue;
      }
      current = std::move(ready.front());
      ready.pop_front();
      taken = 0;
      changed.notify_all();
      continue;
    }
    const uint32_t now = std::min(blocks, current.blocks - taken);
    std::memcpy(out, current.data.data() + std::size_t{taken} * kBlockSize,
                std::size_t{now} * kBlockSize);
    out += std::size_t{now} * kBlockSize;
    taken += now;
    blocks -= now;
  }
  return STARBURN_OK;
}

}  // namespace starburn
