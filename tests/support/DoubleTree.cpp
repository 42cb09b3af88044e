// The double's image-tree calls: each call is recorded with its arguments and
// answers its scripted status. A tree is only its handle and the names of the
// nodes added to it; importing a track adds nothing. What a tree holds, how
// names are rejected and how a session is imported is the real SDK's, tested
// there.

#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "support/SdkDouble.h"

using sdkdouble::Arguments;
using sdkdouble::SdkDouble;

namespace sdkdouble {

namespace {

std::mutex treeMutex;
// The nodes of each live tree, by handle: the root first (guarded by treeMutex).
std::map<void*, std::deque<std::string>> treeNodes;

}  // namespace

void ResetTrees() {
  std::lock_guard<std::mutex> lock(treeMutex);
  treeNodes.clear();
}

}  // namespace sdkdouble

namespace {

SdkDouble& D() { return SdkDouble::Get(); }

uint32_t KnownTree(void* tree) {
  return D().Tree(tree) != nullptr ? STARBURN_OK : STARBURN_STATUS_INVALID_ARGUMENT;
}

// The name of a node of a live tree; null for anything else.
const std::string* NodeName(void* tree, void* node) {
  std::lock_guard<std::mutex> lock(sdkdouble::treeMutex);
  auto found = sdkdouble::treeNodes.find(tree);
  if (found == sdkdouble::treeNodes.end()) return nullptr;
  for (const std::string& name : found->second) {
    if (&name == node) return &name;
  }
  return nullptr;
}

}  // namespace

extern "C" {

StarBurnStatus StarBurn_ISO9660JolietFileTree_Create(void** tree, char*, uint32_t errorTextSize,
                                                     uint32_t*, StarBurnCallback callback,
                                                     void* context, uint8_t iso9660,
                                                     uint8_t rockRidge, uint8_t level2Names,
                                                     uint32_t joliet) {
  const uint32_t status =
      D().Enter("StarBurn_ISO9660JolietFileTree_Create",
                Arguments(errorTextSize, iso9660, rockRidge, level2Names, joliet));
  if (status == STARBURN_OK && tree != nullptr) {
    *tree = D().OpenTree(callback, context);
    std::lock_guard<std::mutex> lock(sdkdouble::treeMutex);
    sdkdouble::treeNodes[*tree] = {""};
  }
  return status;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_ImportTrack(void* device, void* tree, uint8_t track,
                                                          uint8_t joliet, char*, uint32_t,
                                                          uint32_t*) {
  const uint32_t natural = KnownTree(tree) != STARBURN_OK || D().Device(device) == nullptr
                               ? STARBURN_STATUS_INVALID_ARGUMENT
                               : STARBURN_OK;
  return D().Enter("StarBurn_ISO9660JolietFileTree_ImportTrack", Arguments(track, joliet), natural);
}

void* StarBurn_ISO9660JolietFileTree_GetRoot(void* tree) {
  D().Note("StarBurn_ISO9660JolietFileTree_GetRoot", "");
  std::lock_guard<std::mutex> lock(sdkdouble::treeMutex);
  auto found = sdkdouble::treeNodes.find(tree);
  return found == sdkdouble::treeNodes.end() ? nullptr : &found->second.front();
}

void* StarBurn_ISO9660JolietFileTree_GetFirstKid(void*, void*) { return nullptr; }

void* StarBurn_ISO9660JolietFileTree_GetNextKid(void*, void*, void*) { return nullptr; }

StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNames(void*, void*, char* first, char* second,
                                                       char* third, uint32_t nameSize) {
  for (char* name : {first, second, third}) {
    if (name != nullptr && nameSize > 0) name[0] = '\0';
  }
  return STARBURN_STATUS_INVALID_ARGUMENT;
}

uint32_t StarBurn_ISO9660JolietFileTree_GetAttributes(void*, void*) { return 0; }

uint32_t StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(void*, void*, uint32_t* sizeHigh) {
  if (sizeHigh != nullptr) *sizeHigh = 0;
  return 0;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_Add(void* tree, char*, uint32_t, uint32_t*,
                                                  const char* sourcePath, const char* name,
                                                  uint32_t kind, void** parentNode,
                                                  void** newNode) {
  const std::string* parent = parentNode == nullptr ? nullptr : NodeName(tree, *parentNode);
  const uint32_t natural = parent == nullptr || name == nullptr || newNode == nullptr
                               ? STARBURN_STATUS_INVALID_ARGUMENT
                               : STARBURN_OK;
  const uint32_t status =
      D().Enter("StarBurn_ISO9660JolietFileTree_Add",
                Arguments(sourcePath, name, kind, parent == nullptr ? "?" : *parent), natural);
  if (status != STARBURN_OK || natural != STARBURN_OK) return status;
  std::lock_guard<std::mutex> lock(sdkdouble::treeMutex);
  auto& nodes = sdkdouble::treeNodes[tree];  // a deque keeps earlier names in place
  nodes.push_back(name);
  *newNode = &nodes.back();
  return status;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_BuildImage(
    void* tree, char*, uint32_t, uint32_t*, uint32_t startAddress, uint32_t trailingPadBlocks,
    uint32_t recordTimes, const char* volumeLabel, const char* publisher, const char* application) {
  return D().Enter(
      "StarBurn_ISO9660JolietFileTree_BuildImage",
      Arguments(startAddress, trailingPadBlocks, recordTimes, volumeLabel, publisher, application),
      KnownTree(tree));
}

}  // extern "C"
