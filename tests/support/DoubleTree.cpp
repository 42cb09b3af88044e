// The double's image-tree calls: each records its call and answers the
// scripted status; Create makes a tree handle.

#include "support/SdkDouble.h"

using sdkdouble::Arguments;
using sdkdouble::SdkDouble;

namespace {

SdkDouble& D() { return SdkDouble::Get(); }

uint32_t KnownTree(void* tree) {
  return D().Tree(tree) != nullptr ? STARBURN_OK : STARBURN_STATUS_INVALID_ARGUMENT;
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
  if (status == STARBURN_OK && tree != nullptr) *tree = D().OpenTree(callback, context);
  return status;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_ImportTrack(void* device, void* tree, uint8_t track,
                                                          uint8_t joliet, char*, uint32_t,
                                                          uint32_t*) {
  return D().Enter("StarBurn_ISO9660JolietFileTree_ImportTrack", Arguments(track, joliet),
                   KnownTree(tree));
}

void* StarBurn_ISO9660JolietFileTree_GetRoot(void* tree) {
  D().Note("StarBurn_ISO9660JolietFileTree_GetRoot", "");
  return nullptr;
}

void* StarBurn_ISO9660JolietFileTree_GetFirstKid(void*, void*) {
  D().Note("StarBurn_ISO9660JolietFileTree_GetFirstKid", "");
  return nullptr;
}

void* StarBurn_ISO9660JolietFileTree_GetNextKid(void*, void*, void*) {
  D().Note("StarBurn_ISO9660JolietFileTree_GetNextKid", "");
  return nullptr;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNames(void* tree, void*, char* first, char* second,
                                                       char* third, uint32_t nameSize) {
  for (char* name : {first, second, third}) {
    if (name != nullptr && nameSize > 0) name[0] = '\0';
  }
  return D().Enter("StarBurn_ISO9660JolietFileTree_GetNames", Arguments(nameSize),
                   STARBURN_STATUS_NOT_FOUND);
}

uint32_t StarBurn_ISO9660JolietFileTree_GetAttributes(void*, void*) {
  D().Note("StarBurn_ISO9660JolietFileTree_GetAttributes", "");
  return 0;
}

uint32_t StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(void*, void*, uint32_t* sizeHigh) {
  D().Note("StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs", "");
  if (sizeHigh != nullptr) *sizeHigh = 0;
  return 0;
}

StarBurnStatus StarBurn_ISO9660JolietFileTree_Add(void* tree, char*, uint32_t, uint32_t*,
                                                  const char* sourcePath, const char* name,
                                                  uint32_t kind, void**, void**) {
  return D().Enter("StarBurn_ISO9660JolietFileTree_Add", Arguments(sourcePath, name, kind),
                   KnownTree(tree));
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
