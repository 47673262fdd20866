// The host's cost against the bare CUPS tools, on the same private
// scheduler: the time of one "printZPL" through the UI link against one
// `lp -d Q -o raw FILE`, of "getAvailablePrinters" against `lpstat -a`, and
// the throughput of N prints in flight against N bare lp processes at once.
// Host and bare runs alternate, so drift in the scheduler affects both, and
// each run starts with the queue drained.
//
// With --hosts N: many hosts, one print server. N host processes print at
// once to the scheduler (reach it over IPP on TCP, as desktops reach a print
// server), against N streams of bare lp on the same scheduler; every label
// must arrive exactly once.
//
// With --memory MIB: one label document of MIB MiB (LF line ends, as an
// editor writes them) printed by a fresh host, which must stay under 5 times
// the document's size at its peak (read from the kernel once it has exited);
// the printer must get the document with CR LF line ends.
//
//   end_to_end_bench --host PATH --queue Q [--runs N] [--total M] [--hosts N]
//                    [--memory MIB]
//
// Run it under corvella-print-system (bench/end_to_end.sh does), so that
// CUPS_SERVER names a private scheduler with queue Q.
#include <fcntl.h>
#include <glib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "process/child_spawn.h"
#include "process/process_runner.h"
#include "test_print_system/file_util.h"
#include "test_print_system/label_printer.h"
#include "test_print_system/scratch_directory.h"
#include "tools/channel_values.h"
#include "tools/host_session.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kChannel[] = "zebra_printer_channel";

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "end_to_end_bench: %s\n", message.c_str());
  std::exit(1);
}

std::string Label2KiB() {
  std::string label = "^XA\n";
  for (int line = 0; label.size() < 2048 - 8; ++line) {
    label += "^FO40," + std::to_string(40 + line * 30) + "^A0N,28,28^FDItem " +
             std::to_string(line) + " Ship to 1 Example Road^FS\n";
  }
  label.resize(2048 - 4);
  return label + "^XZ\n";
}

std::vector<uint8_t> Call(const std::string& method, const corvella::Value& arguments = {}) {
  return corvella::EncodeMethodCall(method, arguments.get());
}

// A bare tool run: started as the host starts its tools, output to
// /dev/null, waited for.
class BareRun {
 public:
  static pid_t start(const std::vector<std::string>& argv) {
    corvella::ChildStreams streams;
    streams.input.kind = corvella::ChildStream::Kind::kDevNull;
    streams.output.kind = corvella::ChildStream::Kind::kDevNull;
    std::string reason;
    const std::optional<pid_t> pid = corvella::SpawnChild(
        argv.front(), std::vector<std::string>(argv.begin() + 1, argv.end()), streams, reason);
    if (!pid) Fail(reason);
    return *pid;
  }
  static void await(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) Fail("waitpid failed");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("a bare tool run failed");
  }
  static void run(const std::vector<std::string>& argv) { await(start(argv)); }
};

class HostDriver {
 public:
  explicit HostDriver(const std::string& host) {
    std::string error;
    session_ = corvella::HostSession::start(host, error);
    if (!session_) Fail(error);
  }

  std::vector<uint8_t> call(const std::vector<uint8_t>& message) {
    std::string error;
    std::optional<std::vector<uint8_t>> reply = session_->call(kChannel, message, error);
    if (!reply) Fail(error);
    return *reply;
  }

  // Closes the link; the host must exit with status 0.
  void finish() {
    const int status = session_->close();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("the host did not exit cleanly");
  }

  // Sends `message` and expects the answer true.
  void callTrue(const std::vector<uint8_t>& message) { expectTrue(call(message)); }

  void expectTrue(const std::vector<uint8_t>& reply) {
    g_autoptr(FlMethodResponse) result = corvella::DecodeReply(reply);
    FlValue* value = result != nullptr && FL_IS_METHOD_SUCCESS_RESPONSE(result)
                         ? fl_method_success_response_get_result(FL_METHOD_SUCCESS_RESPONSE(result))
                         : nullptr;
    if (value == nullptr || fl_value_get_type(value) != FL_VALUE_TYPE_BOOL ||
        !fl_value_get_bool(value)) {
      Fail("the host did not answer true");
    }
  }

  // Sends each of `messages` (prints), keeping `in_flight` outstanding;
  // every answer must be true.
  void printEach(const std::vector<std::vector<uint8_t>>& messages, size_t in_flight) {
    std::string error;
    for (size_t sent = 0, answered = 0; answered < messages.size();) {
      if (sent < messages.size() && sent - answered < in_flight) {
        if (!session_->send(kChannel, messages[sent++], error)) Fail(error);
        continue;
      }
      std::optional<UiLinkReply> reply = session_->receive(error);
      if (!reply) Fail(error);
      expectTrue(reply->reply);
      ++answered;
    }
  }

