// What every capture run keeps to, whatever its settings and however it ends: each saved
// frame is what its raw frames make (sum or mean, dark, colour) worked out here without the
// run; the dark is the same for every frame; EXPTIME is the light the frame holds; a frame
// that did not arrive is never kept; and no guiding state outlives the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "commands/colour_commands.h"
#include "commands/settings_commands.h"
#include "runs/capture_run.h"
#include "corvex.h"
#include "files/fits_file.h"
#include "files/raw_file.h"
#include "files/settings_file.h"
#include "runs/guiding_loops.h"
#include "guiding/telescope_link.h"
#include "processing/colour_synthesis.h"
#include "sim/observatory.h"
#include "support/frame_recorder.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using Values = std::vector<std::uint16_t>;
using Bytes = std::vector<std::uint8_t>;

constexpr int kSeconds = 2;  // every exposure here: 2 s

std::function<PanelOutcome(Corvex&)> Panel(int value, char unit, int count = 1) {
  return [value, unit, count](Corvex& c) {
    c.state.exposureValue = value;
    c.state.exposureUnit = unit;
    c.state.exposureCount = count;
    return PanelOutcome::kTakePhoto;
  };
}

Values ImageValues(const ImageBuffer& image) {
  return Values(image.begin(), image.begin() + kImageValues);
}

// A run on the still simulated sky, every full frame the camera sends recorded.
class CaptureFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimConfig config = testing::StillMount();
    config.fullReadoutMs = 0;
    observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
    corvex.devices = testing::RecordFrames(sim::MakeSimulatedEnumerator(observatory), log);
    std::filesystem::create_directories(corvex.paths.SettingsFile().parent_path());
  }
  std::filesystem::path Saved(int number) const {
    return rig.home.path() / "autosave" / ("IMG" + std::to_string(number) + ".FIT");
  }
  FitsContents LoadSaved(int number) const {
    FitsContents contents;
    const Bytes bytes = testing::FileBytes(Saved(number));
    EXPECT_EQ(DecodeFitsFile(bytes, FitsLayout::kCurrent, bytes.size() == kFitsColourLength,
                             contents),
              kFitsOk)
        << Saved(number);
    return contents;
  }
  // The brightest star of the field as the guide star, as a pick on an earlier frame gives it.
  void PickStar() {
    const sim::SensorPoint star = observatory->StarPosition(0);
    state.guideStarPicked = true;
    state.pickedStarX = static_cast<int>(star.x) + 6;
    state.pickedStarY = static_cast<int>(star.y);
  }
  bool HasMessage(const std::string& start) const {
    const auto texts = rig.host.MessageTexts();
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& t) { return t.rfind(start, 0) == 0; });
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramState& state = corvex.state;
  testing::FrameLog log;
  CaptureGuiding noGuiding;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

// ---- (a, b, c) Every saved frame is its raw frames, recomputed ----

struct Synthesis {
  const char* name;
  bool colour;
  void (*choose)(ProgramSettings&);
};

void NoOptions(ProgramSettings& s) {
  s.antiAlias = s.lightPollutionCorrection = false;
  s.weakStretch = s.strongStretch = s.userStretch = false;
  s.removeBackground = s.highPassLowPower = s.unsharpMask = false;
}

const Synthesis kSyntheses[] = {
    {"raw", false, NoOptions},
    {"colour", true, NoOptions},
    {"antialias", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.antiAlias = true;
     }},
    {"lightpollution", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.lightPollutionCorrection = true;
     }},
    {"weak", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.weakStretch = true;
     }},
    {"strong", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.strongStretch = true;
     }},
    {"user", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.userStretch = true;
       s.userStretchValue = 7;
     }},
    {"background", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.strongStretch = s.removeBackground = true;
     }},
    {"highpass", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.highPassLowPower = true;
     }},
    {"unsharp", true,
     [](ProgramSettings& s) {
       NoOptions(s);
       s.unsharpMask = true;
     }},
};

struct RunCase {
  int count;
  bool average;
  bool dark;
  bool profiles;  // aligned by the region's profiles, else on the guide star
  int synthesis;  // index into kSyntheses
};

void PrintTo(const RunCase& c, std::ostream* out) {
  *out << c.count << (c.average ? " averaged" : " summed") << (c.dark ? ", dark" : "")
       << (c.profiles ? ", profiles, " : ", star, ") << kSyntheses[c.synthesis].name;
}

