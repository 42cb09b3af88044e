#include <windows.h>

#include "platform/OrletBases.h"

namespace Orlet {

struct Cs::Section {
  CRITICAL_SECTION section;
};

Cs::Cs() : section(new Section) { InitializeCriticalSection(&section->section); }
Cs::~Cs() { DeleteCriticalSection(&section->section); }
// A critical section may be entered again by the thread that holds it.
void Cs::Lock() const { EnterCriticalSection(&section->section); }
void Cs::Unlock() const { LeaveCriticalSection(&section->section); }

CsLocker::CsLocker(const Cs& cs) : cs(cs) { cs.Lock(); }
CsLocker::~CsLocker() { cs.Unlock(); }

}  // namespace Orlet
