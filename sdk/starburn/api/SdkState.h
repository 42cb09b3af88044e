#pragma once

namespace starburn {

// Whether StarBurn_UpStartEx has succeeded more often than StarBurn_DownShut.
bool IsStarted();

}  // namespace starburn
