// Drive and disc calls. Until the device layer exists every call refuses with
// STARBURN_STATUS_NOT_SUPPORTED; none pretends success.

#include "api/Unsupported.h"
#include "starburn/StarBurn.h"

using starburn::Unsupported;

extern "C" {

StarBurnStatus StarBurn_FindDevice(uint32_t, uint32_t, StarBurnCallback, void*) {
  return STARBURN_STATUS_NOT_SUPPORTED;
}
StarBurnStatus StarBurn_GetDeviceNameByDeviceAddress(uint8_t, uint8_t, uint8_t, uint8_t,
                                                     char* devicePath, uint32_t size) {
  if (devicePath != nullptr && size > 0) devicePath[0] = '\0';
  return STARBURN_STATUS_NOT_SUPPORTED;
}
StarBurnStatus StarBurn_SPTD_GetVersion(char*, uint32_t, char*, uint32_t, uint32_t*) {
  return STARBURN_STATUS_NOT_SUPPORTED;
}
void StarBurn_SetFastReadTOC(uint8_t) {}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Create(void**, char* e, uint32_t n, uint32_t* s,
                                                 StarBurnCommandFailure*, StarBurnCallback, void*,
                                                 uint8_t, uint8_t, uint8_t, uint8_t, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateEx(void**, char* e, uint32_t n, uint32_t* s,
                                                   StarBurnCommandFailure*, StarBurnCallback, void*,
                                                   const char*, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateExEx(void**, char* e, uint32_t n, uint32_t* s,
                                                     StarBurnCommandFailure*, StarBurnCallback,
                                                     void*, const StarBurnWChar*, uint8_t,
                                                     uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void*, char*, char*, char*, uint32_t,
                                                               uint32_t*) {
  return STARBURN_STATUS_NOT_SUPPORTED;
}
int32_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void*) { return 14; }
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscInformation(void*, char* e, uint32_t n,
                                                             uint32_t* s, StarBurnCommandFailure*,
                                                             uint8_t*, uint32_t) {
  return Unsupported(e, n, s);
}
int32_t StarBurn_CdvdBurnerGrabber_MSFToLBA(void*, uint8_t minute, uint8_t second, uint8_t frame,
                                            uint8_t pregap) {
  // 75 frames a second; a disc address starts after the 2-second lead-in gap.
  const int32_t frames = (minute * 60 + second) * 75 + frame;
  return pregap != 0 ? frames : frames - 150;
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(void*,
                                                                           StarBurnMediaFormats*) {
  return STARBURN_STATUS_NOT_SUPPORTED;
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(void*, char* e, uint32_t n,
                                                                   uint32_t* s,
                                                                   StarBurnCommandFailure*,
                                                                   uint8_t*, uint8_t*, uint8_t*,
                                                                   uint8_t*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_IsDiscBlank(void*, char* e, uint32_t n, uint32_t* s,
                                                      StarBurnCommandFailure*, uint8_t*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(void*, char* e, uint32_t n, uint32_t* s,
                                                           StarBurnCommandFailure*, uint64_t*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(void*, uint32_t, uint32_t*, uint64_t*) {
  return STARBURN_STATUS_NOT_SUPPORTED;
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetTrackInformation(void*, char* e, uint32_t n,
                                                              uint32_t* s, StarBurnCommandFailure*,
                                                              uint32_t, uint8_t*, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetSpeeds(void*, char* e, uint32_t n, uint32_t* s,
                                                    StarBurnCommandFailure*, uint32_t*, uint32_t*,
                                                    uint32_t*, uint32_t*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_SetSpeeds(void*, char* e, uint32_t n, uint32_t* s,
                                                    StarBurnCommandFailure*, uint32_t, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_TestUnitReady(void*, char* e, uint32_t n, uint32_t* s,
                                                        StarBurnCommandFailure*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetBUP(void*, char* e, uint32_t n, uint32_t* s,
                                                 StarBurnCommandFailure*, uint8_t*, uint32_t*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_SetBUP(void*, char* e, uint32_t n, uint32_t* s,
                                                 StarBurnCommandFailure*, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(void*, char* e, uint32_t n,
                                                              uint32_t* s, StarBurnCommandFailure*,
                                                              void*, uint8_t, uint8_t, uint8_t,
                                                              uint32_t, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_CloseSession(void*, char* e, uint32_t n, uint32_t* s,
                                                       StarBurnCommandFailure*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_Eject(void*, char* e, uint32_t n, uint32_t* s,
                                                StarBurnCommandFailure*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_LoadEx(void*, char* e, uint32_t n, uint32_t* s,
                                                 StarBurnCommandFailure*, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_Blank(void*, char* e, uint32_t n, uint32_t* s,
                                                StarBurnCommandFailure*, uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastAddress(void*, char* e, uint32_t n, uint32_t* s,
                                                         StarBurnCommandFailure*, uint32_t*) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(void*, char* e, uint32_t n, uint32_t* s,
                                                            StarBurnCommandFailure*, uint8_t*,
                                                            uint32_t) {
  return Unsupported(e, n, s);
}
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastTrack(void*, char* e, uint32_t n, uint32_t* s,
                                                       StarBurnCommandFailure*, uint8_t*) {
  return Unsupported(e, n, s);
}

}  // extern "C"
