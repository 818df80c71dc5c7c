// What calibration and the guiding loops keep between their steps: the training results of
// the guider camera, the reference position, the last error and the run flags.
//
// The persisted guiding parameters (rates, backlash, hysteresis, the default angle) are in
// ProgramSettings; the guide star measurements are in ProgramState.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvex {

struct SamplePoint {
  int x = 0;
  int y = 0;
};

// A star position to a tenth of a pixel, as the searches measure it.
struct PrecisePoint {
  double x = 0;
  double y = 0;
};

// The results of the last guider training. None of it is written to the settings file: after
// a restart guiding uses the defaults until the next training or "Save Latest".
struct GuiderTraining {
  int trainingSeconds = 2;  // T, the guider training move time: 1, 2, 4 or 8 s
  int trainedRaRate = 0;    // magnitudes of the measured motion, pixels per second
  int trainedDecRate = 0;
  int trainedRaBacklash = 0;
  int trainedDecBacklash = 0;
  // The RA axis on the guider: the direction an east move carries the star, in radians from
  // the guider's rows towards its columns, 0 to 2 pi.
  double trainedRaAngle = 0;
  int trainedQuadrant = 1;  // 1: RA motion x and y both >= 0, 3: both < 0, 2: otherwise
  int raStepX = 0;          // signed motion per second of a west move, and of a north move,
  int raStepY = 0;          // in whole pixels as the results message shows them
  int decStepX = 0;
  int decStepY = 0;
  int raBacklashDx = 0;
  int raBacklashDy = 0;
  int decBacklashDx = 0;
  int decBacklashDy = 0;
  // What guiding steers by: the same motions unrounded (pixels per second of a west and of a
  // north move, from the full-length moves alone), and the time each axis loses on a
  // reversal, ms.
  double raMotionX = 0;
  double raMotionY = 0;
  double decMotionX = 0;
  double decMotionY = 0;
  int raBacklashMs = 0;
  int decBacklashMs = 0;
  bool guiderTrained = false;    // a training completed since the program started
  bool useTrainedValues = false;  // guiding uses the trained values ("Use Default" toggles)
  bool trainingRunning = false;   // the guider dialog draws the latest sample while set
  std::array<SamplePoint, 9> trainingSamples{};  // P0 and the positions after each move
  int trainingStep = 0;                          // index of the latest sample, 0-7
};

// One correction: the error it measured and the moves it made on each axis (letter 0 and
// 0 ms for an axis that did not move).
struct GuideCorrection {
  int result = 0;  // 0 done, 3 the star was lost
  int errorX = 0;  // reference minus measured position, thousandths of a pixel
  int errorY = 0;
  char raLetter = 0;
  int raMs = 0;
  char decLetter = 0;
  int decMs = 0;
};

struct GuidingState {
  int referenceX = 0;  // main camera: guide-window coordinates; guider: guider-frame ones
  int referenceY = 0;
  int referenceXTenths = 0;
  int referenceYTenths = 0;
  std::int16_t errorX = 0;  // last error, thousandths of a pixel
  std::int16_t errorY = 0;
  bool calibrationActive = false;
  bool guideAbort = false;       // the user's stop: a pending abort skips a cycle's correction
  bool firstGuideFrame = true;   // the next continuous self-guiding frame sets the reference
  bool guiderStarLost = false;
  std::int16_t guiderSlewTimeX = 0;  // the guider's last default-path move times
  std::int16_t guiderSlewTimeY = 0;
  std::string guidingInfoText = "Guiding Info";  // caption of the guiding information window
  GuideCorrection lastCorrection;
  int measuredCorrections = 0;  // corrections that measured the star, since the start
  // Guide frames in a row that measured nothing (no frame, or no guide star in it): guiding
  // gives up at a limit instead of guiding on nothing.
  int missedFrames = 0;
  // The star position PlaceGuideWindow found before it placed the window, put back when a
  // guiding run ends.
  int savedStarX = 0;
  int savedStarY = 0;
  // The guide star chosen in the guider camera dialog.
  int selectedGuiderStarX = 0;
  int selectedGuiderStarY = 0;
  bool guiderStarSelected = false;
  // How far the star of the last successful guider search rose above its background, and
  // how far the guide star did when it was chosen or guiding started: a search that finds
  // much less than the guide star has found noise or another star, not the guide star.
  int guiderStarSignal = 0;
  int guideStarSignal = 0;
  // The same on the main camera: its last search, and the star continuous self-guiding
  // started on.
  int starSignal = 0;
  int selfGuideStarSignal = 0;
  GuiderTraining training;

  void SetReference(int x, int xTenths, int y, int yTenths) {
    referenceX = x;
    referenceXTenths = xTenths;
    referenceY = y;
    referenceYTenths = yTenths;
  }
};

}  // namespace corvex
