// Our image kernels next to OpenCV's on the same 16-bit star field, in one run, printed as one
// table: kernel, our time, OpenCV's time and the ratio, each time the median of repeated runs.
// OpenCV runs on one thread, like ours, and the times are CPU times: on a machine shared with
// other work they are steadier than the wall clock, which also counts the waits for a core.
// Kernels OpenCV has no counterpart for are listed with our time only. Below the kernels come
// the steps a user waits for, timed on the wall clock since their disk writes are part of the
// wait: the post-frame steps of a capture run and, where Qt is installed, the desktop's redraw
// after a command (the display rebuild, the window's picture made from it, and a paint).
//
// Ours include the copy of the frame into the output that every pass starts from, since
// OpenCV writes its whole output too; OpenCV's output buffer is allocated once, outside the
// timing. The repetitions are interleaved at random, so a busy spell on a shared machine is
// spread over all kernels rather than falling on one of them; the spread column shows how far
// the repetitions of each side lay apart (the interquartile range over the median).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "bench_support.h"
#include "commands/colour_commands.h"
#include "commands/display_commands.h"
#include "corvex.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "processing/display_image.h"
#include "processing/spatial_filters.h"

#ifdef CORVEX_BENCH_QT
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#endif

namespace {

using corvex::ImageBuffer;

const ImageBuffer& Frame() {
  return corvex::bench::StarFrame();
}

cv::Mat FrameMat() {
  return cv::Mat(corvex::kImageRows, corvex::kImageStride, CV_16U,
                 const_cast<std::uint16_t*>(Frame().data()));
}

// ---- Ours ----
void OurConvolution(benchmark::State& state, int radius, corvex::Kernel kernel, int divisor) {
  ImageBuffer out;
  const corvex::KernelTable& entries = corvex::KernelEntries(kernel);
  for (auto _ : state) {
    corvex::CopyImage(Frame(), out);
    corvex::ConvolvePass(Frame(), out, radius, entries, divisor, 0);
    benchmark::DoNotOptimize(out.data());
  }
}

void OurUnsharp(benchmark::State& state, int radius) {
  ImageBuffer out;
  for (auto _ : state) {
    corvex::CopyImage(Frame(), out);
    corvex::UnsharpPass(Frame(), out, radius, 1, 0);
    benchmark::DoNotOptimize(out.data());
  }
}

void OurMedian(benchmark::State& state, int radius) {
  ImageBuffer out;
  for (auto _ : state) {
    corvex::CopyImage(Frame(), out);
    corvex::MedianPass(Frame(), out, radius, 6, 0);
    benchmark::DoNotOptimize(out.data());
  }
}

// The colour synthesis rows (luminance and three planes from the colour-matrix samples).
void OurColourRows(benchmark::State& state) {
  ImageBuffer luminance;
  corvex::ColourPlanes planes;
  const corvex::MutablePlaneView view{planes.red.data(), planes.green.data(), planes.blue.data()};
  for (auto _ : state) {
    corvex::SynthesizeRows(Frame(), luminance, view, true, false, false);
    benchmark::DoNotOptimize(luminance.data());
  }
}

// Colour planes synthesised from the star field, for the colour kernels.
struct SynthesisedFrame {
  SynthesisedFrame() { corvex::SynthesizeRows(Frame(), luminance, View(), true, false, false); }
  corvex::MutablePlaneView View() {
    return {planes.red.data(), planes.green.data(), planes.blue.data()};
  }
  ImageBuffer luminance;
  corvex::ColourPlanes planes;
};

void OurAntiAlias(benchmark::State& state) {
  SynthesisedFrame frame;
  corvex::ColourPlanes work, detail, scratch;
  const corvex::MutablePlaneView view{work.red.data(), work.green.data(), work.blue.data()};
  for (auto _ : state) {
    std::copy(frame.planes.red.begin(), frame.planes.red.end(), work.red.begin());
    std::copy(frame.planes.green.begin(), frame.planes.green.end(), work.green.begin());
    std::copy(frame.planes.blue.begin(), frame.planes.blue.end(), work.blue.begin());
    corvex::AntiAliasPass(view, {detail.red.data(), detail.green.data(), detail.blue.data()},
                          {scratch.red.data(), scratch.green.data(), scratch.blue.data()});
    benchmark::DoNotOptimize(work.red.data());
  }
}

// The colour display image: 290 rows of blue, green, red bytes from the luminance's high
// bytes and the planes, with the auto contrast curve on.
void OurColourDisplay(benchmark::State& state) {
  SynthesisedFrame frame;
  std::vector<std::uint8_t> lum(corvex::kImageValues);
  for (int i = 0; i < corvex::kImageValues; ++i) lum[i] = frame.luminance[i] >> 8;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(corvex::kColourRowBytes) *
                                corvex::kImageRows);
  for (auto _ : state) {
    // As the display rebuild does it: the brightness table once, then a row at a time.
    const corvex::kernels::BrightnessTable brightness = corvex::ColourBrightness(true, 20);
    for (int row = 0; row < corvex::kImageRows; ++row) {
      std::uint8_t* line = out.data() + (corvex::kImageRows - 1 - row) * corvex::kColourRowBytes;
      const int i = row * corvex::kImageStride;
      corvex::kernels::ColourDisplayRow(lum.data() + i, frame.planes.red.data() + i,
                                        frame.planes.green.data() + i, frame.planes.blue.data() + i,
                                        corvex::kDisplayWidth, brightness, 2, line);
    }
    benchmark::DoNotOptimize(out.data());
  }
}

