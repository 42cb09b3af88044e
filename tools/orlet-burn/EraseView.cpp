#include "EraseView.h"

#include "Report.h"
#include "Words.h"

namespace orletburn {

int EraseView::OnAskRetryOpen() {
  Say("  the drive is locked by another program; trying once more without the lock");
  return 1;
}

void EraseView::OnEraseEvent(int event, int detail) {
  if (event == Orlet::EraseJobStarted) started = true;
  Event("erase", "erase", event, detail, EraseWords(event, detail, started));
}

void EraseView::OnEraseEstimate(unsigned int milliseconds) {
  const unsigned seconds = (milliseconds + 999) / 1000;
  Say(Format("  this takes about %u seconds", seconds));
  Record("estimate", {{"seconds", seconds}});
}

}  // namespace orletburn
