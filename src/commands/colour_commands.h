// The Colour menu's commands: colour synthesis and the colour filters and adjustments.
#pragma once

#include <functional>

#include "state/program_settings.h"

namespace corvex {

struct Corvex;

// What the "SYNTHESIZE COLOUR IMAGE" dialog does: edits the synthesis options and answers
// whether to go on ("Create Image") or not ("Cancel").
using SynthesisDialog = std::function<bool(ProgramSettings&)>;

// "Synthesize Colour Image". Refuses a converted image (message 22); reads the settings file
// (message 23 on failure), asks the dialog unless the capture run started it (autoSynthesis)
// or there is none, writes the settings file (message 24), then synthesises and runs the
// chosen steps. Returns false when refused or cancelled.
bool SynthesizeColourImage(Corvex& corvex, const SynthesisDialog& dialog = {});

bool AntiAliasFilter(Corvex& corvex, bool refresh = true);  // keeps the colour undo copy
bool LowPassColourFilter(Corvex& corvex);
// "Set Colour Balance" with the dialog's values (-10..127 each) and saturation factor (1-9).
// Nothing happens when all three are 0 and the saturation is unchanged; a changed saturation
// is written to the settings file.
bool ColourBalance(Corvex& corvex, int red, int green, int blue, int saturation);
// "Adjust Chromatism", shifts -3..3.
bool ChromaticAdjustment(Corvex& corvex, int redH, int redV, int blueH, int blueV);
bool BalanceColourHistogram(Corvex& corvex);
bool UndoLastColourFilter(Corvex& corvex);

// The colour undo copy every colour command but the anti-alias filter takes first.
void SaveColourUndo(Corvex& corvex);

}  // namespace corvex
