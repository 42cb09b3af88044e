// The library's SDK calls of the recording stages, journaled on their way to
// the real SDK: the host program links with --wrap for each of these names,
// so the library's calls reach the wrappers below and the SDK's own stay as
// they are.

#include <mutex>
#include <string>
#include <vector>

#include "HostFixture.h"
#include "starburn/StarBurn.h"

namespace {

std::mutex journalMutex;
bool journaling = false;             // guarded by journalMutex
std::vector<std::string> journaled;  // guarded by journalMutex

void Note(std::string call) {
  std::lock_guard<std::mutex> lock(journalMutex);
  if (journaling) journaled.push_back(std::move(call));
}

std::string Text(uint32_t value) { return std::to_string(value); }

}  // namespace

namespace e2e {

Strings JournalSdkCalls(bool on) {
  std::lock_guard<std::mutex> lock(journalMutex);
  if (on) journaled.clear();
  journaling = on;
  return journaled;
}

}  // namespace e2e

// The device calls' common head, as parameters and as arguments.
#define HEAD void *d, char *t, uint32_t n, uint32_t *s, StarBurnCommandFailure *f
#define PASS d, t, n, s, f
// A journaled device call: name, its parameters, its arguments, the text of
// the arguments the journal shows.
#define JOURNALED(name, params, args, shown)                                  \
  extern "C" StarBurnStatus __real_StarBurn_CdvdBurnerGrabber_##name params;  \
  extern "C" StarBurnStatus __wrap_StarBurn_CdvdBurnerGrabber_##name params { \
    Note(std::string(#name "(") + (shown) + ")");                             \
    return __real_StarBurn_CdvdBurnerGrabber_##name args;                     \
  }

JOURNALED(CreateEx,
          (void** d, char* t, uint32_t n, uint32_t* s, StarBurnCommandFailure* f,
           StarBurnCallback c, void* x, const char* name, uint32_t shared),
          (d, t, n, s, f, c, x, name, shared), Text(shared))
JOURNALED(TestUnitReady, (HEAD), (PASS), "")
JOURNALED(GetBUP, (HEAD, uint8_t* on, uint32_t* can), (PASS, on, can), "")
JOURNALED(SetBUP, (HEAD, uint32_t on), (PASS, on), Text(on))
JOURNALED(SetSpeeds, (HEAD, uint32_t r, uint32_t w), (PASS, r, w), Text(r) + ", " + Text(w))
JOURNALED(GetSpeeds, (HEAD, uint32_t* a, uint32_t* b, uint32_t* c, uint32_t* e), (PASS, a, b, c, e),
          "")
JOURNALED(TrackAtOnceFromTree,
          (HEAD, void* tree, uint8_t test, uint8_t close, uint8_t multi, uint32_t mode,
           uint32_t retries),
          (PASS, tree, test, close, multi, mode, retries),
          Text(test) + ", " + Text(close) + ", " + Text(multi) + ", " + Text(mode))
JOURNALED(CloseSession, (HEAD), (PASS), "")
JOURNALED(Eject, (HEAD), (PASS), "")
JOURNALED(Blank, (HEAD, uint32_t quick), (PASS, quick), Text(quick))
JOURNALED(LoadEx, (HEAD, uint32_t wait), (PASS, wait), Text(wait))

extern "C" void __real_StarBurn_Destroy(void** handle);
extern "C" void __wrap_StarBurn_Destroy(void** handle) {
  Note("Destroy()");
  __real_StarBurn_Destroy(handle);
}

extern "C" StarBurnStatus __real_StarBurn_ISO9660JolietFileTree_BuildImage(
    void* tree, char* t, uint32_t n, uint32_t* s, uint32_t start, uint32_t pad, uint32_t times,
    const char* label, const char* publisher, const char* application);
extern "C" StarBurnStatus __wrap_StarBurn_ISO9660JolietFileTree_BuildImage(
    void* tree, char* t, uint32_t n, uint32_t* s, uint32_t start, uint32_t pad, uint32_t times,
    const char* label, const char* publisher, const char* application) {
  Note("BuildImage(" + Text(start) + ", " + label + ")");
  return __real_StarBurn_ISO9660JolietFileTree_BuildImage(tree, t, n, s, start, pad, times, label,
                                                          publisher, application);
}