std::vector<RunCase> AllRunCases() {
  std::vector<RunCase> cases;
  for (int s = 0; s < static_cast<int>(std::size(kSyntheses)); ++s) {
    for (bool dark : {false, true}) {
      cases.push_back({1, false, dark, false, s});
      for (bool average : {false, true}) {
        for (bool profiles : {false, true}) cases.push_back({3, average, dark, profiles, s});
      }
    }
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<RunCase>& info) {
  const RunCase& c = info.param;
  std::string name = "x" + std::to_string(c.count);
  if (c.count > 1)
    name += std::string(c.average ? "_mean" : "_sum") + (c.profiles ? "_profiles" : "_star");
  if (c.dark) name += "_dark";
  return name + "_" + kSyntheses[c.synthesis].name;
}

// A dark frame of 95-105 across the sensor: about the camera's bias, so that some pixels of
// every frame go to 0 and the rest lose a varying amount.
Values MakeDark() {
  Values dark(kImageValues, 0);
  for (int row = 0; row < kImageRows; ++row) {
    for (int col = 0; col < 510; ++col) dark[row * 512 + col] = 95 + (row * 3 + col) % 11;
  }
  return dark;
}

// The first k frames as the run should have combined them: the dark taken off each, then
// with k > 1 summed (65535 at most) or averaged over the pixels the sum can reach (rows 1-289,
// columns 1-509; the frames do not move on the still sky). Elsewhere the star alignment shows
// the newest frame and the profile alignment the first.
Values Combined(const std::vector<Values>& frames, int k, const Values* dark, bool average,
                bool profiles) {
  std::vector<Values> taken(frames.begin(), frames.begin() + k);
  if (dark != nullptr) {
    for (Values& frame : taken) {
      for (int i = 0; i < kImageValues; ++i) {
        frame[i] = frame[i] > (*dark)[i] ? static_cast<std::uint16_t>(frame[i] - (*dark)[i]) : 0;
      }
    }
  }
  Values out(kImageValues);
  for (int i = 0; i < kImageValues; ++i) {
    const int row = i / 512, col = i % 512;
    if (k == 1 || row == 0 || col == 0 || col >= 510) {
      out[i] = taken[profiles ? 0 : k - 1][i];
      continue;
    }
    long sum = 0;
    for (const Values& frame : taken) sum += frame[i];
    out[i] = static_cast<std::uint16_t>(average ? sum / k : std::min(sum, 65535L));
  }
  return out;
}

// Colour synthesis of `raw` with `settings` in a program of its own.
struct ColourImage {
  Values luminance;
  Bytes red, green, blue;
};
ColourImage Synthesised(const Values& raw, const ProgramSettings& settings) {
  testing::TestRig other;
  Corvex& c = other.corvex;
  std::filesystem::create_directories(c.paths.SettingsFile().parent_path());
  c.state.settings = settings;
  EXPECT_EQ(WriteSettingsFile(c), kSettingsOk);
  std::copy(raw.begin(), raw.end(), c.store.currentImage.begin());
  c.state.autoSynthesis = true;
  EXPECT_TRUE(SynthesizeColourImage(c));
  const auto plane = [](const PlaneBuffer& p) {
    return Bytes(p.begin(), p.begin() + kImageValues);
  };
  return {ImageValues(c.store.currentImage), plane(c.store.redPlane), plane(c.store.greenPlane),
          plane(c.store.bluePlane)};
}

// The first value where two images differ, for a readable failure.
std::string FirstDifference(const Values& got, const Values& want) {
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (got[i] != want[i]) {
      return "row " + std::to_string(i / 512) + " column " + std::to_string(i % 512) + ": " +
             std::to_string(got[i]) + " instead of " + std::to_string(want[i]);
    }
  }
  return "none";
}

class SavedFrameTest : public CaptureFixture, public ::testing::WithParamInterface<RunCase> {};

