#include "EraseView.h"

#include <cstdio>

#include "Words.h"

namespace orletburn {

int EraseView::OnAskRetryOpen() {
  std::printf("  the drive is locked by another program; trying once more without the lock\n");
  return 1;
}

void EraseView::OnEraseEvent(int event, int detail) {
  if (event == Orlet::EraseJobStarted) started = true;
  std::printf("  %s\n", EraseWords(event, detail, started).c_str());
  std::fflush(stdout);
}

void EraseView::OnEraseEstimate(unsigned int milliseconds) {
  std::printf("  this takes about %u seconds\n", (milliseconds + 999) / 1000);
  std::fflush(stdout);
}

}  // namespace orletburn
