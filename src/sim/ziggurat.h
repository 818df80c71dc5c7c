// Standard normal numbers by the ziggurat method: most draws take one 64-bit random number,
// a table look-up and a multiplication, where Box-Muller takes a logarithm, a square root and
// a sine or cosine for each.
#pragma once

#include <random>
#include <span>

#include "sim/mt64.h"

namespace corvex::sim {

// A standard normal number (mean 0, standard deviation 1) from `engine`: the same sequence
// for the same engine state on every machine. For std::mt19937_64 and Mt19937_64.
template <class Engine>
double ZigguratNormal(Engine& engine);

// Fills `out` with standard normal numbers: the same numbers, in the same order, as calling
// ZigguratNormal once for each element, without a call and a table check for each.
void ZigguratNormals(Mt19937_64& engine, std::span<double> out);

}  // namespace corvex::sim
