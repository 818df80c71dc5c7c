// How sharp and how bright one star is: its centre, half-flux radius (HFR), full width at
// half maximum (FWHM), peak and flux, measured on a 16-bit frame around a given point. Focus
// mode plots HFR and FWHM frame by frame, and the main window shows them beside a picked star.
//
// Widths are those of the star's light before the sensor's pixels sampled it: each pixel
// integrates the light that falls on it, which widens a star by the pixel's own size, and
// the measurement takes that widening off again. A Gaussian star of FWHM w therefore measures
// FWHM w and HFR w / 2 whatever its size in pixels.
#pragma once

#include <cstdint>
#include <optional>

namespace corvex {

struct StarMeasurement {
  double x = 0;           // centroid, in the frame's columns and rows
  double y = 0;
  double hfr = 0;         // radius holding half the star's flux, pixels
  double fwhm = 0;        // of the Gaussian that fits the star best, pixels
  int peak = 0;           // brightest value of the star, as the frame holds it
  double flux = 0;        // sum of the values above the background within the aperture
  double background = 0;  // sky level around the star
  double noise = 0;       // the sky's standard deviation
};

// Measures the star nearest (x, y) within `radius` pixels, with an aperture of that radius
// around its centroid and the sky taken from a ring outside it. Nothing (nullopt) when no
// star stands clearly above the sky there, or the point lies outside the frame.
std::optional<StarMeasurement> MeasureStar(const std::uint16_t* values, int width, int height,
                                           int stride, double x, double y, int radius = 10);

// Measures the brightest star of a frame (focus mode's window), at least `margin` pixels
// inside its edges.
inline constexpr int kFocusFrameSide = 128;   // focus mode's frame, square
inline constexpr int kFocusFrameMargin = 10;  // a star measured in it keeps this far in
std::optional<StarMeasurement> MeasureBrightestStar(const std::uint16_t* values, int width,
                                                    int height, int stride, int margin,
                                                    int radius = 10);

// Arcseconds per pixel for a pixel of `pixelWidthMm` x `pixelHeightMm` behind a focal length
// of `focalLengthInches` (as the FITS details dialog takes it): 206.265 x the pixel size in
// micrometres / the focal length in millimetres. The sensor's pixels are not square; a round
// star covers fewer rows than columns, and a width measured across both comes out at their
// mean, so the scale of the mean pixel size is used. nullopt unless all three are set.
std::optional<double> PixelScaleArcsec(double pixelWidthMm, double pixelHeightMm,
                                       double focalLengthInches);

}  // namespace corvex
