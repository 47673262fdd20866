// How fast a large label document is completed and given CR LF line ends.
#include <benchmark/benchmark.h>

#include <string>

#include "Runner/zpl_document.h"

namespace {

enum Shape : int64_t { kAsciiLf, kAsciiCrLf, kNonAsciiLf, kNoLineEnds };

// About `size` bytes of label commands shaped as `shape`, without "^XZ", so
// that the end-of-format search crosses the whole text.
std::string Document(size_t size, Shape shape) {
  const std::string line_end = shape == kAsciiCrLf ? "\r\n" : shape == kNoLineEnds ? "" : "\n";
  const std::string text = shape == kNonAsciiLf ? "Straße 7, Zürich" : "Street 7, Zurich";
  std::string document = "^XA" + line_end;
  document.reserve(size + 128);
  for (int i = 0; document.size() < size; ++i) {
    document += "^FO50," + std::to_string(i % 1000) + "^A0N,30,30^FD" + text + "^FS" + line_end;
  }
  return document;
}

void BM_NormalizeZplDocument(benchmark::State& state) {
  const std::string document =
      Document(static_cast<size_t>(state.range(0)) << 20, static_cast<Shape>(state.range(1)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvella::normalizeZplDocument(document));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_NormalizeZplDocument)
    ->ArgsProduct({{1, 64}, {kAsciiLf, kAsciiCrLf, kNonAsciiLf, kNoLineEnds}})
    ->ArgNames({"MiB", "shape"})
    ->Unit(benchmark::kMillisecond);

void BM_ContainsEndOfFormatNextToMarks(benchmark::State& state) {
  // Every "^XZ" carries a combining mark, so each one is looked at and
  // rejected: the worst case of the search.
  std::string document;
  while (document.size() < (size_t{64} << 20)) document += "^XZ\xCC\x81 ";
  for (auto _ : state) {
    benchmark::DoNotOptimize(corvella::containsEndOfFormat(document));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_ContainsEndOfFormatNextToMarks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
