// Our 5 x 5 Gaussian, 3 x 3 / 5 x 5 median passes and colour synthesis rows next to OpenCV's on the
// same 16-bit star field, in one run, with the ratios printed at the end. OpenCV runs once on one
// thread (like ours) and once with its own thread count.
//
// Ours include the copy of the frame into the output that every pass starts from, since
// OpenCV writes its whole output too; OpenCV's output buffer is allocated once, outside the
// timing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "camera/camera_link.h"
#include "corvex.h"
#include "processing/colour_synthesis.h"
#include "processing/spatial_filters.h"

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
void OurGaussian(benchmark::State& state) {
  ImageBuffer out;
  const corvex::KernelTable& kernel = corvex::KernelEntries(corvex::Kernel::kGaussian);
  for (auto _ : state) {
    corvex::CopyImage(Frame(), out);
    corvex::ConvolvePass(Frame(), out, 2, kernel, 80, 0);
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

// ---- OpenCV; `threads` 1 or 0 for OpenCV's default ----
void UseThreads(int threads) {
  cv::setNumThreads(threads == 1 ? 1 : -1);
}

void CvGaussianBlur(benchmark::State& state, int threads) {
  UseThreads(threads);
  const cv::Mat in = FrameMat();
  cv::Mat out(in.size(), CV_16U);
  for (auto _ : state) {
    cv::GaussianBlur(in, out, cv::Size(5, 5), 0);
    benchmark::DoNotOptimize(out.data);
  }
}

void CvFilter2DOurKernel(benchmark::State& state, int threads) {
  UseThreads(threads);
  const corvex::KernelTable& entries = corvex::KernelEntries(corvex::Kernel::kGaussian);
  cv::Mat kernel(5, 5, CV_32F);
  for (int i = 0; i < 25; ++i) kernel.at<float>(i / 5, i % 5) = entries[i] / 80.0f;
  const cv::Mat in = FrameMat();
  cv::Mat out(in.size(), CV_16U);
  for (auto _ : state) {
    cv::filter2D(in, out, -1, kernel);
    benchmark::DoNotOptimize(out.data);
  }
}

void CvMedianBlur(benchmark::State& state, int size, int threads) {
  UseThreads(threads);
  const cv::Mat in = FrameMat();
  cv::Mat out(in.size(), CV_16U);
  for (auto _ : state) {
    cv::medianBlur(in, out, size);
    benchmark::DoNotOptimize(out.data);
  }
}

// Bayer demosaicing of the frame's 500 camera columns to 16-bit BGR.
void CvBayerToBgr(benchmark::State& state, int threads) {
  UseThreads(threads);
  const cv::Mat in = FrameMat()(cv::Rect(6, 0, 500, corvex::kImageRows)).clone();
  cv::Mat out(in.size(), CV_16UC3);
  for (auto _ : state) {
    cv::cvtColor(in, out, cv::COLOR_BayerBG2BGR);
    benchmark::DoNotOptimize(out.data);
  }
}

// Keeps every run's time and prints ours against OpenCV's at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) timesUs[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> timesUs;
};

}  // namespace

int main(int argc, char** argv) {
  struct Comparison {
    std::string ours, theirs;
  };
  const std::vector<Comparison> comparisons = {
      {"ours/gaussian_5x5", "opencv/GaussianBlur_5x5"},
      {"ours/gaussian_5x5", "opencv/filter2D_our_gaussian_5x5"},
      {"ours/median_3x3", "opencv/medianBlur_3x3"},
      {"ours/median_5x5", "opencv/medianBlur_5x5"},
      {"ours/colour_synthesis_rows", "opencv/cvtColor_BayerBG2BGR"},
  };
  auto us = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMicrosecond); };
  us(benchmark::RegisterBenchmark("ours/gaussian_5x5", OurGaussian));
  us(benchmark::RegisterBenchmark("ours/median_3x3", OurMedian, 1));
  us(benchmark::RegisterBenchmark("ours/median_5x5", OurMedian, 2));
  us(benchmark::RegisterBenchmark("ours/colour_synthesis_rows", OurColourRows));
  for (int threads : {1, 0}) {
    const std::string suffix = threads == 1 ? "/1_thread" : "/default_threads";
    us(benchmark::RegisterBenchmark(("opencv/GaussianBlur_5x5" + suffix).c_str(), CvGaussianBlur,
                                    threads));
    us(benchmark::RegisterBenchmark(("opencv/filter2D_our_gaussian_5x5" + suffix).c_str(),
                                    CvFilter2DOurKernel, threads));
    us(benchmark::RegisterBenchmark(("opencv/medianBlur_3x3" + suffix).c_str(), CvMedianBlur, 3,
                                    threads));
    us(benchmark::RegisterBenchmark(("opencv/medianBlur_5x5" + suffix).c_str(), CvMedianBlur, 5,
                                    threads));
    us(benchmark::RegisterBenchmark(("opencv/cvtColor_BayerBG2BGR" + suffix).c_str(), CvBayerToBgr,
                                    threads));
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nOpenCV %s, %d CPUs. Ours / OpenCV (above 1: OpenCV is faster):\n", CV_VERSION,
              cv::getNumberOfCPUs());
  for (const Comparison& c : comparisons) {
    const auto ours = reporter.timesUs.find(c.ours);
    if (ours == reporter.timesUs.end()) continue;
    for (const char* suffix : {"/1_thread", "/default_threads"}) {
      const auto theirs = reporter.timesUs.find(c.theirs + suffix);
      if (theirs == reporter.timesUs.end()) continue;
      std::printf("  %-20s vs %-50s %6.2f\n", c.ours.c_str(), (c.theirs + suffix).c_str(),
                  ours->second / theirs->second);
    }
  }
  return 0;
}
