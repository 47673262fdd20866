// A 64 MiB label document printed through the real host: the host is run as
// a user interface runs it (over its UI link), prints with the real lp on a
// private scheduler, and its peak memory is read from the kernel when it has
// exited. Run by zpl_print_memory.sh, which provides the print system (queue
// "Bench") and a display.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/encodable_value.h"
#include "tools/host_session.h"
#include "tools/method_call.h"
#include "tools/standard_method_codec.h"

namespace {

constexpr const char* kQueue = "Bench";
constexpr size_t kDocumentSize = size_t{64} << 20;
constexpr double kPeakLimit = 5.0;  // times the document's size

std::string HostPath() {
  std::vector<char> path(4096);
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  std::string self(path.data(), n > 0 ? static_cast<size_t>(n) : 0);
  return self.substr(0, self.rfind('/') + 1) + "corvella";
}

// The largest resident size of any child waited for so far, in bytes.
double ChildrenPeakBytes() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

// One call on the printer channel; its answer as a bool, or nothing.
std::optional<bool> CallForBool(corvella::HostSession& host, const std::string& method,
                                const char* key, const std::string& value, std::string& error) {
  EncodableMap arguments;
  arguments.emplace(EncodableValue(key), EncodableValue(value));
  std::optional<std::vector<uint8_t>> reply =
      host.Call("zebra_printer_channel",
                StandardMethodCodec::EncodeMethodCall(
                    FlutterMethodCall(method, EncodableValue(std::move(arguments)))),
                error);
  if (!reply) return std::nullopt;
  std::optional<FlutterResultValue> result = StandardMethodCodec::DecodeEnvelope(*reply);
  const auto* answer = result ? std::get_if<EncodableValue>(&*result) : nullptr;
  const bool* flag = answer ? std::get_if<bool>(answer) : nullptr;
  if (flag == nullptr) {
    error = method + " was not answered with a bool";
    return std::nullopt;
  }
  return *flag;
}

// Runs one host session that selects the queue and prints `zpl`; the time
// until the print was answered, or nothing with `error` set.
std::optional<double> PrintThroughHost(const std::string& zpl, std::string& error) {
  std::unique_ptr<corvella::HostSession> host = corvella::HostSession::Start(HostPath(), error);
  if (!host) return std::nullopt;
  if (CallForBool(*host, "connectToPrinter", "printerName", kQueue, error) != true) {
    if (error.empty()) error = "connectToPrinter answered false";
    return std::nullopt;
  }
  const auto start = std::chrono::steady_clock::now();
  std::optional<bool> queued = CallForBool(*host, "printZPL", "zplCommands", zpl, error);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const int status = host->Close();
  if (queued != true) {
    if (error.empty()) error = "printZPL answered false";
    return std::nullopt;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "the host did not exit cleanly";
    return std::nullopt;
  }
  return took.count();
}

// Waits for job number `number` of the simulated printer to be complete.
std::optional<std::string> WaitForJob(int number, std::chrono::seconds timeout) {
  char name[32];
  snprintf(name, sizeof name, "/job-%06d.bin", number);
  const std::string path =
      std::string(std::getenv("CORVELLA_PRINT_DIR")) + "/printers/" + kQueue + name;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      std::ostringstream bytes;
      bytes << in.rdbuf();
      return bytes.str();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

void BM_Print64MiBThroughTheHost(benchmark::State& state) {
  for (const char* needed : {"CUPS_SERVER", "CORVELLA_PRINT_DIR", "DISPLAY"}) {
    if (std::getenv(needed) == nullptr) {
      state.SkipWithError("run through bench/zpl_print_memory.sh (needs the print system)");
      return;
    }
  }
  // Label commands with LF line ends, as an editor writes them; the printer
  // must get them with CR LF.
  std::string document = "^XA\n";
  std::string expected = "^XA\r\n";
  document.reserve(kDocumentSize + 64);
  expected.reserve(kDocumentSize + (kDocumentSize >> 4));
  for (int i = 0; document.size() < kDocumentSize - 64; ++i) {
    const std::string line = "^FO50," + std::to_string(i % 1200) + "^A0N,28,28^FDItem " +
                             std::to_string(i) +
                             " Stra\xC3\x9F"
                             "e^FS";
    document += line + "\n";
    expected += line + "\r\n";
  }
  document += "^XZ";
  expected += "^XZ";

  double baseline = 0;
  double peak = 0;
  for (auto _ : state) {
    std::string error;
    // A small print first: what the host needs without a large document.
    if (!PrintThroughHost("^XA^XZ", error)) {
      state.SkipWithError(("small print: " + error).c_str());
      return;
    }
    baseline = ChildrenPeakBytes();
    std::optional<double> took = PrintThroughHost(document, error);
    if (!took) {
      state.SkipWithError(("large print: " + error).c_str());
      return;
    }
    peak = ChildrenPeakBytes();
    state.SetIterationTime(*took);
  }
  std::optional<std::string> job = WaitForJob(2, std::chrono::seconds(120));
  if (!job || *job != expected) {
    state.SkipWithError(job ? "the printer got other bytes than the normalised document"
                            : "the large job did not arrive");
    return;
  }
  const double size = static_cast<double>(document.size());
  state.counters["document_MiB"] = size / (1 << 20);
  state.counters["host_baseline_MiB"] = baseline / (1 << 20);
  state.counters["host_peak_MiB"] = peak / (1 << 20);
  state.counters["peak_per_document"] = peak / size;
  if (peak >= kPeakLimit * size) {
    const std::string why = "the host's peak memory (" + std::to_string(peak / (1 << 20)) +
                            " MiB, baseline " + std::to_string(baseline / (1 << 20)) +
                            " MiB) is not under 5 times the document's size";
    state.SkipWithError(why.c_str());
  }
}
BENCHMARK(BM_Print64MiBThroughTheHost)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
