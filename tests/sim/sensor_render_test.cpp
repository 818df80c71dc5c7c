// The simulator's frames against the pixel-by-pixel sensor model: the same values and the same
// noise stream for main-camera frames, windows, fields and guider frames, from short quiet
// exposures to saturated ones, with the mount moving, and with buffers reused between frames
// of different shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/reference_render.h"
#include "sim/sensor_render.h"

namespace corvex::sim {
namespace {

struct Case {
  bool guider;
  int x, y, width, height, field;
  std::int64_t ms;
};

FrameRequest Request(const Case& c, std::int64_t startMs) {
  FrameRequest r;
  r.guider = c.guider;
  r.x = c.x;
  r.y = c.y;
  r.width = c.width;
  r.height = c.height;
  r.field = c.field;
  r.startMs = startMs;
  r.endMs = startMs + c.ms;
  return r;
}

// Renders every case in turn with both models, each with its own noise source from the same
// seed, and one set of buffers for the fast model all through.
void ExpectSameFrames(const SimConfig& config, const std::vector<Case>& cases,
                      std::uint8_t relays = 0) {
  const SimSky sky = MakeSky(config.seed);
  SimMount mount(config, 0);
  if (relays != 0) mount.SetRelays(relays, 500);
  NoiseSource fastNoise(config.seed), referenceNoise(config.seed);
  std::vector<std::uint16_t> values;
  RenderBuffers buffers;
  std::int64_t at = 1000;
  for (const Case& c : cases) {
    const FrameRequest request = Request(c, at);
    at += c.ms + 37;
    RenderFrame(sky, mount, config, request, fastNoise, values, buffers);
    const auto expected =
        reference::ReferenceRenderFrame(sky, mount, config, request, referenceNoise);
    ASSERT_EQ(values.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(values[i], expected[i])
          << "guider " << c.guider << " window " << c.x << "," << c.y << " " << c.width << "x"
          << c.height << " field " << c.field << " " << c.ms << " ms, pixel " << i;
    }
    // The noise stream is where the next frame starts: it must be in step too.
    ASSERT_EQ(fastNoise.Uniform(), referenceNoise.Uniform());
  }
}

TEST(SensorRender, MainCameraFramesWindowsAndFieldsMatchThePixelModel) {
  ExpectSameFrames(SimConfig{}, {
                                    {false, 0, 0, kSensorWidth, kSensorHeight, 3, 1000},
                                    {false, 184, 65, 128, 128, 3, 1000},
                                    {false, 0, 0, kSensorWidth, kSensorHeight, 1, 2500},
                                    {false, 0, 0, kSensorWidth, kSensorHeight, 2, 2500},
                                    {false, 7, 3, 33, 17, 3, 0},
                                    {false, 181, 59, 128, 128, 2, 150},
                                    // Long enough for the bright stars to saturate.
                                    {false, 0, 0, kSensorWidth, kSensorHeight, 3, 60000},
                                    {false, 400, 200, 128, 128, 3, 3000},
                                });
}

// Frames of one window and exposure in a row keep their background from the frame before:
// the stars move on (the mount drifts and is guided) and hot pixels stay, a change of field
// keeps the background, a change of window or exposure does not.
TEST(SensorRender, AWindowRenderedAgainMatchesThePixelModel) {
  SimConfig config;
  config.seed = 5;
  config.fwhmPx = 4;
  const Case window{false, 184, 65, 128, 128, 3, 1000};
  const Case otherField{false, 184, 65, 128, 128, 2, 1000};
  const Case longer{false, 184, 65, 128, 128, 3, 2000};
  const Case moved{false, 187, 59, 128, 128, 3, 1000};
  ExpectSameFrames(config, {window, window, window, otherField, window, longer, window, moved,
                            moved, {false, 0, 0, kSensorWidth, kSensorHeight, 3, 1000}, window},
                   0x09);
  // A window around a hot pixel, long enough for it to saturate, again and again.
  config.seed = 1;
  const SimSky sky = MakeSky(config.seed);
  ASSERT_FALSE(sky.hotPixels.empty());
  const auto [x, y] = sky.hotPixels.front();
  const Case around{false, std::max(x - 20, 0), std::max(y - 20, 0), 40, 40, 3, 30000};
  ExpectSameFrames(config, {around, around, around});
}

TEST(SensorRender, GuiderFramesMatchThePixelModelQuietAndLoud) {
  SimConfig config;
  config.seed = 11;
  ExpectSameFrames(config, {
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 1000},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 1300},
                               // Same exposure again, then another window of it.
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 1300},
                               {true, 200, 100, 64, 80, 3, 1300},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 1300},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 1, 1000},
                               // The sky alone rises above the quiet level.
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 2500},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 20},
                               {true, 200, 100, 64, 80, 3, 6000},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 120000},
                           });
  config.guiderMirrored = true;
  config.guiderRotationDeg = -75;
  config.fwhmPx = 6;
  ExpectSameFrames(config, {
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 1000},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 4000},
                           },
                   0x05);
}

TEST(SensorRender, MovingMountWideStarsAndWindowsOffTheSensorMatchThePixelModel) {
  SimConfig config;
  config.seed = 3;
  config.fwhmPx = 0.5;
  // Windows reaching past the sensor's edges, or lying off it, and empty ones.
  ExpectSameFrames(config,
                   {
                       {false, 450, 250, 128, 128, 3, 1000},
                       {false, -5, -3, 40, 40, 3, 1000},
                       {false, 600, 400, 16, 16, 3, 1000},
                       {false, 10, 10, 0, 20, 3, 1000},
                       {true, -9, 280, 64, 32, 3, 2000},
                       {false, 0, 0, kSensorWidth, kSensorHeight, 3, 4000},
                   },
                   0x0A);
  config.fwhmPx = 9;
  ExpectSameFrames(config, {
                               {false, 0, 0, kSensorWidth, kSensorHeight, 3, 4000},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 1000},
                               {true, 450, 250, 50, 40, 3, 1000},
                               {true, 0, 0, kSensorWidth, kSensorHeight, 3, 4000},
                           },
                   0x06);
}

}  // namespace
}  // namespace corvex::sim
