// Exposure lengths: unit letters to milliseconds, one table per kind of exposure.
#pragma once

namespace corvex {

// Main camera exposures: 'q' x1, 'h' x10, 't' x100, 'm' x60000, any other letter x1000.
int MainExposureMs(int value, char unit);

// Focus, star-window and self-guiding window exposures: 'q' x1, 'h' x10, 't' x100, any other
// letter ('m' included) x1000.
int ShortExposureMs(int value, char unit);

// Guider camera exposures: 'h' x10, 't' x100, any other letter x1000.
int GuiderExposureMs(int value, char unit);

}  // namespace corvex
