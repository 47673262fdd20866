// The host's codec cost for the messages the printer channel carries: it
// decodes calls and encodes answers with its FlValue codec.
#include <benchmark/benchmark.h>
#include <flutter_linux/flutter_linux.h>

#include <string>

#include "engine/fl_standard_codec_private.h"
#include "tools/standard_method_codec.h"

namespace {

FlutterMethodCall PrintCall(size_t label_bytes) {
  std::string label = "^XA^FO50,50^A0N,40,40^FDShip to: Example 12345^FS\n";
  while (label.size() < label_bytes) label += label;
  label.resize(label_bytes);
  EncodableMap arguments{{EncodableValue("zplCommands"), EncodableValue(label)}};
  return FlutterMethodCall("printZPL", EncodableValue(std::move(arguments)));
}

void BM_DecodePrintCall(benchmark::State& state) {
  const std::vector<uint8_t> bytes =
      StandardMethodCodec::EncodeMethodCall(PrintCall(static_cast<size_t>(state.range(0))));
  g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
  g_autoptr(GBytes) message = g_bytes_new(bytes.data(), bytes.size());
  for (auto _ : state) {
    g_autofree gchar* name = nullptr;
    g_autoptr(FlValue) args = nullptr;
    benchmark::DoNotOptimize(
        fl_method_codec_decode_method_call(FL_METHOD_CODEC(codec), message, &name, &args, nullptr));
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
    g_autoptr(GBytes) reply =
        fl_method_codec_encode_success_envelope(FL_METHOD_CODEC(codec), list, nullptr);
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_EncodePrinterListReply)->Arg(10)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
