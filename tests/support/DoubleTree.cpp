// The double's image-tree calls over fake trees (DoubleTreeModel.h): each call
// is recorded with its arguments and answers its scripted status.

#include <cstring>
#include <map>
#include <mutex>

#include "support/DoubleTreeModel.h"
#include "support/SdkDouble.h"

using sdkdouble::Arguments;
using sdkdouble::FakeNode;
using sdkdouble::SdkDouble;

namespace sdkdouble {

namespace {

std::mutex treeMutex;
TreeScript treeScript;                                 // guarded by treeMutex while reset
std::map<void*, std::unique_ptr<FakeNode>> treeRoots;  // guarded by treeMutex

}  // namespace

FakeNode* FakeNode::AddKid(const std::string& identity, const std::string& name, bool isDirectory,
                           uint64_t bytes) {
  auto kid = std::make_unique<FakeNode>();
  kid->first = identity;
  kid->second = name;
  kid->directory = isDirectory;
  kid->size = bytes;
  kid->parent = this;
  kids.push_back(std::move(kid));
  return kids.back().get();
}

FakeNode* FakeNode::Find(const std::string& path) {
  if (path.empty()) return this;
  const std::size_t slash = path.find('/');
  const std::string head = path.substr(0, slash);
  for (auto& kid : kids) {
    if (kid->second == head) {
      return slash == std::string::npos ? kid.get() : kid->Find(path.substr(slash + 1));
    }
  }
  return nullptr;
}

std::unique_ptr<FakeNode> FakeNode::Clone(FakeNode* newParent) const {
  auto copy = std::make_unique<FakeNode>();
  copy->first = first;
  copy->second = second;
  copy->directory = directory;
  copy->size = size;
  copy->parent = newParent;
  for (const auto& kid : kids) copy->kids.push_back(kid->Clone(copy.get()));
  return copy;
}

TreeScript& Trees() { return treeScript; }

FakeNode* TreeRoot(void* tree) {
  std::lock_guard<std::mutex> lock(treeMutex);
  auto found = treeRoots.find(tree);
  return found == treeRoots.end() ? nullptr : found->second.get();
}

void ResetTrees() {
  std::lock_guard<std::mutex> lock(treeMutex);
  treeScript = TreeScript();
  treeRoots.clear();
}

}  // namespace sdkdouble

