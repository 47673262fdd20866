// Whole host sessions over the UI link against a private print system, one
// row of a table each: a long mixed session, and sessions in which the
// scheduler or the printer fails while calls are in flight. Every call must
// get exactly one answer, the right one; calls handled on the main thread
// must be answered at once while prints are outstanding; every label must
// reach the queue that was selected when it was sent, whole, and as often
// as the fault allows (once, wherever the print system took it whole); and
// the host must end with status 0 when the link closes (under the asan
// preset a leak turns that status non-zero).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_print_system/file_util.h"
#include "test_print_system/job_directory.h"
#include "test_print_system/label_printer.h"
#include "tests/host/call_session.h"
#include "tests/host/host_process.h"
#include "tests/host/process_use.h"
#include "tests/host/virtual_display.h"
#include "tests/support/channel_harness.h"
#include "tests/support/print_system_test.h"
#include "tests/support/time_scale.h"

namespace corvella::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// How long a call handled on the main thread may take while prints are
// outstanding, and how long a printer query may hold the host when the
// scheduler stalls (its five seconds and room for a loaded machine), both
// stretched where the tests run slower than a real machine.
const auto kPrompt = Scaled(seconds(2));
const auto kStalledQuery = Scaled(seconds(6));
// Prints per batch of the fault phases.
constexpr size_t kBatch = 24;
// Calls sent and not yet answered, at most.
constexpr size_t kWindow = 64;

const std::string kQueue = "Session_A";
const std::string kOtherQueue = "Session_B";
const std::string kAvailable = "[\"" + kQueue + "\",\"" + kOtherQueue + "\"]";

enum class Fault {
  kNone,
  kSchedulerStops,   // stopped while prints are in flight, started again
  kSchedulerStalls,  // SIGSTOP, then SIGCONT
  kPrinterRefuses,   // connections refused, then it listens again
  kPrinterCloses,    // closes every connection unread, for good
  kPrinterStalls,    // never reads, for good
};

