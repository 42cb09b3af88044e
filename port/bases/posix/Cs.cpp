#include "platform/OrletBases.h"

namespace Orlet {

Cs::Cs() = default;
Cs::~Cs() = default;
void Cs::Lock() const { mutex.lock(); }
void Cs::Unlock() const { mutex.unlock(); }

CsLocker::CsLocker(const Cs& cs) : cs(cs) { cs.Lock(); }
CsLocker::~CsLocker() { cs.Unlock(); }

}  // namespace Orlet
