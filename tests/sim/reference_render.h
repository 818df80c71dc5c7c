// The sensor model worked out pixel by pixel, one noise draw at a time: the plain form of
// the simulator's frame rendering, kept to check the fast one against, value for value.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/sensor_render.h"

namespace corvex::sim::reference {

std::vector<std::uint16_t> ReferenceRenderFrame(const SimSky& sky, const SimMount& mount,
                                                const SimConfig& config,
                                                const FrameRequest& request, NoiseSource& noise);

}  // namespace corvex::sim::reference