namespace {

SdkDouble& D() { return SdkDouble::Get(); }

uint32_t KnownTree(void* tree) {
  return D().Tree(tree) != nullptr ? STARBURN_OK : STARBURN_STATUS_INVALID_ARGUMENT;
}

// A node handle of a live tree (the double trusts the handle's address).
FakeNode* NodeOf(void* tree, void* node) {
  return sdkdouble::TreeRoot(tree) != nullptr ? static_cast<FakeNode*>(node) : nullptr;
}

// Asks the call-back to rewrite a rejected name; answers the name to use.
std::string Rewrite(const SdkDouble::TreeHandle& handle, const std::string& name, bool joliet) {
  uint8_t record[STARBURN_REJECTED_NAME_SIZE] = {};
  record[STARBURN_REJECTED_NAME_FLAG] = joliet ? 1 : 0;
  if (joliet) {
    std::u16string units(name.begin(), name.end());  // the tests' names are ASCII
    std::memcpy(record + STARBURN_REJECTED_NAME_TEXT, units.c_str(),
                (units.size() + 1) * sizeof(char16_t));
  } else {
    std::memcpy(record + STARBURN_REJECTED_NAME_TEXT, name.c_str(), name.size() + 1);
  }
  handle.callback(STARBURN_NOTIFY_NAME_REJECTED, handle.context, record, nullptr);
  uint32_t action = 0;
  std::memcpy(&action, record + STARBURN_REJECTED_NAME_ACTION, sizeof action);
  if (action != STARBURN_REJECTED_NAME_USE_REWRITTEN) return name;
  std::string rewritten;
  if (joliet) {
    char16_t unit = 0;
    for (std::size_t i = 0;; i += 2) {
      std::memcpy(&unit, record + STARBURN_REJECTED_NAME_TEXT + i, sizeof unit);
      if (unit == 0) break;
      rewritten.push_back(static_cast<char>(unit));
    }
  } else {
    rewritten = reinterpret_cast<const char*>(record + STARBURN_REJECTED_NAME_TEXT);
  }
  D().Note("rejected", Arguments(name, rewritten));
  return rewritten;
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
    sdkdouble::treeRoots[*tree] = std::make_unique<FakeNode>();
  }
  return status;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_ImportTrack(void* device, void* tree, uint8_t track,
                                                          uint8_t joliet, char*, uint32_t,
                                                          uint32_t*) {
  FakeNode* root = sdkdouble::TreeRoot(tree);
  const uint32_t natural = root == nullptr || D().Device(device) == nullptr
                               ? STARBURN_STATUS_INVALID_ARGUMENT
                               : STARBURN_OK;
  const uint32_t status =
      D().Enter("StarBurn_ISO9660JolietFileTree_ImportTrack", Arguments(track, joliet), natural);
  if (status == STARBURN_OK && natural == STARBURN_OK) {
    for (const auto& kid : sdkdouble::Trees().importedSession.kids) {
      root->kids.push_back(kid->Clone(root));
    }
  }
  return status;
}

void* StarBurn_ISO9660JolietFileTree_GetRoot(void* tree) {
  D().Note("StarBurn_ISO9660JolietFileTree_GetRoot", "");
  return sdkdouble::TreeRoot(tree);
}

void* StarBurn_ISO9660JolietFileTree_GetFirstKid(void* tree, void* node) {
  FakeNode* parent = NodeOf(tree, node);
  D().Note("StarBurn_ISO9660JolietFileTree_GetFirstKid", parent == nullptr ? "" : parent->second);
  return parent == nullptr || parent->kids.empty() ? nullptr : parent->kids.front().get();
}

void* StarBurn_ISO9660JolietFileTree_GetNextKid(void* tree, void* node, void* kid) {
  FakeNode* parent = NodeOf(tree, node);
  D().Note("StarBurn_ISO9660JolietFileTree_GetNextKid", "");
  if (parent == nullptr) return nullptr;
  for (std::size_t i = 0; i + 1 < parent->kids.size(); ++i) {
    if (parent->kids[i].get() == kid) return parent->kids[i + 1].get();
  }
  return nullptr;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNames(void* tree, void* node, char* first,
                                                       char* second, char* third,
                                                       uint32_t nameSize) {
  for (char* name : {first, second, third}) {
    if (name != nullptr && nameSize > 0) name[0] = '\0';
  }
  FakeNode* found = NodeOf(tree, node);
  uint32_t natural = found == nullptr ? STARBURN_STATUS_INVALID_ARGUMENT : STARBURN_OK;
  if (found != nullptr && (found->first.size() >= nameSize || found->second.size() >= nameSize)) {
    natural = STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  const uint32_t status =
      D().Enter("StarBurn_ISO9660JolietFileTree_GetNames",
                Arguments(found == nullptr ? "" : found->first, nameSize), natural);
  if (status == STARBURN_OK && natural == STARBURN_OK) {
    std::memcpy(first, found->first.c_str(), found->first.size() + 1);
    std::memcpy(second, found->second.c_str(), found->second.size() + 1);
  }
  return status;
}

uint32_t StarBurn_ISO9660JolietFileTree_GetAttributes(void* tree, void* node) {
  FakeNode* found = NodeOf(tree, node);
  D().Note("StarBurn_ISO9660JolietFileTree_GetAttributes", "");
  return found != nullptr && found->directory ? STARBURN_NODE_DIRECTORY : 0;
}

uint32_t StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(void* tree, void* node,
                                                             uint32_t* sizeHigh) {
  FakeNode* found = NodeOf(tree, node);
  D().Note("StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs", "");
  const uint64_t size = found == nullptr ? 0 : found->size;
  if (sizeHigh != nullptr) *sizeHigh = static_cast<uint32_t>(size >> 32);
  return static_cast<uint32_t>(size);
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_Add(void* tree, char*, uint32_t, uint32_t*,
                                                  const char* sourcePath, const char* name,
                                                  uint32_t kind, void** parentNode,
                                                  void** newNode) {
  FakeNode* parent = parentNode == nullptr ? nullptr : NodeOf(tree, *parentNode);
  const uint32_t natural = parent == nullptr || name == nullptr || newNode == nullptr
                               ? STARBURN_STATUS_INVALID_ARGUMENT
                               : STARBURN_OK;
  const uint32_t status = D().Enter(
      "StarBurn_ISO9660JolietFileTree_Add",
      Arguments(sourcePath, name, kind, parent == nullptr ? "?" : parent->second), natural);
  if (status != STARBURN_OK || natural != STARBURN_OK) return status;
  auto handle = D().Tree(tree);
  std::string shortName = name;
  std::string longName = name;
  auto& script = sdkdouble::Trees();
  if (script.rejectShort.count(name) != 0) shortName = Rewrite(*handle, name, false);
  if (script.rejectLong.count(name) != 0) longName = Rewrite(*handle, name, true);
  if (script.sendTexts) {
    const bool isFile = kind == STARBURN_ADD_FILE;
    const std::string text = isFile && sourcePath != nullptr ? sourcePath : name;
    handle->callback(isFile ? STARBURN_NOTIFY_TREE_TEXT_0 : STARBURN_NOTIFY_TREE_TEXT_2,
                     handle->context, const_cast<char*>(text.c_str()), nullptr);
  }
  *newNode = parent->AddKid(shortName, longName, kind == STARBURN_ADD_DIRECTORY);
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
