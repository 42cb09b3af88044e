#include "DiscReader.h"

#include <cstring>
#include <fstream>
#include <vector>

namespace orletburn {

namespace {

// Room for a node's names: a Joliet name of up to 103 UTF-16 units is at
// most 309 bytes of UTF-8.
constexpr uint32_t kNameRoom = 1024;
// Bytes compared at a time.
constexpr uint32_t kChunk = 1 << 20;

void NoNotifications(uint32_t, void*, void*, void*) {}

}  // namespace

DiscReader::~DiscReader() {
  if (tree != nullptr) StarBurn_Destroy(&tree);
  if (device != nullptr) StarBurn_Destroy(&device);
}

bool DiscReader::Open(const std::string& deviceName) {
  uint32_t systemError = 0;
  StarBurnCommandFailure failure{};
  if (StarBurn_CdvdBurnerGrabber_CreateEx(&device, error, sizeof error, &systemError, &failure,
                                          NoNotifications, nullptr, deviceName.c_str(),
                                          1) != STARBURN_OK) {
    return false;
  }
  uint8_t fileSystem[STARBURN_DISC_FILE_SYSTEM_SIZE] = {};
  uint8_t lastTrack = 0;
  if (StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(device, error, sizeof error, &systemError,
                                                   &failure, fileSystem,
                                                   sizeof fileSystem) != STARBURN_OK ||
      StarBurn_CdvdBurnerGrabber_GetLastTrack(device, error, sizeof error, &systemError, &failure,
                                              &lastTrack) != STARBURN_OK) {
    return false;
  }
  const uint8_t joliet = fileSystem[1] != 0 ? 1 : 0;
  return StarBurn_ISO9660JolietFileTree_Create(&tree, error, sizeof error, &systemError,
                                               NoNotifications, nullptr, 1, 0, joliet ? 0 : 1,
                                               joliet) == STARBURN_OK &&
         StarBurn_ISO9660JolietFileTree_ImportTrack(device, tree, lastTrack, joliet, error,
                                                    sizeof error, &systemError) == STARBURN_OK;
}

void* DiscReader::Root() { return StarBurn_ISO9660JolietFileTree_GetRoot(tree); }

std::map<std::string, void*> DiscReader::Kids(void* node) {
  std::map<std::string, void*> kids;
  std::vector<char> first(kNameRoom), second(kNameRoom), third(kNameRoom);
  for (void* kid = StarBurn_ISO9660JolietFileTree_GetFirstKid(tree, node); kid != nullptr;
       kid = StarBurn_ISO9660JolietFileTree_GetNextKid(tree, node, kid)) {
    if (StarBurn_ISO9660JolietFileTree_GetNames(tree, kid, first.data(), second.data(),
                                                third.data(), kNameRoom) == STARBURN_OK) {
      kids[second.data()] = kid;
    }
  }
  return kids;
}

bool DiscReader::IsDirectory(void* node) {
  return (StarBurn_ISO9660JolietFileTree_GetAttributes(tree, node) & STARBURN_NODE_DIRECTORY) != 0;
}

unsigned long long DiscReader::SizeOf(void* node) {
  uint32_t high = 0;
  const uint32_t low = StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(tree, node, &high);
  return (static_cast<unsigned long long>(high) << 32) | low;
}

bool DiscReader::TimeOf(void* node, int64_t* unixSeconds) {
  return StarBurn_ISO9660JolietFileTree_GetNodeTime(tree, node, unixSeconds) == STARBURN_OK;
}

bool DiscReader::SameContent(void* node, const std::string& path) {
  std::ifstream source(path, std::ios::binary);
  std::vector<char> mine(kChunk), theirs(kChunk);
  for (uint64_t offset = 0;; offset += kChunk) {
    uint32_t done = 0;
    if (StarBurn_ISO9660JolietFileTree_ReadFile(device, tree, node, offset, theirs.data(), kChunk,
                                                &done, error, sizeof error) != STARBURN_OK) {
      return false;
    }
    source.read(mine.data(), kChunk);
    if (static_cast<uint32_t>(source.gcount()) != done ||
        std::memcmp(mine.data(), theirs.data(), done) != 0) {
      return false;
    }
    if (done < kChunk) return true;
  }
}

}  // namespace orletburn
