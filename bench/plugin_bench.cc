// The plug-in's work per call on large inputs: the host's codec decoding a
// print call and encoding a printer list (its FlValue codec), reading
// lpstat's answers for large print systems, and completing a large label
// document and giving it CR LF line ends.
#include <benchmark/benchmark.h>
#include <flutter_linux/flutter_linux.h>

#include <string>

#include "cups/lpstat_output.h"
#include "submission/zpl_document.h"
#include "tools/channel_values.h"

namespace {

std::vector<uint8_t> PrintCall(size_t label_bytes) {
  std::string label = "^XA^FO50,50^A0N,40,40^FDShip to: Example 12345^FS\n";
  while (label.size() < label_bytes) label += label;
  label.resize(label_bytes);
  return corvella::EncodeMethodCall("printZPL", corvella::MapValue({{"zplCommands", label}}).get());
}

void BM_DecodePrintCall(benchmark::State& state) {
  const std::vector<uint8_t> bytes = PrintCall(static_cast<size_t>(state.range(0)));
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
  for (auto _ : state) {
    g_autofree gchar* name = nullptr;
    g_autoptr(FlValue) args = nullptr;
    benchmark::DoNotOptimize(FL_METHOD_CODEC_GET_CLASS(codec)->decode_method_call(
        FL_METHOD_CODEC(codec), message, &name, &args, nullptr));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecodePrintCall)->Arg(2 << 10)->Arg(1 << 20);

void BM_EncodePrinterListReply(benchmark::State& state) {
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  g_autoptr(FlValue) list = fl_value_new_list();
  for (int64_t i = 0; i < state.range(0); ++i) {
    fl_value_append_take(list, fl_value_new_string(("Zebra_Label_" + std::to_string(i)).c_str()));
  }
  for (auto _ : state) {
    g_autoptr(GBytes) reply = FL_METHOD_CODEC_GET_CLASS(codec)->encode_success_envelope(
        FL_METHOD_CODEC(codec), list, nullptr);
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_EncodePrinterListReply)->Arg(10)->Arg(1000);

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
    benchmark::DoNotOptimize(corvella::LpstatOutput::printerNames(output));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(output.size()));
  state.counters["lines"] = static_cast<double>(state.range(0) + state.range(0) / 10);
}
BENCHMARK(BM_PrinterNamesFromLpstatA)
    ->ArgsProduct({{1'000, 10'000, 20'000, 100'000}, {0, 1}})
    ->ArgNames({"queues", "non_ascii"})
    ->Unit(benchmark::kMillisecond);

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
    benchmark::DoNotOptimize(corvella::NormalizeZplDocument(document));
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
    benchmark::DoNotOptimize(corvella::ContainsEndOfFormat(document));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_ContainsEndOfFormatNextToMarks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
