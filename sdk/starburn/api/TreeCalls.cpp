// ISO 9660/Joliet image-tree calls. Until the engine exists every call refuses
// with STARBURN_STATUS_NOT_SUPPORTED or answers "no node".

#include "api/Unsupported.h"
#include "starburn/StarBurn.h"

using starburn::Unsupported;

extern "C" {

StarBurnStatus StarBurn_ISO9660JolietFileTree_Create(void**, char* e, uint32_t n, uint32_t* s,
                                                     StarBurnCallback, void*, uint8_t, uint8_t,
                                                     uint8_t, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_ISO9660JolietFileTree_ImportTrack(void*, void*, uint8_t, uint8_t, char* e,
                                                          uint32_t n, uint32_t* s) {
  return Unsupported(e, n, s);
}
void* StarBurn_ISO9660JolietFileTree_GetRoot(void*) { return nullptr; }
void* StarBurn_ISO9660JolietFileTree_GetFirstKid(void*, void*) { return nullptr; }
void* StarBurn_ISO9660JolietFileTree_GetNextKid(void*, void*, void*) { return nullptr; }
StarBurnStatus StarBurn_ISO9660JolietFileTree_GetNames(void*, void*, char* first, char* second,
                                                       char* third, uint32_t size) {
  for (char* name : {first, second, third}) {
    if (name != nullptr && size > 0) name[0] = '\0';
  }
  return STARBURN_STATUS_NOT_SUPPORTED;
}
uint32_t StarBurn_ISO9660JolietFileTree_GetAttributes(void*, void*) { return 0; }
uint32_t StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(void*, void*, uint32_t* high) {
  if (high != nullptr) *high = 0;
  return 0;
}
StarBurnStatus StarBurn_ISO9660JolietFileTree_Add(void*, char* e, uint32_t n, uint32_t* s,
                                                  const char*, const char*, uint32_t, void**,
                                                  void**) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_ISO9660JolietFileTree_BuildImage(void*, char* e, uint32_t n, uint32_t* s,
                                                         uint32_t, uint32_t, uint32_t, const char*,
                                                         const char*, const char*) {
  return Unsupported(e, n, s);
}

}  // extern "C"
