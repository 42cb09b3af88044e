// ISO 9660/Joliet image-tree calls: argument checks and handle look-ups over
// the engine in iso/. Node handles are a node's index plus one, valid only
// with the tree that gave them.

#include <ctime>
#include <string>

#include "common/BlockIo.h"
#include "common/ErrorOut.h"
#include "common/Object.h"
#include "iso/Ecma119.h"
#include "iso/ImageTree.h"
#include "iso/ImportedFile.h"
#include "iso/Utf.h"
#include "starburn/StarBurn.h"

using starburn::DiscProvider;
using starburn::ErrorOut;
using starburn::HandleTable;
using starburn::iso::FileTree;
using starburn::iso::ImageOptions;
using starburn::iso::ImageTree;
using starburn::iso::Node;

namespace {

ImageTree* FindTree(void* tree) { return HandleTable::Instance().Find<ImageTree>(tree); }

void* NodeHandle(uint32_t index) {
  // Node handles are numbers, never followed as addresses.
  return reinterpret_cast<void*>(uintptr_t{index} + 1);  // NOLINT(performance-no-int-to-ptr)
}

// The node of a handle, or null when the handle names no node of the tree.
const Node* FindNode(ImageTree* tree, void* handle, uint32_t* index = nullptr) {
  if (tree == nullptr || handle == nullptr) return nullptr;
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle) - 1;
  if (!tree->Tree().IsNode(value)) return nullptr;
  if (index != nullptr) *index = static_cast<uint32_t>(value);
  return &tree->Tree().Nodes()[value];
}

StarBurnStatus NoTree(const ErrorOut& out) {
  return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "not an image-tree handle");
}

// The handles of the two add calls: add(image, parent, &added) runs once tree
// and *parentNode name a tree and one of its nodes; *newNode (may be null)
// receives the new node's handle, or null on failure.
template <typename AddTo>
StarBurnStatus AddThroughHandles(void* tree, void** parentNode, void** newNode, const ErrorOut& out,
                                 AddTo add) {
  out.Clear();
  if (newNode != nullptr) *newNode = nullptr;
  ImageTree* image = FindTree(tree);
  if (image == nullptr) return NoTree(out);
  uint32_t parent = 0;
  if (parentNode == nullptr || FindNode(image, *parentNode, &parent) == nullptr) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "no parent node of this tree");
  }
  uint32_t added = 0;
  const StarBurnStatus status = add(*image, parent, &added);
  if (status == STARBURN_OK && newNode != nullptr) *newNode = NodeHandle(added);
  return status;
}

}  // namespace

extern "C" {

StarBurnStatus StarBurn_ISO9660JolietFileTree_Create(void** tree, char* errorText,
                                                     uint32_t errorTextSize, uint32_t* systemError,
                                                     StarBurnCallback callback, void* context,
                                                     uint8_t iso9660, uint8_t rockRidge,
                                                     uint8_t level2Names, uint32_t joliet) {
  const ErrorOut out{errorText, errorTextSize, systemError};
  out.Clear();
  if (tree == nullptr) return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "no place for the handle");
  if (level2Names > 1 || joliet > 1 || iso9660 > 1 || rockRidge > 1) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "the name-space choices are 0 or 1");
  }
  if (iso9660 != 1) {
    return out.Fail(STARBURN_STATUS_NOT_SUPPORTED, "every image has an ISO 9660 tree");
  }
  if (rockRidge != 0) return out.Fail(STARBURN_STATUS_NOT_SUPPORTED, "Rock Ridge is not offered");
  *tree =
      HandleTable::Instance().Add(new ImageTree(callback, context, level2Names == 1, joliet == 1));
  return STARBURN_OK;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_ImportTrack(void* device, void* tree, uint8_t track,
                                                          uint8_t joliet, char* errorText,
                                                          uint32_t errorTextSize,
                                                          uint32_t* systemError) {
  const ErrorOut out{errorText, errorTextSize, systemError};
  out.Clear();
  ImageTree* image = FindTree(tree);
  if (image == nullptr) return NoTree(out);
  DiscProvider* disc = HandleTable::Instance().Find<DiscProvider>(device);
  if (disc == nullptr) return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "not an open device");
  uint32_t start = 0;
  uint32_t blocks = 0;
  std::string error;
  const StarBurnStatus status = disc->TrackExtent(track, &start, &blocks, &error);
  if (status != STARBURN_OK) return out.Fail(status, error);
  return image->Import(disc->DiscReader(), start, joliet != 0, out);
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_ReadFile(void* device, void* tree, void* node,
                                                       uint64_t offset, void* buffer, uint32_t size,
                                                       uint32_t* done, char* errorText,
                                                       uint32_t errorTextSize) {
  const ErrorOut out{errorText, errorTextSize, nullptr};
  out.Clear();
  uint32_t read = 0;
  if (done != nullptr) *done = 0;
  const Node* file = FindNode(FindTree(tree), node);
  if (file == nullptr) return NoTree(out);
  DiscProvider* disc = HandleTable::Instance().Find<DiscProvider>(device);
  if (disc == nullptr) return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "not an open device");
  std::string error;
  const StarBurnStatus status = starburn::iso::ReadImportedFile(
      *file, disc->DiscReader(), offset, static_cast<uint8_t*>(buffer), size, &read, &error);
  if (done != nullptr) *done = read;
  return status == STARBURN_OK ? status : out.Fail(status, error);
}

void* StarBurn_ISO9660JolietFileTree_GetRoot(void* tree) {
  return FindTree(tree) != nullptr ? NodeHandle(FileTree::kRoot) : nullptr;
}

