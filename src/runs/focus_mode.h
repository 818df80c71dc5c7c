// Focus mode: 128 x 128 focus frames one after another, each with its peak and display, until
// a stop request (the panel's "Stop", or a cancel from the Host) ends it.
#pragma once

#include <functional>

namespace corvex {

struct Corvex;

// Runs focus frames and pauses until focusStop is set. `afterFrame` hears each frame's peak and
// the exposure it used (the panel shows the peak as "Max Value"); it returns false to stop.
// Nothing happens for minute exposures or values of 100 and more. A focus frame that cannot
// be read stops focus mode with a message (the link has reported the transfer itself); the
// result is then false.
bool RunFocusMode(Corvex& corvex,
                  const std::function<bool(int peak, int exposureMs)>& afterFrame = {});

}  // namespace corvex
