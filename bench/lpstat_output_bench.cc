// How long reading lpstat's answers takes for large print systems.
#include <benchmark/benchmark.h>

#include <string>

#include "Runner/lpstat_output.h"

namespace {

std::string LpstatA(int64_t queues, bool non_ascii) {
  std::string out;
  for (int64_t i = 0; i < queues; ++i) {
    std::string name = (non_ascii ? "Étiquette_" : "Zebra_Label_") + std::to_string(i);
    if (i % 10 == 3) {
      out += name + " not accepting requests since Sun 06 Dec 2026 10:00:00 AM UTC -\n";
      out += "\tRejecting Jobs\n";
    } else {
      out += name + " accepting requests since Sun 06 Dec 2026 10:00:00 AM UTC\n";
    }
  }
  return out;
}

void BM_PrinterNamesFromLpstatA(benchmark::State& state) {
  const std::string output = LpstatA(state.range(0), state.range(1) != 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvella::printerNamesFromLpstatA(output));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(output.size()));
  state.counters["lines"] = static_cast<double>(state.range(0) + state.range(0) / 10);
}
BENCHMARK(BM_PrinterNamesFromLpstatA)
    ->ArgsProduct({{1'000, 10'000, 20'000, 100'000}, {0, 1}})
    ->ArgNames({"queues", "non_ascii"})
    ->Unit(benchmark::kMillisecond);

void BM_DefaultPrinterFromLpstatD(benchmark::State& state) {
  const std::string output = "system default destination: Zebra_Label_1\n";
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvella::defaultPrinterFromLpstatD(output));
  }
}
BENCHMARK(BM_DefaultPrinterFromLpstatD);

}  // namespace

BENCHMARK_MAIN();