struct Scenario {
  const char* name;
  Fault fault;
  size_t calls;   // calls of the mixed phase before the fault
  size_t labels;  // of them, prints to a working queue
  // While the fault lasts: a print's answer, whether the queries still see
  // the print system, and whether prints wait for the fault to end.
  const char* print_answer;
  bool queries_see_queues;
  bool prints_wait;
  // Whether the fault ends during the session; once it has, prints arrive.
  bool ends;
  // Whether the host's threads, descriptors and children are compared
  // before and after; the pool needs 2 x 6 s to settle for that.
  bool measures_use;
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

const Scenario kScenarios[] = {
    {"Soak", Fault::kNone, 20000, 1000, "true", true, false, true, true},
    {"SchedulerStops", Fault::kSchedulerStops, 400, 40, "false", false, false, true, false},
    {"SchedulerStalls", Fault::kSchedulerStalls, 400, 40, "true", false, true, true, false},
    {"PrinterRefuses", Fault::kPrinterRefuses, 400, 40, "true", true, false, true, false},
    {"PrinterCloses", Fault::kPrinterCloses, 400, 40, "true", true, false, false, false},
    {"PrinterStalls", Fault::kPrinterStalls, 400, 40, "true", true, false, false, false},
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string ErrorJson(const std::string& code, const std::string& message) {
  return "{\"error\":{\"code\":\"" + code + "\",\"message\":\"" + message + "\",\"details\":null}}";
}
std::string StatusJson(const std::optional<std::string>& selection) {
  if (!selection) return "{\"connected\":false}";
  return "{\"connected\":true,\"printerName\":\"" + *selection + "\"}";
}

const std::string kEmpty = "<empty>";
const std::string kNoPrinter = ErrorJson("NO_PRINTER", "No printer connected");

// `calls` calls of every kind, `labels` of them prints to a queue that
// works, each with its one right answer. Calls are handled one at a time in
// the order sent, and printZPL takes the selected name when it is handled,
// so the selection tracked here in sending order is the one each call sees.
void AddMixedCalls(Session& session, size_t calls, size_t labels) {
  std::mt19937 random(20240817);
  std::optional<std::string> selection;
  size_t labels_sent = 0;
  auto working = [&] { return selection == kQueue || selection == kOtherQueue; };
  auto no_printer = [&] { return !selection || selection->empty(); };
  // Arguments without a usable text under `key`.
  auto bad_arguments = [&](const std::string& key) {
    const Value choices[] = {Value(),
                             MapValue({}),
                             MapValue({{key, 42}}),
                             MapValue({{key, Value()}}),
                             MapValue({{key, ListValue({"A"})}}),
                             MapValue({{key, kQueue}, {1, "x"}}),
                             ListValue({key, kQueue}),
                             Value(kQueue),
                             MapValue({{key, true}}),
                             MapValue({{key, std::vector<uint8_t>{'Q'}}}),
                             MapValue({{key, TextMap({{key.c_str(), kQueue}})}}),
                             TextMap({{"printername", kQueue}})};
    return choices[random() % std::size(choices)];
  };
  // Bytes that are not one method call; the cut and extended forms name a
  // call that would change the selection if it were taken.
  auto undecodable = [&] {
    std::vector<uint8_t> call =
        EncodeMethodCall("connectToPrinter", TextMap({{"printerName", kOtherQueue}}).get());
    switch (random() % 4) {
      case 0: {
        std::vector<uint8_t> bytes = {static_cast<uint8_t>(15 + random() % 241)};
        for (size_t i = random() % 40; i > 0; --i) bytes.push_back(static_cast<uint8_t>(random()));
        return bytes;
      }
      case 1:
        call.resize(random() % call.size());
        return call;
      case 2:
        for (size_t i = 1 + random() % 8; i > 0; --i)
          call.push_back(static_cast<uint8_t>(random()));
        return call;
      default:
        return std::vector<uint8_t>{3, 1, 0, 0, 0, 0};  // a method name that is not text
    }
  };
  static const char* const kUnknownNames[] = {"printzpl",
                                              "PrintZPL",
                                              "",
                                              "initialize ",
                                              " disconnect",
                                              "getPrinterStatus\n",
                                              "connectToPrinter2",
                                              "getAvailablePrinters\xC3\xA9",
                                              "INITIALIZE",
                                              "print"};
  auto connect = [&](const std::string& name) {
    // Extra entries with text keys do not matter.
    session.call("connectToPrinter",
                 random() % 4 != 0 ? TextMap({{"printerName", name}})
                                   : TextMap({{"printerName", name}, {"unused", 7}}),
                 {"true"});
    selection = name;
  };
  auto print = [&] {
    if (!working()) {  // no printer, an empty name, or a queue the print system lacks
      session.call("printZPL", TextMap({{"zplCommands", "^XA^FDnever printed^FS^XZ"}}),
                   {no_printer() ? kNoPrinter : "false"});
    } else if (labels_sent < labels) {
      const Label label = MakeLabel("Mixed " + std::to_string(labels_sent), labels_sent);
      session.print(*selection, label, Phase::kBefore, {"true"});
      ++labels_sent;
    } else {
      session.call("getPrinterStatus", {}, {StatusJson(selection)});
    }
  };
  auto frame = [&](Session::Frame make, const std::string& what) {
    session.add(make, {kEmpty}, what);
  };
  // Each kind of call with its weight, roughly per thousand calls.
  const std::vector<std::pair<double, std::function<void()>>> kinds = {
      {60, [&] { session.call("initialize", {}, {"true"}); }},
      {25, [&] { session.call("getAvailablePrinters", {}, {kAvailable}); }},
      {25, [&] { session.call("getDefaultPrinter", {}, {Quoted(kQueue)}); }},
      {25, [&] { session.call("connectToDefaultPrinter", {}, {"true"}), selection = kQueue; }},
      {60, [&] { connect(kQueue); }},
      {30, [&] { connect(kOtherQueue); }},
      {15, [&] { connect(""); }},
      {8, [&] { connect(" Session Missing "); }},
      {50,
       [&] {
         session.call("connectToPrinter", bad_arguments("printerName"),
                      {ErrorJson("INVALID_ARGUMENTS", "printerName is required")});
       }},
      {150, print},
      {50,
       [&] {
         // With no printer, the missing printer is reported first.
         session.call("printZPL", bad_arguments("zplCommands"),
                      {no_printer() ? kNoPrinter
                                    : ErrorJson("INVALID_ARGUMENTS", "zplCommands is required")});
       }},
      {200, [&] { session.call("getPrinterStatus", {}, {StatusJson(selection)}); }},
      {40, [&] { session.call("disconnect", {}, {"true"}), selection.reset(); }},
      {50,
       [&] {
         const std::string name = kUnknownNames[random() % std::size(kUnknownNames)];
         frame(
             [&](uint32_t id) {
               return PrinterCallFrame(id, name, TextMap({{"printerName", kOtherQueue}}));
             },
             "unknown method '" + name + "'");
       }},
      {50,
       [&] {
         const std::vector<uint8_t> message = undecodable();
         frame([&](uint32_t id) { return EncodeUiLinkCall(id, "zebra_printer_channel", message); },
               "an undecodable message");
       }},
      {15,
       [&] {
         frame([](uint32_t id) { return CallFrame(id, "zebra_printer_channel_2", "disconnect"); },
               "a channel without a handler");
       }},
  };
  std::vector<double> weights;
  for (const auto& kind : kinds) weights.push_back(kind.first);
  std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
  for (size_t sent = 0; sent < calls; ++sent) {
    // The end of the session is kept for the labels still owed.
    if (labels_sent < labels && calls - sent <= labels - labels_sent + 1) {
      working() ? print() : connect(kQueue);
    } else {
      kinds[pick(random)].second();
    }
  }
}

// Asks for the printer list, a call at a time, until it names both queues;
// true when it does within `limit` (scaled to the machine). Queries answer
// at once while the print system is marked as stalled, and the mark clears
// moments after it answers.
bool ListIsWholeWithin(Session& session, milliseconds limit) {
  const auto start = steady_clock::now();
  for (;;) {
    const uint32_t list = session.call("getAvailablePrinters", {}, {kAvailable, "[]"});
    session.flush();
    if (!session.await(list, kStalledQuery)) return false;
    if (session.answer(list) == kAvailable) return true;
    if (steady_clock::now() - start >= Scaled(limit)) return false;
    std::this_thread::sleep_for(milliseconds(100));
  }
}

class PrintSessionTest : public PrintSystemTest {
 protected:
  void SetUp() override {
    // The print system first: it sets CUPS_SERVER, which the host inherits.
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CORVELLA_REQUIRE_DISPLAY(display_);
    ASSERT_NE(print_system_.addQueue(kQueue, reason_), nullptr) << reason_;
    ASSERT_NE(print_system_.addQueue(kOtherQueue, reason_), nullptr) << reason_;
    ASSERT_TRUE(print_system_.setDefault(kQueue, reason_)) << reason_;
  }

  size_t jobsArrived() {
    return JobNumbers(print_system_.printer(kQueue)->jobDirectory()).size() +
           JobNumbers(print_system_.printer(kOtherQueue)->jobDirectory()).size();
  }

  // Waits (up to 120 s) until every label of `labels` (queue, bytes) has
  // reached its queue's printer; how often each job's bytes arrived there.
  std::map<std::string, std::map<std::string, size_t>> arrivals(
      const std::set<std::pair<std::string, std::string>>& labels) {
    const auto deadline = steady_clock::now() + seconds(120);
    for (;;) {
      std::map<std::string, std::map<std::string, size_t>> arrived;
      for (const std::string& queue : {kQueue, kOtherQueue}) {
        for (std::string& job : print_system_.printer(queue)->jobs()) ++arrived[queue][job];
      }
      const bool all = std::all_of(labels.begin(), labels.end(), [&](const auto& label) {
        return arrived[label.first].count(label.second) != 0;
      });
      if (all || steady_clock::now() >= deadline) return arrived;
      std::this_thread::sleep_for(milliseconds(200));
    }
  }

  VirtualDisplay display_;
};

class PrintSessionScenarioTest : public PrintSessionTest,
                                 public ::testing::WithParamInterface<Scenario> {};

TEST_P(PrintSessionScenarioTest, EveryCallIsAnsweredOnceAndEveryLabelArrivesAsTheFaultAllows) {
  const Scenario& scenario = GetParam();
  QueuePrinter& printer = *print_system_.printer(kQueue);
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  Session session(host);

  // Before the fault: the mixed calls, each with its one right answer.
  AddMixedCalls(session, scenario.calls, scenario.labels);
  session.flush(kWindow, [this] { return jobsArrived(); });
  if (HasFatalFailure() || !session.awaitAll(seconds(120))) return;
  std::set<std::pair<std::string, std::string>> before;
  for (const auto& [id, print] : session.prints()) before.insert({print.queue, print.bytes});
  arrivals(before);
  ProcessUse baseline;
  if (scenario.measures_use) {
    baseline = SettledUse(host.pid());
    EXPECT_EQ(baseline.children, 0u) << baseline.describe();
  }
  const uint32_t selected =
      session.call("connectToPrinter", TextMap({{"printerName", kQueue}}), {"true"});
  session.flush();
  ASSERT_TRUE(session.await(selected, seconds(30))) << host.errorOutput();

  // The fault. A stopping scheduler meets prints and queries in flight:
  // once the first labels reach the printer, while the background runs the
  // tools of the next prints and the main thread a query's lpstat. Those
  // prints answer true or false, the queries see the queues or none.
  std::shared_ptr<void> stall;
  size_t label_number = 0;
  auto next_label = [&](const std::string& phase) {
    const size_t number = label_number++;
    return MakeLabel(std::string(scenario.name) + " " + phase + " " + std::to_string(number),
                     number);
  };
  if (scenario.fault == Fault::kSchedulerStops) {
    const size_t arrived_at_stop = printer.jobs().size() + 8;
    for (size_t i = 0; i < 96; ++i) {
      session.print(kQueue, next_label("in flight"), Phase::kInFlight, {"true", "false"});
      if (i % 16 == 0) session.call("getAvailablePrinters", {}, {kAvailable, "[]"});
      if (i % 32 == 0) session.call("getDefaultPrinter", {}, {Quoted(kQueue), "\"\""});
    }
    session.flush();
    ASSERT_GE(printer.waitForJobs(arrived_at_stop, seconds(60)).size(), arrived_at_stop);
    ASSERT_TRUE(print_system_.stopScheduler(reason_)) << reason_;
    ASSERT_TRUE(session.awaitAll(seconds(120)));
  } else if (scenario.fault == Fault::kSchedulerStalls) {
    stall = stallScheduler();
    ASSERT_TRUE(stall.use_count() > 0) << "cannot stop the scheduler";
  } else if (scenario.fault != Fault::kNone) {
    const QueuePrinter::Mode mode =
        scenario.fault == Fault::kPrinterRefuses  ? QueuePrinter::Mode::kDown
        : scenario.fault == Fault::kPrinterCloses ? QueuePrinter::Mode::kClose
                                                  : QueuePrinter::Mode::kStall;
    ASSERT_TRUE(printer.setMode(mode, reason_)) << reason_;
  }

  // While it lasts: prints with a status call behind them, which the main
  // thread answers before the prints are done; then each query, which gives
  // up on a stalled scheduler in its own time without holding the call
  // behind it, and without changing the selection.
  for (size_t i = 0; i < kBatch; ++i)
    session.print(kQueue, next_label("during"), Phase::kDuring, {scenario.print_answer});
  const uint32_t probe = session.call("getPrinterStatus", {}, {StatusJson(kQueue)});
  session.flush();
  ASSERT_TRUE(session.await(probe, kPrompt)) << "getPrinterStatus unanswered in time";
  EXPECT_GT(session.printsUnanswered(), 0u) << "the status call did not overlap the prints";
  const bool sees = scenario.queries_see_queues;
  for (const auto& [method, answer] :
       {std::pair{"getAvailablePrinters", sees ? kAvailable : "[]"},
        std::pair{"getDefaultPrinter", sees ? Quoted(kQueue) : "\"\""},
        std::pair{"connectToDefaultPrinter", std::string(sees ? "true" : "false")}}) {
    const uint32_t query = session.call(method, {}, {answer});
    const uint32_t status = session.call("getPrinterStatus", {}, {StatusJson(kQueue)});
    session.flush();
    ASSERT_TRUE(session.await(query, kStalledQuery)) << method << "\n" << host.errorOutput();
    ASSERT_TRUE(session.await(status, Scaled(milliseconds(500)))) << "held behind " << method;
  }
  if (scenario.prints_wait) {
    // A print has no time limit: a killed lp may have queued the label.
    EXPECT_FALSE(session.await(0, seconds(1)));
    EXPECT_EQ(session.printsUnanswered(), kBatch) << "answered while the scheduler stalls";
  }
  if (scenario.fault == Fault::kSchedulerStalls) {
    EXPECT_NE(host.errorOutput().find("runShellOut error: /usr/bin/lpstat timed out"),
              std::string::npos)
        << host.errorOutput();
  }

  // The fault ends; prints are queued again and the queries see the queue.
  if (scenario.ends) {
    if (stall.use_count() > 0) {
      stall.reset();
      EXPECT_TRUE(ListIsWholeWithin(session, seconds(2))) << host.errorOutput();
    }
    if (scenario.fault == Fault::kSchedulerStops) {
      ASSERT_TRUE(print_system_.startScheduler(reason_)) << reason_;
    }
    if (scenario.fault == Fault::kPrinterRefuses) {
      ASSERT_TRUE(printer.setMode(QueuePrinter::Mode::kRecord, reason_)) << reason_;
    }
    for (size_t i = 0; i < kBatch; ++i)
      session.print(kQueue, next_label("after"), Phase::kAfter, {"true"});
    session.call("getAvailablePrinters", {}, {kAvailable});
    session.call("getDefaultPrinter", {}, {Quoted(kQueue)});
    session.flush();
  }
  if (!session.awaitAll(seconds(120))) return;

  // Labels sent while all was well arrive once (one in delivery when the
  // scheduler stops may be sent again after its restart); those sent while
  // the fault lasts arrive once if they were taken and the fault ends; of
  // the prints in flight at a stop none is required, since lp may report a
  // job as queued that the stopping scheduler never stored, or the reverse.
  // Whatever arrives is one of the labels sent, whole, at its queue.
  std::set<std::pair<std::string, std::string>> required;
  for (const auto& [id, print] : session.prints()) {
    const bool taken = session.answer(id) == "true";
    if (print.phase == Phase::kBefore || print.phase == Phase::kAfter ||
        (print.phase == Phase::kDuring && taken && scenario.ends))
      required.insert({print.queue, print.bytes});
  }
  auto arrived = arrivals(required);
  for (const auto& [id, print] : session.prints()) {
    const size_t count = arrived[print.queue][print.bytes];
    const bool may_repeat =
        print.phase == Phase::kInFlight ||
        (print.phase == Phase::kBefore && scenario.fault == Fault::kSchedulerStops);
    if (required.count({print.queue, print.bytes})) {
      EXPECT_TRUE(count == 1 || (count > 1 && may_repeat))
          << print.bytes.substr(0, 60) << ": " << count;
    } else if (print.phase != Phase::kInFlight) {
      EXPECT_EQ(count, 0u) << print.bytes.substr(0, 60) << " arrived, though not taken";
    }
    arrived[print.queue].erase(print.bytes);
  }
  for (const auto& [queue, jobs] : arrived) {
    for (const auto& [bytes, count] : jobs)
      ADD_FAILURE() << queue << " got a job nobody sent it: " << bytes.substr(0, 200);
  }

  // No growth: the pool's idle workers have ended again, every descriptor
  // the prints opened is closed and every tool run has been reaped.
  if (scenario.measures_use) {
    const ProcessUse end = SettledUse(host.pid());
    EXPECT_LE(end.threads, baseline.threads) << baseline.describe() << "\nend: " << end.describe();
    EXPECT_LE(end.descriptors.size(), baseline.descriptors.size())
        << baseline.describe() << "\nend: " << end.describe();
    EXPECT_EQ(end.children, 0u) << end.describe();
  }

  host.closeInput();
  EXPECT_TRUE(host.readToEnd(seconds(60)).empty()) << "a reply nobody asked for";
  host.expectCleanExit(seconds(60));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, PrintSessionScenarioTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace corvella::testing