// ---- The steps around the kernels, on the wall clock ----
// Colour synthesis with every option, as the menu command runs it (settings file included).
void OurSynthesisAllOptions(benchmark::State& state) {
  corvex::bench::Context context;
  corvex::Corvex& corvex = context.corvex;
  for (auto _ : state) {
    state.PauseTiming();
    corvex::CopyImage(Frame(), corvex.store.currentImage);
    corvex.state.colourConverted = false;
    state.ResumeTiming();
    corvex::SynthesizeColourImage(corvex, corvex::bench::AllColourOptions);
  }
}

// The post-frame steps of a capture run on the star field.
void OurPostFrameSteps(benchmark::State& state) {
  corvex::bench::Context context;
  corvex::bench::TimePostFrameSteps(state, context, Frame());
}

#ifdef CORVEX_BENCH_QT
// The desktop's redraw after a command, beyond the command's own kernel: the display rebuild,
// the window's picture made from the display bitmap (as TCorvexWindow::ShowDisplayBitmap
// makes it) and one paint of it into a window-sized surface.
void OurDesktopRedraw(benchmark::State& state, bool colour) {
  corvex::bench::Context context;
  corvex::Corvex& corvex = context.corvex;
  corvex::CopyImage(Frame(), corvex.store.currentImage);
  if (colour) corvex::SynthesizeColourImage(corvex, corvex::bench::NoColourOptions);
  QImage window(800, 600, QImage::Format_RGB32);
  for (auto _ : state) {
    corvex::RebuildDisplayImage(corvex);
    const std::span<const std::uint8_t> bmp = corvex.display.ShownBytes();
    QPixmap picture;
    if (!picture.loadFromData(bmp.data(), static_cast<uint>(bmp.size()), "BMP")) {
      state.SkipWithError("the display bitmap did not load");
      break;
    }
    QPainter painter(&window);
    painter.drawPixmap(0, 0, picture);
    painter.end();
    benchmark::DoNotOptimize(window.constBits());
  }
}
#endif

// ---- OpenCV, on one thread ----
void CvFilter2D(benchmark::State& state, int radius, corvex::Kernel kernel, int divisor) {
  cv::setNumThreads(1);
  const corvex::KernelTable& entries = corvex::KernelEntries(kernel);
  const int size = 2 * radius + 1;
  cv::Mat k(size, size, CV_32F);
  for (int i = 0; i < size * size; ++i) {
    k.at<float>(i / size, i % size) = static_cast<float>(entries[i]) / divisor;
  }
  const cv::Mat in = FrameMat();
  cv::Mat out(in.size(), CV_16U);
  for (auto _ : state) {
    cv::filter2D(in, out, -1, k);
    benchmark::DoNotOptimize(out.data);
  }
}

