#pragma once

#include <orlet/MediaBurning.h>

namespace orletburn {

// The erase observer of orlet-burn: prints each step in words and the
// estimate. Called on the thread that called Erase.
class EraseView : public Orlet::EraseObserver {
 public:
  int OnAskRetryOpen() override;
  void OnEraseEvent(int event, int detail) override;
  void OnEraseEstimate(unsigned int milliseconds) override;

 private:
  bool started = false;
};

}  // namespace orletburn
