// The Contrast menu's commands on the current image, and "Undo Last Filter".
#pragma once

namespace corvex {

struct Corvex;

// ---- The apply step ----
// Undo copy, the table over rows 10-289 in 16 progress blocks ("CONTRAST STRETCH") and over
// rows 0-9 unless the frame is labelled, then (with `refresh`) the display rebuild.
void ApplyStretchTable(Corvex& corvex, bool refresh);

// ---- Commands: each returns whether it changed the image ----
bool NormalStretch(Corvex& corvex, int black, int white);  // black < white, else nothing
bool PowerStretch(Corvex& corvex, double power);           // nothing for a power of 1.0
bool SineStretch(Corvex& corvex);
// Uses state.backgroundLevel; nothing below 3. `refresh` false is colour synthesis's entry.
bool RemoveBackground(Corvex& corvex, bool refresh = true);
bool NonLinearStretch(Corvex& corvex, int power);
bool LogStretch(Corvex& corvex);
bool AntiLogStretch(Corvex& corvex);
bool InvertImage(Corvex& corvex);
// Colour synthesis's stretch: the synthesis table applied without display refresh.
void SynthesisNonLinearStretch(Corvex& corvex, double power);

// "Undo Last Filter": the undo image back, the display rebuilt, the last history entry gone.
void UndoLastFilter(Corvex& corvex);

}  // namespace corvex
