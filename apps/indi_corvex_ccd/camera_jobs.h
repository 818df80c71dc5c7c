// What the driver asks of the camera, as sequences over the shared link: the main camera's
// exposure, the guider camera's frame, a relay pulse and a filter move, each taking the link
// only for its groups of requests so that they can run side by side on their own threads.
// Also the frames they become: the standard FITS file of a main or guide frame, raw or as
// the program's colour synthesis makes it, and where a frame saved on the driver's side goes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "camera/exposures.h"
#include "camera/guide_relays.h"
#include "driver_camera.h"
#include "files/standard_fits.h"
#include "state/image_store.h"
#include "state/program_settings.h"

namespace corvex::indi {

// The main camera's exposure: the requests and waits of ExposeMainFrame, with the link let go
// between the register clears of a wait in seconds, so that guide frames, pulses and filter
// moves go out while the light is collected. A camera-timed exposure (a second or less) keeps
// the link from its first clear to its readout, since the camera itself times it. A cancel
// ends a wait in seconds and nothing is read. kReadFailed also when any request of the
// exposure failed, even if the frame then arrived whole.
ExposureOutcome ExposeMain(DriverCamera& camera, const ExposureTiming& timing, ImageBuffer& image,
                           const std::function<bool()>& cancelRequested);

// One guider camera frame as ExposeGuider takes it (guider clear, the exposure, the readout,
// then dark, hot pixels and gain), with the link let go during the exposure, which a cancel
// ends (nothing is read then).
ExposureOutcome ExposeGuideHead(DriverCamera& camera, const GuiderExposureOptions& options,
                                GuiderBuffer& image, GuiderBuffer& scratch,
                                const std::function<bool()>& cancelRequested);

// The guide relays' mask for a pulse towards `direction` ('n', 's', 'e' or 'w'), through the
// program's direction table (east, west, north, south), so that its swaps hold here too.
std::uint8_t PulseMask(char direction, const ProgramSettings& settings);

// One relay pulse (PulseGuideRelays) with the link to itself.
PulseOutcome PulseRelays(DriverCamera& camera, std::uint8_t mask, std::uint32_t durationMs);

// Moves the filter wheel to `position` (1-7); false when it is no slot or a request failed.
bool MoveFilter(DriverCamera& camera, int port, int position);

// The colour synthesis of the program's defaults on a raw frame: black level off, the
// colour planes from each pixel's filter phase, then light-pollution correction and the
// anti-alias filter when the settings ask for them. `raw` loses its black level; the
// luminance goes to `luminance`. Linear: the stretches and sharpening filters of the program
// are left to the client, which stretches for display and stacks linear frames.
void SynthesizeColour(ImageBuffer& raw, const ProgramSettings& settings, ImageBuffer& luminance,
                      ColourPlanes& planes, ColourPlanes& detail, ColourPlanes& scratch);

// The guider's 500 x 290 frame laid into the main camera's grid (six blank columns before each
// row, as a camera readout is laid), so that both chips send the same standard file shape.
void LayGuiderFrame(const GuiderBuffer& guider, ImageBuffer& image);

// Where a frame saved on the driver's side goes: `prefix` in `directory` with "ISO8601"
// replaced by the exposure's start and "XXX" by the first three-digit number not yet taken,
// and ".fits" after it.
std::filesystem::path LocalFramePath(const std::filesystem::path& directory, std::string prefix,
                                     std::int64_t startCalendarSeconds);

}  // namespace corvex::indi
