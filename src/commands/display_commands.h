// The display commands: rebuilding the display image, the toggles of the View menu, and the
// raw readout preview.
#pragma once

#include <cstdint>
#include <span>

namespace corvex {

struct Corvex;

// Rebuilds the display image as the bitmap the window shows: "corvex.bmp", or "corvexf.bmp"
// for a focus frame, in corvex.display.
void RebuildDisplayImage(Corvex& corvex);
// "Auto contrast stretch image": flips the flag and rebuilds the display.
void ToggleAutoContrast(Corvex& corvex);
// Makes RebuildDisplay (which every command calls) rebuild the display image.
void InstallDisplayRebuild(Corvex& corvex);
// The raw readout preview "CORVEXG.bmp" of a 500 x 290 readout, in corvex.display.
void BuildRawPreview(Corvex& corvex, std::span<const std::uint16_t> readout);

// "Change to QZ Geometry": flips qzGeometry (switching it on switches "Fit to window" off)
// and rebuilds the display.
void ToggleQzGeometry(Corvex& corvex);
// "Fit to window": flips fitToWindow; switching it on in QZ geometry leaves QZ geometry and
// rebuilds the display.
void ToggleFitToWindow(Corvex& corvex);

}  // namespace corvex
