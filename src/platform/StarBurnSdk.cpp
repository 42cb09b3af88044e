#include "platform/StarBurnSdk.h"

namespace Orlet {

void IgnoreNotification(uint32_t, void*, void*, void*) {}

}  // namespace Orlet