 private:
  std::unique_ptr<corvella::HostSession> session_;
};

// Runs `total` bare commands keeping `in_flight` of them running, as
// `xargs -P in_flight` would.
void BarePipelined(const std::vector<std::string>& argv, int in_flight, int total) {
  std::deque<pid_t> running;
  int started = 0;
  while (started < total || !running.empty()) {
    while (started < total && static_cast<int>(running.size()) < in_flight) {
      running.push_back(BareRun::start(argv));
      ++started;
    }
    int status = 0;
    pid_t pid;
    while ((pid = wait(&status)) < 0 && errno == EINTR) {
    }
    if (pid < 0) Fail("wait failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("a bare lp failed");
    running.erase(std::find(running.begin(), running.end(), pid));
  }
}

double Throughput(int jobs, Clock::duration elapsed) {
  return jobs / std::chrono::duration<double>(elapsed).count();
}

// Waits until the scheduler holds no job of `queue`, so that the next run
// starts from the same state as the one before it.
void WaitForDrain(const std::string& queue) {
  const auto deadline = Clock::now() + std::chrono::minutes(5);
  for (;;) {
    const std::optional<std::string> jobs =
        corvella::ProcessRunner::runShellOut("/usr/bin/lpstat", {"-o", queue});
    if (!jobs) Fail("cannot run lpstat -o");
    if (jobs->empty()) return;
    if (Clock::now() > deadline) Fail("the queue did not drain");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Creates `directory` for the label files of bare lp (it is removed with
// what is in it when the object goes).
void CreateLabelDirectory(corvella::testing::ScratchDirectory& directory) {
  std::string reason;
  if (!directory.create("corvella-bench", reason)) Fail(reason);
}

// Writes `label` as NAME.zpl in `directory`; returns its path.
std::string WriteLabel(const corvella::testing::ScratchDirectory& directory,
                       const std::string& name, const std::string& label) {
  const std::string path = directory.path() + "/" + name + ".zpl";
  if (!corvella::testing::WriteFile(path, label)) Fail("cannot write " + path);
  return path;
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// How often each job's bytes arrived at the simulated printer of `queue`.
std::map<std::string, int> ArrivedJobs(const std::string& queue) {
  const char* dir = std::getenv("CORVELLA_PRINT_DIR");
  if (dir == nullptr) Fail("CORVELLA_PRINT_DIR is not set");
  std::map<std::string, int> arrived;
  for (std::string& job : corvella::testing::ReadJobs(std::string(dir) + "/printers/" + queue))
    ++arrived[std::move(job)];
  return arrived;
}

// Waits until every label of `sent` has arrived, then checks that each
// arrived exactly once.
void ExpectEachArrivedOnce(const std::string& queue, const std::vector<std::string>& sent) {
  const auto deadline = Clock::now() + std::chrono::minutes(5);
  for (;;) {
    std::map<std::string, int> arrived = ArrivedJobs(queue);
    size_t missing = 0;
    for (const std::string& label : sent) {
      const int count = arrived.count(label) ? arrived[label] : 0;
      if (count > 1) Fail("a label arrived " + std::to_string(count) + " times");
      if (count == 0) ++missing;
    }
    if (missing == 0) return;
    if (Clock::now() > deadline) Fail(std::to_string(missing) + " labels never arrived");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// A label of about 2 KiB that says which stream and which print it is.
std::string TaggedLabel(const std::string& stream, int index) {
  return "^XA\n^FO40,10^A0N,28,28^FD" + stream + " label " + std::to_string(index) + "^FS\n" +
         Label2KiB().substr(4);
}

// N hosts print at once against N bare lp streams on the same scheduler.
void ManyHosts(const std::string& host, const std::string& queue, int hosts, int per_host) {
  constexpr size_t kInFlightPerHost = 4;
  std::printf("many hosts, one print server (CUPS_SERVER=%s): %d hosts x %d labels\n",
              std::getenv("CUPS_SERVER"), hosts, per_host);
  std::vector<std::unique_ptr<HostDriver>> drivers;
  for (int h = 0; h < hosts; ++h) {
    drivers.push_back(std::make_unique<HostDriver>(host));
    const corvella::Value connect = corvella::MapValue({{"printerName", queue}});
    drivers.back()->callTrue(Call("connectToPrinter", connect));
  }
  std::vector<std::string> host_labels;
  std::vector<std::vector<std::vector<uint8_t>>> calls(static_cast<size_t>(hosts));
  for (int h = 0; h < hosts; ++h) {
    for (int i = 0; i < per_host; ++i) {
      const std::string label = TaggedLabel("host " + std::to_string(h), i);
      host_labels.push_back(CrLf(label));
      const corvella::Value print = corvella::MapValue({{"zplCommands", label}});
      calls[static_cast<size_t>(h)].push_back(Call("printZPL", print));
    }
  }
  WaitForDrain(queue);
  Clock::time_point t0 = Clock::now();
  std::vector<std::thread> streams;
  for (int h = 0; h < hosts; ++h) {
    streams.emplace_back([&, h] {
      drivers[static_cast<size_t>(h)]->printEach(calls[static_cast<size_t>(h)], kInFlightPerHost);
    });
  }
  for (std::thread& stream : streams) stream.join();
  const double ours = Throughput(hosts * per_host, Clock::now() - t0);
  ExpectEachArrivedOnce(queue, host_labels);

  // The same number of labels from bare lp, one stream per host.
  corvella::testing::ScratchDirectory files;
  CreateLabelDirectory(files);
  std::vector<std::string> bare_labels;
  std::vector<std::vector<std::string>> bare_files(static_cast<size_t>(hosts));
  for (int h = 0; h < hosts; ++h) {
    for (int i = 0; i < per_host; ++i) {
      const std::string label = CrLf(TaggedLabel("bare " + std::to_string(h), i));
      bare_labels.push_back(label);
      bare_files[static_cast<size_t>(h)].push_back(
          WriteLabel(files, std::to_string(h) + "-" + std::to_string(i), label));
    }
  }
  WaitForDrain(queue);
  Clock::time_point t1 = Clock::now();
  streams.clear();
  for (int h = 0; h < hosts; ++h) {
    streams.emplace_back([&, h] {
      for (const std::string& path : bare_files[static_cast<size_t>(h)]) {
        BareRun::run({"/usr/bin/lp", "-d", queue, "-o", "raw", path});
      }
    });
  }
  for (std::thread& stream : streams) stream.join();
  const double bare = Throughput(hosts * per_host, Clock::now() - t1);
  ExpectEachArrivedOnce(queue, bare_labels);

  std::printf("%-36s %12s %12s %8s\n", "measure", "corvella", "bare CUPS", "ratio");
  std::printf("%-36s %12.2f %12.2f %8.3f\n", "aggregate throughput, jobs/s", ours, bare,
              ours / bare);
  std::printf("(every label of both runs arrived exactly once)\n");
}

// One document of `mebibytes` MiB through a fresh host: the time of the
// print and the host's peak memory against the document's size.
void LargeDocument(const std::string& host, const std::string& queue, int mebibytes) {
  const size_t size = static_cast<size_t>(mebibytes) << 20;
  std::string document = "^XA\n";
  std::string expected = "^XA\r\n";
  document.reserve(size + 64);
  expected.reserve(size + (size >> 4));
  for (int i = 0; document.size() < size - 64; ++i) {
    const std::string line = "^FO50," + std::to_string(i % 1200) + "^A0N,28,28^FDItem " +
                             std::to_string(i) + " Stra\xC3\x9F" + "e^FS";
    document += line + "\n";
    expected += line + "\r\n";
  }
  document += "^XZ";
  expected += "^XZ";
  const auto print_once = [&](const std::string& zpl) {
    HostDriver driver(host);
    const corvella::Value connect = corvella::MapValue({{"printerName", queue}});
    driver.callTrue(Call("connectToPrinter", connect));
    const corvella::Value print = corvella::MapValue({{"zplCommands", zpl}});
    const Clock::time_point t0 = Clock::now();
    driver.callTrue(Call("printZPL", print));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    driver.finish();
    return seconds;
  };
  // The largest resident size of any child waited for so far.
  const auto children_peak = [] {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
  };
  print_once("^XA\n^XZ\n");
  const double baseline = children_peak();
  const double seconds = print_once(document);
  const double peak = children_peak();
  ExpectEachArrivedOnce(queue, {"^XA\r\n^XZ\r\n", expected});
  const double mib = 1 << 20;
  std::printf(
      "%d MiB label through the host: printZPL %.2f s; host peak %.1f MiB (baseline %.1f "
      "MiB), %.2f x the document\n(the printer got it whole, with CR LF line ends)\n",
      mebibytes, seconds, peak / mib, baseline / mib, peak / static_cast<double>(size));
  if (peak > 2.5 * static_cast<double>(size)) Fail("the host's peak is over 2.5 x the document");
}

}  // namespace

int main(int argc, char** argv) {
  std::string host;
  std::string queue;
  int runs = 41;
  int total = 96;
  int hosts = 0;
  int memory = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--host")
      host = argv[i + 1];
    else if (flag == "--queue")
      queue = argv[i + 1];
    else if (flag == "--runs")
      runs = std::atoi(argv[i + 1]);
    else if (flag == "--total")
      total = std::atoi(argv[i + 1]);
    else if (flag == "--hosts")
      hosts = std::atoi(argv[i + 1]);
    else if (flag == "--memory")
      memory = std::atoi(argv[i + 1]);
  }
  if (host.empty() || queue.empty() || runs < 1 || total < 1) {
    Fail(
        "usage: end_to_end_bench --host PATH --queue Q [--runs N] [--total M] [--hosts N] "
        "[--memory MIB]");
  }
  if (memory > 0) {
    LargeDocument(host, queue, memory);
    return 0;
  }
  if (hosts > 0) {
    ManyHosts(host, queue, hosts, total);
    return 0;
  }

  // The bare lp prints the same bytes the host's lp is given: the label
  // with CR LF line ends, from a file.
  const std::string label = Label2KiB();
  corvella::testing::ScratchDirectory files;
  CreateLabelDirectory(files);
  const std::string path = WriteLabel(files, "label", CrLf(label));
  const std::vector<std::string> bare_lp = {"/usr/bin/lp", "-d", queue, "-o", "raw", path};
  const std::vector<std::string> bare_lpstat = {"/usr/bin/lpstat", "-a"};

  HostDriver driver(host);
  const corvella::Value connect = corvella::MapValue({{"printerName", queue}});
  driver.callTrue(Call("connectToPrinter", connect));
  const corvella::Value print = corvella::MapValue({{"zplCommands", label}});
  const std::vector<uint8_t> print_call = Call("printZPL", print);
  const std::vector<uint8_t> list_call = Call("getAvailablePrinters");

  // Warm up both paths (page cache, scheduler, host pools).
  for (int i = 0; i < 5; ++i) {
    driver.callTrue(print_call);
    BareRun::run(bare_lp);
  }

  const std::vector<uint8_t> status_call = Call("getPrinterStatus");
  std::vector<double> host_print, bare_print, host_list, bare_list, link;
  // Each pair runs in both orders in turn: a print leaves the scheduler
  // busy with its job for a while, which would otherwise always slow down
  // whichever run comes second.
  const auto measurePair = [&](const std::function<void()>& ours, const std::function<void()>& bare,
                               std::vector<double>& ours_ms, std::vector<double>& bare_ms) {
    WaitForDrain(queue);
    for (int i = 0; i < runs; ++i) {
      for (int order = 0; order < 2; ++order) {
        const bool ours_first = (i + order) % 2 == 0;
        Clock::time_point t0 = Clock::now();
        ours_first ? ours() : bare();
        Clock::time_point t1 = Clock::now();
        ours_first ? bare() : ours();
        Clock::time_point t2 = Clock::now();
        (ours_first ? ours_ms : bare_ms).push_back(Milliseconds(t1 - t0));
        (ours_first ? bare_ms : ours_ms).push_back(Milliseconds(t2 - t1));
      }
    }
  };
  measurePair([&] { driver.callTrue(print_call); }, [&] { BareRun::run(bare_lp); }, host_print,
              bare_print);
  measurePair([&] { driver.call(list_call); }, [&] { BareRun::run(bare_lpstat); }, host_list,
              bare_list);
  for (int i = 0; i < runs; ++i) {
    Clock::time_point t0 = Clock::now();
    driver.call(status_call);
    link.push_back(Milliseconds(Clock::now() - t0));
  }

  std::printf("%-36s %12s %12s %8s\n", "measure", "corvella", "bare CUPS", "ratio");
  const auto row = [](const char* what, double ours, double bare, double ratio) {
    std::printf("%-36s %12.2f %12.2f %8.3f\n", what, ours, bare, ratio);
  };
  double hp = Median(host_print), bp = Median(bare_print);
  double hl = Median(host_list), bl = Median(bare_list);
  row("printZPL 2 KiB vs lp, median ms", hp, bp, hp / bp);
  row("getAvailablePrinters vs lpstat -a, ms", hl, bl, hl / bl);

  std::printf("%-36s %12.3f\n", "UI link round trip, median ms", Median(link));
  for (int in_flight : {1, 8, 32}) {
    // Alternate twice and keep the better of each, so one slow pass of the
    // scheduler does not decide the comparison.
    double ours = 0, bare = 0;
    for (int pass = 0; pass < 2; ++pass) {
      WaitForDrain(queue);
      Clock::time_point t0 = Clock::now();
      driver.printEach(std::vector<std::vector<uint8_t>>(static_cast<size_t>(total), print_call),
                       static_cast<size_t>(in_flight));
      ours = std::max(ours, Throughput(total, Clock::now() - t0));
      WaitForDrain(queue);
      Clock::time_point t1 = Clock::now();
      BarePipelined(bare_lp, in_flight, total);
      bare = std::max(bare, Throughput(total, Clock::now() - t1));
    }
    const std::string what = "throughput, " + std::to_string(in_flight) + " in flight, jobs/s";
    row(what.c_str(), ours, bare, ours / bare);
  }
  std::printf("(ratios: time ours/bare for the first two rows, throughput ours/bare below)\n");
  return 0;
}
