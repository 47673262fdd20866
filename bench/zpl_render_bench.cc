// How fast labels are drawn, and whether drawing slows the simulated
// printer's acceptance of jobs. The label is the demo's 4 x 6 inch shipping
// label: logo, address block, Code 128, QR code, reversed text.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "test_print_system/file_util.h"
#include "test_print_system/label_printer.h"
#include "test_print_system/scratch_directory.h"
#include "zpl/document/label_pictures.h"
#include "zpl/document/label_renderer.h"

namespace {

using corvella::testing::ReadFile;

std::string ShippingLabel() { return ReadFile(CORVELLA_SAMPLE_LABEL).value_or(""); }

void BM_RenderShippingLabel(benchmark::State& state) {
  const std::string label = ShippingLabel();
  corvella::zpl::LabelRenderer renderer({.dots_per_mm = 8, .media = corvella::zpl::MediaSize{}});
  for (auto _ : state) benchmark::DoNotOptimize(renderer.render(label));
}
BENCHMARK(BM_RenderShippingLabel)->Unit(benchmark::kMillisecond);

// Carrier labels of the test corpus: MaxiCode and Code 128 (UPS), PDF417
// with rows and columns (FedEx), GS1 Code 128 in modes D and U.
void BM_RenderCarrierLabel(benchmark::State& state) {
  static const char* const kLabels[] = {"01_ups_ground", "02_fedex_ground", "04_gs1_sscc"};
  const std::string label =
      ReadFile(std::string(CORVELLA_ZPL_CORPUS) + "/" + kLabels[state.range(0)] + ".zpl")
          .value_or("");
  corvella::zpl::LabelRenderer renderer({.dots_per_mm = 8, .media = corvella::zpl::MediaSize{}});
  for (auto _ : state) benchmark::DoNotOptimize(renderer.render(label));
  state.SetLabel(kLabels[state.range(0)]);
}
BENCHMARK(BM_RenderCarrierLabel)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_RenderShippingLabelToPng(benchmark::State& state) {
  const std::string label = ShippingLabel();
  corvella::zpl::LabelRenderer renderer({.dots_per_mm = 8, .media = corvella::zpl::MediaSize{}});
  corvella::testing::ScratchDirectory directory;
  std::string error;
  if (!directory.create("zpl-bench", error)) state.SkipWithError(error.c_str());
  for (auto _ : state) {
    if (!corvella::zpl::WriteLabelPictures(renderer.render(label), directory.path() + "/label",
                                           error)) {
      state.SkipWithError(error.c_str());
    }
  }
}
BENCHMARK(BM_RenderShippingLabelToPng)->Unit(benchmark::kMillisecond);

// Sends 1,000 shipping labels one after another, as fast as the printer
// takes them; jobs_per_s counts them stored, pictures_per_s until the last
// one's pictures are drawn.
void BM_PrinterStoresJobs(benchmark::State& state) {
  const bool render = state.range(0) != 0;
  const std::string label = ShippingLabel();
  constexpr int kJobs = 1000;
  for (auto _ : state) {
    corvella::testing::ScratchDirectory directory;
    std::string error;
    if (!directory.create("printer-bench", error)) state.SkipWithError(error.c_str());
    corvella::testing::LabelPrinter printer;
    if (!printer.start(directory.path(), error, render)) {
      state.SkipWithError(error.c_str());
      break;
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kJobs; ++i) {
      if (!corvella::testing::SendJob(printer.port(), label)) state.SkipWithError("send failed");
    }
    if (corvella::testing::WaitForJobs(directory.path(), kJobs, std::chrono::seconds(60)).size() !=
        kJobs) {
      state.SkipWithError("jobs missing");
    }
    const double stored =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char last[64];
    std::snprintf(last, sizeof last, "/job-%06d.json", kJobs);
    while (render && access((directory.path() + last).c_str(), F_OK) != 0 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double drawn =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["jobs_per_s"] = kJobs / stored;
    if (render) state.counters["pictures_per_s"] = kJobs / drawn;
  }
}
BENCHMARK(BM_PrinterStoresJobs)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("render")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
