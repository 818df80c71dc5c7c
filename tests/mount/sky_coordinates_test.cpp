// Precession, the Messier table and server addresses.
#include "mount/sky_coordinates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace corvex {
namespace {

constexpr double kArcsecondDeg = 1.0 / 3600;

double Hms(double h, double m, double s) {
  return h + m / 60 + s / 3600;
}
double Dms(int sign, double d, double m, double s) {
  return sign * (d + m / 60 + s / 3600);
}

TEST(Precession, MatchesTheWorkedExampleAndReturns) {
  // theta Persei (its J2000 place carried to the date by its proper motion) precessed to
  // 2028 Nov 13.19: RA 41.547214 deg, Dec +49.348483 deg.
  const SkyPosition j2000{41.054063 / 15, 49.227750};
  const SkyPosition date = PrecessFromJ2000(j2000, 2462088.69);
  EXPECT_NEAR(date.raHours * 15, 41.547214, 0.5 * kArcsecondDeg);
  EXPECT_NEAR(date.decDegrees, 49.348483, 0.5 * kArcsecondDeg);
  const SkyPosition back = PrecessToJ2000(date, 2462088.69);
  EXPECT_NEAR(back.raHours, j2000.raHours, 1e-9);
  EXPECT_NEAR(back.decDegrees, j2000.decDegrees, 1e-9);

  // At J2000 itself nothing moves; near the pole and across 0h the RA stays in 0-24.
  const SkyPosition same = PrecessFromJ2000({5.5, -20}, 2451545.0);
  EXPECT_DOUBLE_EQ(same.raHours, 5.5);
  EXPECT_NEAR(same.decDegrees, -20, 1e-12);
  for (const SkyPosition p :
       {SkyPosition{23.999, 10}, SkyPosition{0.0001, 89.99}, SkyPosition{12, -89.999}}) {
    const SkyPosition q = PrecessFromJ2000(p, 2462088.69);
    EXPECT_GE(q.raHours, 0);
    EXPECT_LT(q.raHours, 24);
    EXPECT_LE(std::abs(q.decDegrees), 90);
    const SkyPosition r = PrecessToJ2000(q, 2462088.69);
    EXPECT_NEAR(
        std::cos(r.decDegrees * M_PI / 180) * std::remainder(r.raHours - p.raHours, 24.0) * 15, 0,
        1e-6);
    EXPECT_NEAR(r.decDegrees, p.decDegrees, 1e-6);
  }
}

TEST(Precession, JulianDateOfUnixTime) {
  EXPECT_DOUBLE_EQ(JulianDateOfUnixMs(0), 2440587.5);
  EXPECT_DOUBLE_EQ(JulianDateOfUnixMs(946728000000), 2451545.0);  // 2000-01-01 12:00 UTC
}

TEST(Messier, KnownObjectsAndTheWholeTable) {
  struct Known {
    int number;
    double ra, dec;
  };
  // Positions from the catalogues, to an arcsecond; the table keeps a tenth of a minute of
  // RA and a minute of Dec.
  const Known known[] = {
      {1, Hms(5, 34, 31.9), Dms(+1, 22, 0, 52)},   {13, Hms(16, 41, 41.2), Dms(+1, 36, 27, 36)},
      {31, Hms(0, 42, 44.3), Dms(+1, 41, 16, 9)},  {42, Hms(5, 35, 17.3), Dms(-1, 5, 23, 28)},
      {45, Hms(3, 47, 0), Dms(+1, 24, 7, 0)},      {51, Hms(13, 29, 52.7), Dms(+1, 47, 11, 43)},
      {57, Hms(18, 53, 35.1), Dms(+1, 33, 1, 45)}, {104, Hms(12, 39, 59.4), Dms(-1, 11, 37, 23)},
  };
  for (const Known& k : known) {
    const auto at = MessierJ2000(k.number);
    ASSERT_TRUE(at) << "M" << k.number;
    const double cosDec = std::cos(k.dec * M_PI / 180);
    EXPECT_NEAR((at->raHours - k.ra) * 15 * cosDec * 60, 0, 4.0) << "M" << k.number << " RA'";
    EXPECT_NEAR((at->decDegrees - k.dec) * 60, 0, 4.0) << "M" << k.number << " Dec'";
  }
  EXPECT_FALSE(MessierJ2000(0));
  EXPECT_FALSE(MessierJ2000(111));
  std::set<std::pair<long, long>> places;
  for (int n = 1; n <= kMessierObjects; ++n) {
    const auto at = MessierJ2000(n);
    ASSERT_TRUE(at);
    EXPECT_GE(at->raHours, 0);
    EXPECT_LT(at->raHours, 24);
    EXPECT_GT(at->decDegrees, -36) << "M" << n << ": every object is north of -36";
    EXPECT_LT(at->decDegrees, 70) << "M" << n;
    places.insert({std::lround(at->raHours * 600), std::lround(at->decDegrees * 60)});
  }
  EXPECT_EQ(places.size(), 110u) << "no two entries the same (a line copied twice)";
  // South of the equator by less than a degree: the sign must survive a zero degree.
  EXPECT_LT(MessierJ2000(2)->decDegrees, 0);
  EXPECT_LT(MessierJ2000(77)->decDegrees, 0);
  EXPECT_GT(MessierJ2000(78)->decDegrees, 0);
}

TEST(ServerAddress, HostAndPort) {
  std::string host = "unchanged";
  int port = -1;
  EXPECT_TRUE(ParseServerAddress("localhost:7624", host, port));
  EXPECT_EQ(host, "localhost");
  EXPECT_EQ(port, 7624);
  EXPECT_TRUE(ParseServerAddress("mount.lan", host, port));
  EXPECT_EQ(host, "mount.lan");
  EXPECT_EQ(port, 7624);
  host = "unchanged";
  for (const char* bad :
       {"", ":7624", "host:", "host:0", "host:65536", "host:12x", "a b:1", "host:-5"}) {
    EXPECT_FALSE(ParseServerAddress(bad, host, port)) << bad;
    EXPECT_EQ(host, "unchanged") << bad;
  }
}

}  // namespace
}  // namespace corvex
