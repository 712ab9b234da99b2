// The error bits LineEventsFromCommErrors maps are written down in line_events.h so that the
// mapping is tested on every system; here, built for Windows only, they are checked against the
// values ClearCommError really reports.

#include <windows.h>

#include "device/line_events.h"

namespace kelvara {

static_assert(kCommRxOver == CE_RXOVER);
static_assert(kCommOverrun == CE_OVERRUN);
static_assert(kCommRxParity == CE_RXPARITY);
static_assert(kCommFrame == CE_FRAME);
static_assert(kCommBreak == CE_BREAK);
static_assert(kCommTxFull == CE_TXFULL);

}  // namespace kelvara
