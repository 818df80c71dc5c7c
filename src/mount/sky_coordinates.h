// Equatorial coordinates between the J2000 catalogue epoch and the epoch of date, which is
// what a mount's go-to takes, and the Messier catalogue's 110 objects.
#pragma once

#include <cstdint>
#include <optional>

#include "mount/mount.h"

namespace corvex {

// The Julian date of a time in milliseconds since 1970-01-01 00:00 UTC.
double JulianDateOfUnixMs(std::int64_t unixMs);

// Precession (IAU 1976) of a J2000 position to the mean equator and equinox of `julianDate`,
// and back. Nutation and aberration (under 40") are left to the mount's own pointing model.
SkyPosition PrecessFromJ2000(const SkyPosition& j2000, double julianDate);
SkyPosition PrecessToJ2000(const SkyPosition& ofDate, double julianDate);

inline constexpr int kMessierObjects = 110;
// M`number`'s J2000 position, or nullopt for a number outside 1 to 110.
std::optional<SkyPosition> MessierJ2000(int number);

}  // namespace corvex
