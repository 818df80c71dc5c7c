#include "mount/sky_coordinates.h"

#include <cmath>
#include <numbers>

namespace corvex {

namespace {

constexpr double kJ2000 = 2451545.0;
constexpr double kDegree = std::numbers::pi / 180;
constexpr double kArcsecond = kDegree / 3600;

// The three precession angles from J2000 to `julianDate` (Lieske 1977), radians.
struct PrecessionAngles {
  double zeta, z, theta;
};
PrecessionAngles Angles(double julianDate) {
  const double t = (julianDate - kJ2000) / 36525;
  return {(2306.2181 * t + 0.30188 * t * t + 0.017998 * t * t * t) * kArcsecond,
          (2306.2181 * t + 1.09468 * t * t + 0.018203 * t * t * t) * kArcsecond,
          (2004.3109 * t - 0.42665 * t * t - 0.041833 * t * t * t) * kArcsecond};
}

double WrapHours(double hours) {
  hours = std::fmod(hours, 24.0);
  return hours < 0 ? hours + 24 : hours;
}

// One rotation of the equatorial frame: by `before` about the pole, `tilt` about the new
// x axis, then `after` about the new pole. The inverse rotation is (-after, -tilt, -before).
SkyPosition Rotate(const SkyPosition& from, double before, double tilt, double after) {
  const double ra = from.raHours * 15 * kDegree + before;
  const double dec = from.decDegrees * kDegree;
  const double a = std::cos(dec) * std::sin(ra);
  const double b = std::cos(tilt) * std::cos(dec) * std::cos(ra) - std::sin(tilt) * std::sin(dec);
  const double c = std::sin(tilt) * std::cos(dec) * std::cos(ra) + std::cos(tilt) * std::sin(dec);
  // Near a pole asin loses precision; the length of the equatorial part keeps it.
  const double toDec = std::atan2(c, std::hypot(a, b));
  const double toRa = std::atan2(a, b) + after;
  return {WrapHours(toRa / kDegree / 15), toDec / kDegree};
}

struct MessierEntry {
  int raHours;
  double raMinutes;
  int decSign;
  int decDegrees;
  int decMinutes;
};

// J2000 positions to a tenth of a minute of RA and a minute of Dec.
constexpr MessierEntry kMessier[kMessierObjects] = {
    {5, 34.5, +1, 22, 1},   {21, 33.5, -1, 0, 49},  {13, 42.2, +1, 28, 23}, {16, 23.6, -1, 26, 32},
    {15, 18.6, +1, 2, 5},   {17, 40.1, -1, 32, 13}, {17, 53.9, -1, 34, 49}, {18, 3.8, -1, 24, 23},
    {17, 19.2, -1, 18, 31}, {16, 57.1, -1, 4, 6},   {18, 51.1, -1, 6, 16},  {16, 47.2, -1, 1, 57},
    {16, 41.7, +1, 36, 28}, {17, 37.6, -1, 3, 15},  {21, 30.0, +1, 12, 10}, {18, 18.8, -1, 13, 47},
    {18, 20.8, -1, 16, 11}, {18, 19.9, -1, 17, 8},  {17, 2.6, -1, 26, 16},  {18, 2.6, -1, 23, 2},
    {18, 4.6, -1, 22, 30},  {18, 36.4, -1, 23, 54}, {17, 56.8, -1, 19, 1},  {18, 16.9, -1, 18, 29},
    {18, 31.6, -1, 19, 15}, {18, 45.2, -1, 9, 24},  {19, 59.6, +1, 22, 43}, {18, 24.5, -1, 24, 52},
    {20, 23.9, +1, 38, 32}, {21, 40.4, -1, 23, 11}, {0, 42.7, +1, 41, 16},  {0, 42.7, +1, 40, 52},
    {1, 33.9, +1, 30, 39},  {2, 42.0, +1, 42, 47},  {6, 8.9, +1, 24, 20},   {5, 36.1, +1, 34, 8},
    {5, 52.4, +1, 32, 33},  {5, 28.4, +1, 35, 50},  {21, 32.2, +1, 48, 26}, {12, 22.4, +1, 58, 5},
    {6, 46.0, -1, 20, 44},  {5, 35.4, -1, 5, 27},   {5, 35.6, -1, 5, 16},   {8, 40.1, +1, 19, 59},
    {3, 47.0, +1, 24, 7},   {7, 41.8, -1, 14, 49},  {7, 36.6, -1, 14, 30},  {8, 13.8, -1, 5, 48},
    {12, 29.8, +1, 8, 0},   {7, 3.2, -1, 8, 20},    {13, 29.9, +1, 47, 12}, {23, 24.2, +1, 61, 35},
    {13, 12.9, +1, 18, 10}, {18, 55.1, -1, 30, 29}, {19, 40.0, -1, 30, 58}, {19, 16.6, +1, 30, 11},
    {18, 53.6, +1, 33, 2},  {12, 37.7, +1, 11, 49}, {12, 42.0, +1, 11, 39}, {12, 43.7, +1, 11, 33},
    {12, 21.9, +1, 4, 28},  {17, 1.2, -1, 30, 7},   {13, 15.8, +1, 42, 2},  {12, 56.7, +1, 21, 41},
    {11, 18.9, +1, 13, 5},  {11, 20.2, +1, 12, 59}, {8, 50.4, +1, 11, 49},  {12, 39.5, -1, 26, 45},
    {18, 31.4, -1, 32, 21}, {18, 43.2, -1, 32, 18}, {19, 53.8, +1, 18, 47}, {20, 53.5, -1, 12, 32},
    {20, 58.9, -1, 12, 38}, {1, 36.7, +1, 15, 47},  {20, 6.1, -1, 21, 55},  {1, 42.4, +1, 51, 34},
    {2, 42.7, -1, 0, 1},    {5, 46.7, +1, 0, 3},    {5, 24.5, -1, 24, 33},  {16, 17.0, -1, 22, 59},
    {9, 55.6, +1, 69, 4},   {9, 55.8, +1, 69, 41},  {13, 37.0, -1, 29, 52}, {12, 25.1, +1, 12, 53},
    {12, 25.4, +1, 18, 11}, {12, 26.2, +1, 12, 57}, {12, 30.8, +1, 12, 23}, {12, 32.0, +1, 14, 25},
    {12, 35.7, +1, 12, 33}, {12, 36.8, +1, 13, 10}, {12, 35.4, +1, 14, 30}, {17, 17.1, +1, 43, 8},
    {7, 44.6, -1, 23, 52},  {12, 50.9, +1, 41, 7},  {10, 44.0, +1, 11, 42}, {10, 46.8, +1, 11, 49},
    {11, 14.8, +1, 55, 1},  {12, 13.8, +1, 14, 54}, {12, 18.8, +1, 14, 25}, {12, 22.9, +1, 15, 49},
    {14, 3.2, +1, 54, 21},  {15, 6.5, +1, 55, 46},  {1, 33.2, +1, 60, 42},  {12, 40.0, -1, 11, 37},
    {10, 47.8, +1, 12, 35}, {12, 19.0, +1, 47, 18}, {16, 32.5, -1, 13, 3},  {11, 11.5, +1, 55, 40},
    {11, 57.6, +1, 53, 23}, {0, 40.4, +1, 41, 41},
};

}  // namespace

double JulianDateOfUnixMs(std::int64_t unixMs) {
  return static_cast<double>(unixMs) / 86400000.0 + 2440587.5;
}

SkyPosition PrecessFromJ2000(const SkyPosition& j2000, double julianDate) {
  const PrecessionAngles a = Angles(julianDate);
  return Rotate(j2000, a.zeta, a.theta, a.z);
}

SkyPosition PrecessToJ2000(const SkyPosition& ofDate, double julianDate) {
  const PrecessionAngles a = Angles(julianDate);
  return Rotate(ofDate, -a.z, -a.theta, -a.zeta);
}

std::optional<SkyPosition> MessierJ2000(int number) {
  if (number < 1 || number > kMessierObjects) return std::nullopt;
  const MessierEntry& e = kMessier[number - 1];
  return SkyPosition{e.raHours + e.raMinutes / 60,
                     e.decSign * (e.decDegrees + e.decMinutes / 60.0)};
}

}  // namespace corvex