void* StarBurn_ISO9660JolietFileTree_GetFirstKid(void* tree, void* node) {
  const Node* parent = FindNode(FindTree(tree), node);
  if (parent == nullptr || parent->Kids().empty()) return nullptr;
  return NodeHandle(parent->Kids().front());
}

void* StarBurn_ISO9660JolietFileTree_GetNextKid(void* tree, void* node, void* kid) {
  ImageTree* image = FindTree(tree);
  uint32_t parentIndex = 0;
  uint32_t kidIndex = 0;
  const Node* parent = FindNode(image, node, &parentIndex);
  const Node* current = FindNode(image, kid, &kidIndex);
  if (parent == nullptr || current == nullptr || kidIndex == FileTree::kRoot || current->removed ||
      current->parent != parentIndex || current->slot + 1 >= parent->Kids().size()) {
    return nullptr;
  }
  return NodeHandle(parent->Kids()[current->slot + 1]);
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNames(void* tree, void* node, char* first,
                                                       char* second, char* third,
                                                       uint32_t nameSize) {
  for (char* name : {first, second, third}) {
    if (name != nullptr && nameSize > 0) name[0] = '\0';
  }
  ImageTree* image = FindTree(tree);
  uint32_t index = 0;
  if (FindNode(image, node, &index) == nullptr || nameSize == 0) {
    return STARBURN_STATUS_INVALID_ARGUMENT;
  }
  const std::string names[2] = {image->Tree().FirstName(index),
                                starburn::iso::Utf16ToUtf8(image->Tree().DisplayName(index))};
  if ((first != nullptr && !starburn::CopyText(names[0], first, nameSize)) ||
      (second != nullptr && !starburn::CopyText(names[1], second, nameSize))) {
    for (char* name : {first, second}) {
      if (name != nullptr) name[0] = '\0';
    }
    return STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  return STARBURN_OK;
}

uint32_t StarBurn_ISO9660JolietFileTree_GetAttributes(void* tree, void* node) {
  const Node* found = FindNode(FindTree(tree), node);
  return found != nullptr && found->directory ? STARBURN_NODE_DIRECTORY : 0;
}

uint32_t StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(void* tree, void* node,
                                                             uint32_t* sizeHigh) {
  const Node* found = FindNode(FindTree(tree), node);
  const uint64_t size = found != nullptr ? found->size : 0;
  if (sizeHigh != nullptr) *sizeHigh = static_cast<uint32_t>(size >> 32);
  return static_cast<uint32_t>(size);
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_RemoveImported(void* tree, void* node,
                                                             char* errorText,
                                                             uint32_t errorTextSize) {
  const ErrorOut out{errorText, errorTextSize, nullptr};
  out.Clear();
  ImageTree* image = FindTree(tree);
  uint32_t index = 0;
  if (FindNode(image, node, &index) == nullptr) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "not a node of this tree");
  }
  return image->RemoveImported(index, out);
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNodeTime(void* tree, void* node,
                                                          int64_t* unixSeconds) {
  const Node* found = FindNode(FindTree(tree), node);
  if (found == nullptr || unixSeconds == nullptr) return STARBURN_STATUS_INVALID_ARGUMENT;
  if (!found->imported) {
    *unixSeconds = found->modified;
    return STARBURN_OK;
  }
  return starburn::iso::GetRecordTime(found->Placed().importedTime, unixSeconds)
             ? STARBURN_OK
             : STARBURN_STATUS_NOT_FOUND;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_Add(void* tree, char* errorText,
                                                  uint32_t errorTextSize, uint32_t* systemError,
                                                  const char* sourcePath, const char* name,
                                                  uint32_t kind, void** parentNode,
                                                  void** newNode) {
  const ErrorOut out{errorText, errorTextSize, systemError};
  return AddThroughHandles(tree, parentNode, newNode, out,
                           [&](ImageTree& image, uint32_t parent, uint32_t* added) {
                             return image.Add(sourcePath, name, kind, parent, added, out);
                           });
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_AddFileWithStatus(
    void* tree, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    const char* sourcePath, const char* name, uint64_t size, int64_t unixSeconds, void** parentNode,
    void** newNode) {
  const ErrorOut out{errorText, errorTextSize, systemError};
  return AddThroughHandles(
      tree, parentNode, newNode, out, [&](ImageTree& image, uint32_t parent, uint32_t* added) {
        return image.AddFile(sourcePath, name, size, unixSeconds, parent, added, out);
      });
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_BuildImage(
    void* tree, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    uint32_t startAddress, uint32_t trailingPadBlocks, uint32_t recordTimes,
    const char* volumeLabel, const char* publisher, const char* application) {
  const ErrorOut out{errorText, errorTextSize, systemError};
  out.Clear();
  ImageTree* image = FindTree(tree);
  if (image == nullptr) return NoTree(out);
  if (recordTimes > 1) return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "recordTimes is 0 or 1");
  ImageOptions options;
  options.startAddress = startAddress;
  options.padBlocks = trailingPadBlocks;
  options.recordTimes = recordTimes == 1;
  options.volumeLabel = volumeLabel != nullptr ? volumeLabel : "";
  options.publisher = publisher != nullptr ? publisher : "";
  options.application = application != nullptr ? application : "";
  options.creationTime = static_cast<int64_t>(std::time(nullptr));
  return image->Build(options, out);
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_SaveImage(void* tree, char* errorText,
                                                        uint32_t errorTextSize,
                                                        uint32_t* systemError, const char* path,
                                                        uint32_t atStartAddress) {
  const ErrorOut out{errorText, errorTextSize, systemError};
  out.Clear();
  ImageTree* image = FindTree(tree);
  if (image == nullptr) return NoTree(out);
  if (atStartAddress > 1) {
    return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "atStartAddress is 0 or 1");
  }
  return image->Save(path, atStartAddress == 1, out);
}

}  // extern "C"