TEST_P(SavedFrameTest, IsItsRawFramesRecomputedWithTheLightTheyHold) {
  const RunCase& c = GetParam();
  const Synthesis& synthesis = kSyntheses[c.synthesis];
  synthesis.choose(state.settings);
  ASSERT_EQ(WriteSettingsFile(corvex), kSettingsOk);  // synthesis reads its options from there
  const ProgramSettings settings = state.settings;
  state.autoSave = true;
  state.autoColour = synthesis.colour;
  state.averageExposures = c.average;
  state.alternativeSlewMethod = c.profiles;
  if (!c.profiles) PickStar();
  const Values dark = MakeDark();
  if (c.dark) {
    ImageBuffer file;
    std::copy(dark.begin(), dark.end(), file.begin());
    state.darkFrameFile = (rig.home.path() / "~dark").string();
    testing::WriteBytes(state.darkFrameFile, EncodeRawImage(file, nullptr));
    state.autoDarkSubtract = true;
  }

  ASSERT_EQ(RunCapture(corvex, Panel(kSeconds, 's', c.count), noGuiding), CaptureResult::kCompleted)
      << ::testing::PrintToString(rig.host.MessageTexts());
  ASSERT_EQ(log.frames.size(), static_cast<std::size_t>(c.count));
  for (int k = 1; k <= c.count; ++k) {
    SCOPED_TRACE("saved frame " + std::to_string(k));
    const FitsContents saved = LoadSaved(k);
    const Values raw = Combined(log.frames, k, c.dark ? &dark : nullptr, c.average, c.profiles);
    if (synthesis.colour) {
      const ColourImage want = Synthesised(raw, settings);
      EXPECT_EQ(saved.image, want.luminance) << FirstDifference(saved.image, want.luminance);
      EXPECT_TRUE(saved.red == want.red && saved.green == want.green && saved.blue == want.blue);
    } else {
      EXPECT_EQ(saved.image, raw) << FirstDifference(saved.image, raw);
      EXPECT_TRUE(saved.red.empty());
    }
    EXPECT_EQ(saved.fields.exposureSeconds, k * kSeconds) << "EXPTIME is the light in the frame";
    EXPECT_EQ(saved.history.entries[0] == "Dark Frame Subtracted", c.dark);
  }
  if (c.dark) {
    EXPECT_EQ(ImageValues(corvex.store.run.dark), dark) << "the run's dark is the file's, still";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfRun, SavedFrameTest, ::testing::ValuesIn(AllRunCases()),
                         CaseName);

// ---- What a run checks before its first exposure ----

TEST_F(CaptureFixture, ARunThatCannotDoItsJobTakesNoExposure) {
  state.autoSave = true;
  // A series aligned on the star needs a star: none picked, then one too near the edge.
  EXPECT_EQ(RunCapture(corvex, Panel(kSeconds, 's', 3), noGuiding), CaptureResult::kNotStarted);
  EXPECT_TRUE(HasMessage("Sorry, the exposures of a series are aligned on the guide star"));
  EXPECT_NE(rig.host.MessageTexts().back().find("Alternative Slew Method"), std::string::npos);
  state.guideStarPicked = true;
  state.pickedStarX = 3;
  state.pickedStarY = 100;
  EXPECT_EQ(RunCapture(corvex, Panel(kSeconds, 's', 3), noGuiding), CaptureResult::kNotStarted);

  // A dark frame that is missing, or is not a native raw dark.
  state.guideStarPicked = false;
  state.autoDarkSubtract = true;
  state.darkFrameFile = (rig.home.path() / "missing.def").string();
  rig.host.messages.clear();
  EXPECT_EQ(RunCapture(corvex, Panel(kSeconds, 's'), noGuiding), CaptureResult::kNotStarted);
  EXPECT_EQ(rig.host.MessageTexts(),
            std::vector<std::string>{"Cannot use the dark frame " + state.darkFrameFile +
                                     ": not found\nNo exposure was taken."});
  testing::WriteBytes(state.darkFrameFile, Bytes(303040));
  EXPECT_EQ(RunCapture(corvex, Panel(kSeconds, 's'), noGuiding), CaptureResult::kNotStarted);
  EXPECT_NE(rig.host.MessageTexts().back().find("not a native raw dark frame"), std::string::npos);

  EXPECT_EQ(log.fullFrameReads, 0);
  EXPECT_EQ(observatory->requests(), 0) << "not even a clear";
  EXPECT_FALSE(std::filesystem::exists(Saved(1)));
  EXPECT_EQ(state.focusLeft, 184);
}

TEST_F(CaptureFixture, ASeriesWhoseStarIsNotFoundEndsWithTheFirstFrameAlone) {
  state.autoSave = true;
  // A pick in the frame's blank left margin: nothing there to centre on.
  state.guideStarPicked = true;
  state.maskRadius = 2;
  state.pickedStarX = 3;
  state.pickedStarY = 100;
  EXPECT_EQ(RunCapture(corvex, Panel(kSeconds, 's', 3), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(log.frames.size(), 1u) << "no frame is taken that could not be added";
  EXPECT_TRUE(HasMessage("Sorry, probably lost star"));
  const FitsContents saved = LoadSaved(1);
  EXPECT_EQ(saved.image, log.frames[0]);
  EXPECT_EQ(saved.fields.exposureSeconds, kSeconds);
  EXPECT_FALSE(std::filesystem::exists(Saved(2)));
}

// ---- Cancel requests ----

TEST_F(CaptureFixture, ACancelIsConfirmedOnceAnExposureHasRunTenSeconds) {
  state.autoSave = true;
  corvex.fits.exposureSeconds = 99;  // the image's own, from the file it came from
  rig.host.CancelAt(5000);
  EXPECT_EQ(RunCapture(corvex, Panel(20, 's'), noGuiding), CaptureResult::kCompleted);
  EXPECT_TRUE(rig.host.cancelConfirmationsAsked.empty()) << "5 s is not worth a question";
  EXPECT_EQ(log.fullFrameReads, 0);
  EXPECT_EQ(corvex.fits.exposureSeconds, 99) << "the image stays, and so does its EXPTIME";

  // At 15 s the host is asked; "no" lets the exposure run on and be read and saved.
  rig.host.CancelAt(rig.clock.NowMs() + 15000);
  rig.host.QueueCancelConfirmation(false);
  EXPECT_EQ(RunCapture(corvex, Panel(20, 's'), noGuiding), CaptureResult::kCompleted);
  ASSERT_EQ(rig.host.cancelConfirmationsAsked.size(), 1u);
  EXPECT_NEAR(rig.host.cancelConfirmationsAsked[0], 15, 1);
  EXPECT_EQ(log.frames.size(), 1u);
  EXPECT_FALSE(state.abortRequested);
  EXPECT_TRUE(std::filesystem::exists(Saved(1)));

  // "Yes" throws it away.
  rig.host.CancelAt(rig.clock.NowMs() + 15000);
  EXPECT_EQ(RunCapture(corvex, Panel(20, 's'), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(rig.host.cancelConfirmationsAsked.size(), 2u);
  EXPECT_EQ(log.fullFrameReads, 1);
  EXPECT_TRUE(state.abortRequested);
}

TEST_F(CaptureFixture, ACancelAfterTheReadoutStillSavesTheFrame) {
  sim::SimConfig config = testing::StillMount();
  config.fullReadoutMs = 2500;  // the cancel lands while the frame is coming in
  observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
  corvex.devices = testing::RecordFrames(sim::MakeSimulatedEnumerator(observatory), log);
  state.autoSave = true;
  state.alternativeSlewMethod = true;
  rig.host.CancelAt(kSeconds * 1000 + 1000);
  EXPECT_EQ(RunCapture(corvex, Panel(kSeconds, 's', 3), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(log.fullFrameReads, 1) << "the rest of the series is cancelled";
  EXPECT_TRUE(std::filesystem::exists(Saved(1))) << "the frame that arrived is kept";
  EXPECT_EQ(LoadSaved(1).image, log.frames[0]);
}

// ---- Failed readouts ----

TEST_F(CaptureFixture, AFailedReadoutKeepsTheImageBeforeAndEndsTheRun) {
  state.autoSave = true;
  state.autoColour = true;
  state.alternativeSlewMethod = true;
  log.cutShortAt = 2;
  EXPECT_EQ(RunCapture(corvex, Panel(kSeconds, 's', 3), noGuiding), CaptureResult::kReadoutFailed);
  EXPECT_EQ(log.fullFrameReads, 2);
  EXPECT_TRUE(std::filesystem::exists(Saved(1)));
  EXPECT_FALSE(std::filesystem::exists(Saved(2)));
  const FitsContents first = LoadSaved(1);
  EXPECT_EQ(ImageValues(corvex.store.currentImage), first.image) << "the first frame stays";
  EXPECT_EQ(corvex.fits.exposureSeconds, kSeconds);
}

// ---- (d) Nothing of a run's guiding outlives it, however it ends ----

// The telescope on LX200 and the brightest star of a first frame picked as the guide star.
class GuidedCaptureTest : public CaptureFixture {
 protected:
  void SetUp() override {
    CaptureFixture::SetUp();
    ASSERT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, state));
    PrepareTelescopeLink(corvex);
    state.settings.telescopeMethod = 'l';
    state.exposureMs = 1000;
    ASSERT_TRUE(testing::PickBrightestStar(corvex));
    log.frames.clear();
    log.fields.clear();
    log.fullFrameReads = 0;
    imageBefore = ImageValues(corvex.store.currentImage);
  }
  // "Self-Guide Next Exposure" with a 20 s exposure (or `value` of `unit`) and 1 s guide frames.
  static std::function<PanelOutcome(Corvex&)> SelfGuided(int value = 20, char unit = 's') {
    return [value, unit](Corvex& c) {
      c.state.exposureValue = value;
      c.state.exposureUnit = unit;
      c.state.selfGuideNext = true;
      c.state.guideExposureValue = 1;
      c.state.guideExposureUnit = 's';
      return PanelOutcome::kTakePhoto;
    };
  }
  void ExpectNothingLeftBehind() {
    EXPECT_FALSE(state.guideWindowActive) << "star searches would look at a 128 x 128 window";
    EXPECT_FALSE(state.selfGuidingActive);
    EXPECT_FALSE(state.selfGuideNext);
    EXPECT_FALSE(state.guiderGuidingRunning);
    EXPECT_FALSE(state.guideWithGuiderCamera);
    EXPECT_EQ(state.focusLeft, 184);
    EXPECT_EQ(state.focusTop, 65);
    EXPECT_EQ(state.starX, state.pickedStarX);
    EXPECT_EQ(state.starY, state.pickedStarY);
    EXPECT_FALSE(rig.host.guidingInfoOpen);
    EXPECT_FALSE(rig.host.progressOpen);
    EXPECT_FALSE(rig.host.waitCursor);
  }

  CaptureGuidingSteps steps;
  Values imageBefore;
};

TEST_F(GuidedCaptureTest, AnEndedRun) {
  EXPECT_EQ(RunCapture(corvex, SelfGuided(), steps), CaptureResult::kCompleted);
  EXPECT_EQ(log.fields, (std::vector<int>{1, 2}));
  ExpectNothingLeftBehind();
}

TEST_F(GuidedCaptureTest, ACancelledRunPutsTheImageBack) {
  rig.host.CancelAt(rig.clock.NowMs() + 15000);  // in the second half
  EXPECT_EQ(RunCapture(corvex, SelfGuided(), steps), CaptureResult::kCompleted);
  EXPECT_EQ(log.fields, std::vector<int>{1});
  EXPECT_EQ(ImageValues(corvex.store.currentImage), imageBefore)
      << "not the guide windows and the first half laid over it";
  ExpectNothingLeftBehind();
}

TEST_F(GuidedCaptureTest, AFailedReadoutOfEitherHalf) {
  for (int failing : {1, 2}) {
    SCOPED_TRACE(failing == 1 ? "first half" : "second half");
    log.fullFrameReads = 0;
    log.cutShortAt = failing;
    state.autoSave = true;
    EXPECT_EQ(RunCapture(corvex, SelfGuided(), steps), CaptureResult::kReadoutFailed);
    EXPECT_EQ(log.fullFrameReads, failing) << "the run ends at the failed half";
    EXPECT_EQ(ImageValues(corvex.store.currentImage), imageBefore);
    EXPECT_FALSE(std::filesystem::exists(Saved(1)));
    ExpectNothingLeftBehind();
  }
}

// A telescope check that fails after the guide window has been placed.
class FailingCheck : public CaptureGuidingSteps {
 public:
  bool BeginSelfGuidedExposure(Corvex& corvex) override {
    CaptureGuidingSteps::BeginSelfGuidedExposure(corvex);
    return false;
  }
};

TEST_F(GuidedCaptureTest, AFailedTelescopeCheck) {
  FailingCheck failing;
  EXPECT_EQ(RunCapture(corvex, SelfGuided(), failing), CaptureResult::kEndedEarly);
  EXPECT_EQ(log.fullFrameReads, 0);
  EXPECT_EQ(ImageValues(corvex.store.currentImage), imageBefore);
  ExpectNothingLeftBehind();
}

// Guiding that loses its star on the third cycle.
class LosingSteps : public CaptureGuidingSteps {
 public:
  bool Cycle(Corvex& corvex, bool firstHalfRead) override {
    return CaptureGuidingSteps::Cycle(corvex, firstHalfRead) && ++cycles_ < 3;
  }

 private:
  int cycles_ = 0;
};

TEST_F(GuidedCaptureTest, LostGuiding) {
  LosingSteps losing;
  EXPECT_EQ(RunCapture(corvex, SelfGuided(), losing), CaptureResult::kEndedEarly);
  EXPECT_TRUE(HasMessage("Selfguiding terminated - lost star"));
  EXPECT_EQ(ImageValues(corvex.store.currentImage), imageBefore);
  ExpectNothingLeftBehind();
}

TEST_F(GuidedCaptureTest, ACancelledRunGuidedFromTheGuiderCamera) {
  ASSERT_TRUE(testing::SelectBrightestGuiderStar(corvex));
  rig.host.CancelAt(rig.clock.NowMs() + 15000);  // during the exposure, after the guider started
  EXPECT_EQ(RunCapture(
                corvex,
                [](Corvex& c) {
                  c.state.exposureValue = 20;
                  c.state.exposureUnit = 's';
                  c.state.guideWithGuiderCamera = true;
                  return PanelOutcome::kTakePhoto;
                },
                steps),
            CaptureResult::kCompleted);
  EXPECT_FALSE(rig.host.guidingInfos.empty()) << "the guider guided";
  ExpectNothingLeftBehind();
}

TEST_F(GuidedCaptureTest, ACancelWhileTheGuiderStartsLeavesNothingBehind) {
  ASSERT_TRUE(testing::SelectBrightestGuiderStar(corvex));
  rig.host.CancelAt(rig.clock.NowMs() + 2000);
  EXPECT_EQ(RunCapture(
                corvex,
                [](Corvex& c) {
                  c.state.exposureValue = 20;
                  c.state.exposureUnit = 's';
                  c.state.guideWithGuiderCamera = true;
                  return PanelOutcome::kTakePhoto;
                },
                steps),
            CaptureResult::kEndedEarly);
  EXPECT_EQ(log.fullFrameReads, 0) << "no exposure was read";
  ExpectNothingLeftBehind();
}

// Guider camera guiding whose star is lost at a given time.
class GuiderLosingSteps : public CaptureGuidingSteps {
 public:
  explicit GuiderLosingSteps(std::int64_t lostAtMs) : lostAtMs_(lostAtMs) {}
  bool GuiderStep(Corvex& corvex) override {
    return CaptureGuidingSteps::GuiderStep(corvex) || corvex.clock.NowMs() >= lostAtMs_;
  }

 private:
  std::int64_t lostAtMs_;
};

TEST_F(GuidedCaptureTest, LostGuiderGuidingEndsTheExposureWithTheLightItHas) {
  ASSERT_TRUE(testing::SelectBrightestGuiderStar(corvex));
  state.autoSave = true;
  state.alternativeSlewMethod = true;
  GuiderLosingSteps losing(rig.clock.NowMs() + 8000);
  EXPECT_EQ(RunCapture(
                corvex,
                [](Corvex& c) {
                  c.state.exposureValue = 20;
                  c.state.exposureUnit = 's';
                  c.state.exposureCount = 3;
                  c.state.guideWithGuiderCamera = true;
                  return PanelOutcome::kTakePhoto;
                },
                losing),
            CaptureResult::kCompleted);
  ASSERT_EQ(log.frames.size(), 1u) << "the run ends with the frame guiding lost";
  const sim::FrameRequest& exposed = observatory->readouts().back();
  const double seconds = static_cast<double>(exposed.endMs - exposed.startMs) / 1000;
  EXPECT_LT(seconds, 10);
  EXPECT_NEAR(LoadSaved(1).fields.exposureSeconds, seconds, 0.01);
  ExpectNothingLeftBehind();
}

TEST_F(GuidedCaptureTest, AShortSelfGuidedExposureAddsNoStaleFirstHalf) {
  ASSERT_EQ(RunCapture(corvex, SelfGuided(), steps), CaptureResult::kCompleted);
  // No first half is read in a 2 s exposure of tenths: the image is its one readout.
  ASSERT_EQ(RunCapture(corvex, SelfGuided(20, 't'), steps), CaptureResult::kCompleted);
  EXPECT_EQ(log.fields.back(), 2);
  EXPECT_EQ(ImageValues(corvex.store.currentImage), log.frames.back());
  ExpectNothingLeftBehind();
}

}  // namespace
}  // namespace corvex