// The unsharp mask as OpenCV users write it: a box blur and a weighted sum.
void CvUnsharp(benchmark::State& state, int radius) {
  cv::setNumThreads(1);
  const cv::Mat in = FrameMat();
  cv::Mat blurred(in.size(), CV_16U), out(in.size(), CV_16U);
  const int size = 2 * radius + 1;
  for (auto _ : state) {
    cv::blur(in, blurred, cv::Size(size, size));
    cv::addWeighted(in, 2.0, blurred, -1.0, 0, out);
    benchmark::DoNotOptimize(out.data);
  }
}

void CvMedianBlur(benchmark::State& state, int size) {
  cv::setNumThreads(1);
  const cv::Mat in = FrameMat();
  cv::Mat out(in.size(), CV_16U);
  for (auto _ : state) {
    cv::medianBlur(in, out, size);
    benchmark::DoNotOptimize(out.data);
  }
}

// Bayer demosaicing of the frame's 500 camera columns to 16-bit BGR.
void CvBayerToBgr(benchmark::State& state) {
  cv::setNumThreads(1);
  const cv::Mat in = FrameMat()(cv::Rect(6, 0, 500, corvex::kImageRows)).clone();
  cv::Mat out(in.size(), CV_16UC3);
  for (auto _ : state) {
    cv::cvtColor(in, out, cv::COLOR_BayerBG2BGR);
    benchmark::DoNotOptimize(out.data);
  }
}

// Keeps the CPU and the wall-clock time of every repetition, and prints nothing: the table is
// the report.
class Collector : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      timesUs[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      realTimesUs[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
    }
  }
  std::map<std::string, std::vector<double>> timesUs;
  std::map<std::string, std::vector<double>> realTimesUs;
};

struct Summary {
  double median = 0;
  double spread = 0;  // interquartile range / median
};

Summary Summarise(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const auto at = [&times](double q) {
    const double position = q * static_cast<double>(times.size() - 1);
    const auto low = static_cast<std::size_t>(position);
    const std::size_t high = std::min(low + 1, times.size() - 1);
    return times[low] + (times[high] - times[low]) * (position - static_cast<double>(low));
  };
  const double median = at(0.5);
  return {median, median > 0 ? (at(0.75) - at(0.25)) / median : 0};
}

struct Pair {
  std::string kernel;  // the row's name, also our benchmark's name
  std::function<void(benchmark::State&)> ours;
  std::string opencvName;  // empty: no counterpart
  std::function<void(benchmark::State&)> opencv;
  bool wallClock = false;  // listed with its wall-clock time, below the kernels
};

std::vector<Pair> Pairs() {
  using corvex::Kernel;
  const auto conv = [](int r, Kernel k, int d) {
    return [=](benchmark::State& s) { OurConvolution(s, r, k, d); };
  };
  const auto filter2D = [](int r, Kernel k, int d) {
    return [=](benchmark::State& s) { CvFilter2D(s, r, k, d); };
  };
  return {
      {"median 3x3 (radius 1)", [](benchmark::State& s) { OurMedian(s, 1); }, "medianBlur 3",
       [](benchmark::State& s) { CvMedianBlur(s, 3); }},
      {"median 5x5 (radius 2)", [](benchmark::State& s) { OurMedian(s, 2); }, "medianBlur 5",
       [](benchmark::State& s) { CvMedianBlur(s, 5); }},
      {"median 7x7 (radius 3)", [](benchmark::State& s) { OurMedian(s, 3); }, "", {}},
      {"lowpass 3x3", conv(1, Kernel::kWeightedMean, 16), "filter2D 3x3",
       filter2D(1, Kernel::kWeightedMean, 16)},
      {"high pass low 3x3", conv(1, Kernel::kHighPassLow, 1), "filter2D 3x3",
       filter2D(1, Kernel::kHighPassLow, 1)},
      {"gaussian 5x5", conv(2, Kernel::kGaussian, 80), "filter2D 5x5",
       filter2D(2, Kernel::kGaussian, 80)},
      {"high pass high 5x5", conv(2, Kernel::kHighPassHigh, 1), "filter2D 5x5",
       filter2D(2, Kernel::kHighPassHigh, 1)},
      {"smoother/sharper 5x5", conv(2, Kernel::kSmootherSharper, 1), "filter2D 5x5",
       filter2D(2, Kernel::kSmootherSharper, 1)},
      {"bas relief 5x5", conv(2, Kernel::kBasRelief, 1), "filter2D 5x5",
       filter2D(2, Kernel::kBasRelief, 1)},
      {"unsharp radius 3", [](benchmark::State& s) { OurUnsharp(s, 3); }, "blur 7 + addWeighted",
       [](benchmark::State& s) { CvUnsharp(s, 3); }},
      {"unsharp radius 7", [](benchmark::State& s) { OurUnsharp(s, 7); }, "blur 15 + addWeighted",
       [](benchmark::State& s) { CvUnsharp(s, 7); }},
      {"colour synthesis rows", OurColourRows, "cvtColor BayerBG2BGR", CvBayerToBgr},
      {"anti-alias", OurAntiAlias, "", {}},
      {"colour display image", OurColourDisplay, "", {}},
      {"synthesis, all options", OurSynthesisAllOptions, "", {}, true},
      {"post-frame steps", OurPostFrameSteps, "", {}, true},
#ifdef CORVEX_BENCH_QT
      {"desktop redraw, mono",
       [](benchmark::State& s) { OurDesktopRedraw(s, false); },
       "",
       {},
       true},
      {"desktop redraw, colour",
       [](benchmark::State& s) { OurDesktopRedraw(s, true); },
       "",
       {},
       true},
#endif
  };
}

}  // namespace

int main(int argc, char** argv) {
#ifdef CORVEX_BENCH_QT
  // The desktop's pictures need a GUI application, not a screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
#endif
  const std::vector<Pair> pairs = Pairs();
  for (const Pair& pair : pairs) {
    benchmark::RegisterBenchmark(("ours: " + pair.kernel).c_str(), pair.ours)
        ->Unit(benchmark::kMicrosecond);
    if (pair.opencv) {
      benchmark::RegisterBenchmark(("opencv: " + pair.kernel).c_str(), pair.opencv)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  // Defaults that the command line can override (a later flag wins).
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=21";
  std::string minTime = "--benchmark_min_time=0.05";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions.data(), minTime.data(), interleave.data()});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  std::fprintf(stderr, "Timing %zu kernels against OpenCV %s (one thread)...\n", pairs.size(),
               CV_VERSION);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();

  std::printf("Median CPU time of one pass in microseconds; OpenCV %s on one thread.\n",
              CV_VERSION);
  std::printf("%-24s %10s %10s %7s   %-22s %s\n", "kernel", "ours us", "OpenCV us", "ratio",
              "OpenCV kernel", "spread ours/OpenCV");
  for (const Pair& pair : pairs) {
    if (pair.wallClock) continue;
    const auto ours = collector.timesUs.find("ours: " + pair.kernel);
    if (ours == collector.timesUs.end()) continue;
    const Summary o = Summarise(ours->second);
    const auto theirs = collector.timesUs.find("opencv: " + pair.kernel);
    if (theirs == collector.timesUs.end()) {
      std::printf("%-24s %10.1f %10s %7s   %-22s %3.0f%%\n", pair.kernel.c_str(), o.median, "-",
                  "-", "-", 100 * o.spread);
      continue;
    }
    const Summary t = Summarise(theirs->second);
    std::printf("%-24s %10.1f %10.1f %7.2f   %-22s %3.0f%% / %.0f%%\n", pair.kernel.c_str(),
                o.median, t.median, o.median / t.median, pair.opencvName.c_str(), 100 * o.spread,
                100 * t.spread);
  }
  std::printf("\nMedian wall-clock time of one pass in microseconds (disk writes included).\n");
  std::printf("%-24s %10s %10s   %s\n", "step", "ours us", "CPU us", "spread");
  for (const Pair& pair : pairs) {
    if (!pair.wallClock) continue;
    const auto real = collector.realTimesUs.find("ours: " + pair.kernel);
    if (real == collector.realTimesUs.end()) continue;
    const Summary r = Summarise(real->second);
    const Summary c = Summarise(collector.timesUs["ours: " + pair.kernel]);
    std::printf("%-24s %10.1f %10.1f   %3.0f%%\n", pair.kernel.c_str(), r.median, c.median,
                100 * r.spread);
  }
  return 0;
}
