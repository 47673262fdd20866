// Faults of the print system while calls are in flight through the UI link:
// the scheduler stopped and started again, a printer that refuses
// connections, one that closes them at once and one that never reads. The
// host must answer every call once, keep answering the calls it handles on
// its main thread at once while prints are outstanding, and lose no label
// that the print system took.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/host/virtual_display.h"
#include "tests/host/window_client.h"
#include "tests/support/print_system.h"

namespace corvella::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// How long a call handled on the main thread may take while prints are
// outstanding.
constexpr auto kPrompt = seconds(2);
constexpr size_t kBatch = 24;

EncodableValue Argument(const std::string& key, const std::string& value) {
  EncodableMap map;
  map.emplace(EncodableValue(key), EncodableValue(value));
  return EncodableValue(std::move(map));
}

std::string StatusJson(const std::string& name) {
  return "{\"connected\":true,\"printerName\":\"" + name + "\"}";
}

// The label a test sends as `tag`, and the bytes its printer receives.
std::string LabelZpl(const std::string& tag) { return "^XA\n^FO10,10^FD" + tag + "^FS\n^XZ\n"; }
std::string LabelBytes(const std::string& tag) {
  return "^XA\r\n^FO10,10^FD" + tag + "^FS\r\n^XZ\r\n";
}

// The calls of one host session and their answers, matched by id. A reply
// for an id that awaits none (a second answer, or one never asked for) fails
// the test.
class Session {
 public:
  explicit Session(HostProcess& host) : host_(host) {}

  // Queues a call to be written by the next flush().
  uint32_t add(const std::string& method, EncodableValue arguments = {}) {
    const uint32_t id = next_id_++;
    frames_.push_back(PrinterCallFrame(id, method, std::move(arguments)));
    methods_[id] = method;
    awaiting_.insert(id);
    return id;
  }
  uint32_t addPrint(const std::string& tag) {
    const uint32_t id = add("printZPL", Argument("zplCommands", LabelZpl(tag)));
    prints_[id] = tag;
    return id;
  }

  // Selects `queue` and waits for the answer; true when it was true.
  bool connectTo(const std::string& queue) {
    const uint32_t id = add("connectToPrinter", Argument("printerName", queue));
    return flush() && awaitReply(id, seconds(30)) && answer(id) == "true";
  }

  // Writes every queued call in one write.
  bool flush() {
    const bool written = host_.write(Joined(frames_));
    frames_.clear();
    return written;
  }

  // Reads replies until `id` has its answer or `timeout` has passed. The
  // number of prints still unanswered when it came goes to
  // `prints_outstanding`.
  bool awaitReply(uint32_t id, milliseconds timeout, size_t* prints_outstanding = nullptr) {
    const auto deadline = steady_clock::now() + timeout;
    while (awaiting_.count(id) != 0) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
      if (left.count() <= 0) return false;
      for (const UiLinkReply& reply : host_.readReplies(1, left)) {
        take(reply);
        if (reply.id == id && prints_outstanding != nullptr) *prints_outstanding = printsAwaiting();
      }
    }
    return true;
  }

  bool awaitAll(milliseconds timeout) {
    const auto deadline = steady_clock::now() + timeout;
    while (!awaiting_.empty()) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
      if (left.count() <= 0) return false;
      for (const UiLinkReply& reply : host_.readReplies(1, left)) take(reply);
    }
    return true;
  }

  const std::string& answer(uint32_t id) const {
    static const std::string kNone = "<none>";
    auto it = answers_.find(id);
    return it == answers_.end() ? kNone : it->second;
  }
  size_t awaiting() const { return awaiting_.size(); }
  const std::string& printTag(uint32_t id) const { return prints_.at(id); }
  size_t printsAwaiting() const {
    return static_cast<size_t>(std::count_if(awaiting_.begin(), awaiting_.end(),
                                             [this](uint32_t id) { return prints_.count(id); }));
  }

  // The tags of the answered prints among `ids` whose answer is `answer`.
  std::vector<std::string> printTags(const std::vector<uint32_t>& ids,
                                     const std::string& answer_json) const {
    std::vector<std::string> tags;
    for (uint32_t id : ids) {
      if (answer(id) == answer_json) tags.push_back(prints_.at(id));
    }
    return tags;
  }

 private:
  void take(const UiLinkReply& reply) {
    if (awaiting_.erase(reply.id) == 0) {
      ADD_FAILURE() << "a reply for id " << reply.id << ", which awaits none";
      return;
    }
    answers_[reply.id] = AnswerJson(reply);
  }

  HostProcess& host_;
  uint32_t next_id_ = 1;
  std::vector<std::vector<uint8_t>> frames_;
  std::map<uint32_t, std::string> methods_;
  std::map<uint32_t, std::string> prints_;
  std::set<uint32_t> awaiting_;
  std::map<uint32_t, std::string> answers_;
};

// Waits (up to 90 s) until the printer has received every one of
// `labels`; returns all its jobs. Counting jobs is not enough when a label
// may arrive twice.
std::vector<std::string> WaitForLabels(const QueuePrinter& printer,
                                       const std::set<std::string>& labels) {
  const auto deadline = steady_clock::now() + seconds(90);
  for (;;) {
    std::vector<std::string> jobs = printer.jobs();
    const std::set<std::string> arrived(jobs.begin(), jobs.end());
    const bool all = std::includes(arrived.begin(), arrived.end(), labels.begin(), labels.end());
    if (all || steady_clock::now() >= deadline) return jobs;
    std::this_thread::sleep_for(milliseconds(50));
  }
}

class PrintSystemFaultTest : public PrintSystemTest {
 protected:
  void SetUp() override {
    // The print system first: it sets CUPS_SERVER, which the host inherits.
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CORVELLA_REQUIRE_DISPLAY(display_);
  }

  // Sends `kBatch` prints tagged PREFIX-N and a status call in one write.
  // The status call must be answered within kPrompt, before every print has
  // been. The ids of the prints go to `ids`.
  static void PrintBatchAndProbe(Session& session, const std::string& prefix,
                                 const std::string& selected, std::vector<uint32_t>& ids) {
    for (size_t i = 0; i < kBatch; ++i)
      ids.push_back(session.addPrint(prefix + "-" + std::to_string(i)));
    const uint32_t probe = session.add("getPrinterStatus");
    const auto sent = steady_clock::now();
    ASSERT_TRUE(session.flush());
    size_t prints_outstanding = 0;
    ASSERT_TRUE(session.awaitReply(probe, kPrompt, &prints_outstanding))
        << "getPrinterStatus unanswered after " << kPrompt.count() << " s (" << prefix << ")";
    const auto took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - sent);
    EXPECT_EQ(session.answer(probe), StatusJson(selected));
    EXPECT_GT(prints_outstanding, 0u) << "every print was answered before the status call ("
                                      << took.count() << " ms): the probe did not overlap them";
  }

  // The ids of one print batch and of the two queries sent after it.
  struct QueriedBatch {
    std::vector<uint32_t> prints;
    uint32_t list = 0;
    uint32_t default_printer = 0;
  };

  // A print batch with its status probe, then "getAvailablePrinters" and
  // "getDefaultPrinter", waiting until every call is answered.
  static void PrintBatchWithQueries(HostProcess& host, Session& session, const std::string& prefix,
                                    const std::string& selected, seconds timeout,
                                    QueriedBatch& batch) {
    PrintBatchAndProbe(session, prefix, selected, batch.prints);
    batch.list = session.add("getAvailablePrinters");
    batch.default_printer = session.add("getDefaultPrinter");
    ASSERT_TRUE(session.flush());
    ASSERT_TRUE(session.awaitAll(timeout)) << session.awaiting() << " calls unanswered\n"
                                           << host.errorOutput();
  }

  static void ExpectCleanEnd(HostProcess& host, Session& session) {
    EXPECT_EQ(session.awaiting(), 0u);
    host.closeInput();
    EXPECT_TRUE(host.readToEnd(seconds(60)).empty()) << "a reply nobody asked for";
    const std::optional<int> status = host.wait(seconds(60));
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << DescribeWaitStatus(status) << "\n"
        << host.errorOutput();
  }

  VirtualDisplay display_;
};

TEST_F(PrintSystemFaultTest, SchedulerStoppedAndRestartedWhileCallsAreInFlight) {
  const std::string queue = "Fault_Sched";
  QueuePrinter* printer = print_system_.addQueue(queue);
  ASSERT_NE(printer, nullptr) << print_system_.error();
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  Session session(host);
  ASSERT_TRUE(session.connectTo(queue)) << host.errorOutput();

  // Labels the scheduler has taken whole; most are still waiting for the
  // printer when it stops.
  std::vector<uint32_t> queued;
  for (size_t i = 0; i < 2 * kBatch; ++i)
    queued.push_back(session.addPrint("queued-" + std::to_string(i)));
  ASSERT_TRUE(session.flush());
  ASSERT_TRUE(session.awaitAll(seconds(60))) << session.awaiting() << " calls unanswered\n"
                                             << host.errorOutput();
  for (uint32_t id : queued) ASSERT_EQ(session.answer(id), "true") << "print " << id;

  // Prints and queries in flight while the scheduler goes away: the stop
  // comes once the first labels have reached the printer, while the
  // background runs the tools of the next prints and the main thread the
  // queries' lpstat.
  constexpr size_t kInFlight = 160;
  constexpr size_t kArrivedAtStop = 8;
  std::vector<uint32_t> in_flight;
  std::vector<uint32_t> lists_in_flight;
  std::vector<uint32_t> defaults_in_flight;
  for (size_t i = 0; i < kInFlight; ++i) {
    in_flight.push_back(session.addPrint("in-flight-" + std::to_string(i)));
    if (i % 4 == 0) lists_in_flight.push_back(session.add("getAvailablePrinters"));
    if (i % 16 == 0) defaults_in_flight.push_back(session.add("getDefaultPrinter"));
  }
  ASSERT_TRUE(session.flush());
  ASSERT_GE(printer->waitForJobs(kArrivedAtStop, seconds(60)).size(), kArrivedAtStop)
      << host.errorOutput();
  ASSERT_TRUE(print_system_.stopScheduler()) << print_system_.error();
  ASSERT_FALSE(print_system_.schedulerRunning());

  // Every call is answered, the queries that waited for the main thread
  // included. A print answers true or false; a query sees the scheduler, or
  // sees none.
  ASSERT_TRUE(session.awaitAll(seconds(120))) << session.awaiting() << " calls unanswered\n"
                                              << host.errorOutput();
  for (uint32_t id : in_flight) {
    const std::string& answer = session.answer(id);
    EXPECT_TRUE(answer == "true" || answer == "false") << "print " << id << ": " << answer;
  }
  for (uint32_t id : lists_in_flight) {
    const std::string& answer = session.answer(id);
    EXPECT_TRUE(answer == "[\"" + queue + "\"]" || answer == "[]") << answer;
  }
  for (uint32_t id : defaults_in_flight) {
    const std::string& answer = session.answer(id);
    EXPECT_TRUE(answer == "\"" + queue + "\"" || answer == "\"\"") << answer;
  }

  // During the outage: prints cannot be queued, queries find nothing, and
  // the main thread still answers at once while prints are outstanding.
  QueriedBatch outage;
  PrintBatchWithQueries(host, session, "outage", queue, seconds(120), outage);
  if (HasFatalFailure()) return;
  for (uint32_t id : outage.prints) EXPECT_EQ(session.answer(id), "false") << "print " << id;
  EXPECT_EQ(session.answer(outage.list), "[]");
  EXPECT_EQ(session.answer(outage.default_printer), "\"\"");

  // Back again: prints are queued and arrive.
  ASSERT_TRUE(print_system_.startScheduler()) << print_system_.error();
  QueriedBatch restarted;
  PrintBatchWithQueries(host, session, "after", queue, seconds(120), restarted);
  if (HasFatalFailure()) return;
  std::vector<uint32_t>& after = restarted.prints;
  for (uint32_t id : after) EXPECT_EQ(session.answer(id), "true") << "print " << id;
  EXPECT_EQ(session.answer(restarted.list), "[\"" + queue + "\"]");

  // The labels taken whole before the stop arrive at least once (one in
  // delivery at the stop is sent again after the restart), those after the
  // restart exactly once. Of the prints in flight at the stop, none is
  // required: lp may report a job as queued whose document the stopping
  // scheduler never stored, and one reported as failed may have been
  // stored; whichever arrives is whole. Nothing of the outage arrives.
  std::set<std::string> required;
  for (const std::string& tag : session.printTags(queued, "true")) required.insert(LabelBytes(tag));
  for (const std::string& tag : session.printTags(after, "true")) required.insert(LabelBytes(tag));
  const std::vector<std::string> jobs = WaitForLabels(*printer, required);
  std::map<std::string, size_t> arrived;
  for (const std::string& job : jobs) ++arrived[job];
  for (uint32_t id : queued) {
    EXPECT_GE(arrived[LabelBytes(session.printTag(id))], 1u)
        << session.printTag(id) << " was queued and never arrived";
  }
  for (uint32_t id : after) {
    EXPECT_EQ(arrived[LabelBytes(session.printTag(id))], 1u) << session.printTag(id);
  }
  std::set<std::string> known;
  for (const auto* ids : {&queued, &in_flight, &after}) {
    for (uint32_t id : *ids) known.insert(LabelBytes(session.printTag(id)));
  }
  for (const auto& [bytes, count] : arrived) {
    if (count > 0) {
      EXPECT_EQ(known.count(bytes), 1u) << "an unexpected job: " << bytes;
    }
  }
  ExpectCleanEnd(host, session);
}

// A scheduler that stops answering (SIGSTOP) until the end of the scope,
// or until resume().
class Stall {
 public:
  explicit Stall(pid_t scheduler) : pid_(scheduler) { stalled_ = ::kill(pid_, SIGSTOP) == 0; }
  ~Stall() { resume(); }
  Stall(const Stall&) = delete;
  Stall& operator=(const Stall&) = delete;
  bool stalled() const { return stalled_; }
  void resume() {
    if (stalled_) ::kill(pid_, SIGCONT);
    stalled_ = false;
  }

 private:
  pid_t pid_;
  bool stalled_ = false;
};

// How long a printer query may hold the host when the print system stalls:
// its five seconds, and some room for a loaded machine.
constexpr auto kStalledQuery = seconds(6);

TEST_F(PrintSystemFaultTest, AStalledSchedulerNeverFreezesTheHost) {
  const std::string queue = "Fault_Stall";
  QueuePrinter* printer = print_system_.addQueue(queue);
  ASSERT_NE(printer, nullptr) << print_system_.error();
  ASSERT_TRUE(print_system_.setDefault(queue)) << print_system_.error();
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  Session session(host);
  ASSERT_TRUE(session.connectTo(queue)) << host.errorOutput();

  Stall stall(print_system_.schedulerPid());
  ASSERT_TRUE(stall.stalled());
  // Each query gives up and answers as for a print system that names
  // nothing; a call sent behind it waits no longer, and the selection stays.
  struct Query {
    const char* method;
    const char* answer;
  };
  for (const Query& query :
       {Query{"getAvailablePrinters", "[]"}, Query{"getDefaultPrinter", "\"\""},
        Query{"connectToDefaultPrinter", "false"}}) {
    SCOPED_TRACE(query.method);
    const uint32_t id = session.add(query.method);
    const uint32_t status = session.add("getPrinterStatus");
    ASSERT_TRUE(session.flush());
    ASSERT_TRUE(session.awaitReply(id, kStalledQuery)) << host.errorOutput();
    EXPECT_EQ(session.answer(id), query.answer);
    ASSERT_TRUE(session.awaitReply(status, milliseconds(500)));
    EXPECT_EQ(session.answer(status), StatusJson(queue));
  }
  EXPECT_NE(host.errorOutput().find("runShellOut error: /usr/bin/lpstat timed out"),
            std::string::npos)
      << host.errorOutput();

  // A print has no time limit: a killed lp may have queued the label
  // already. It is answered once the scheduler resumes, and prints once.
  const uint32_t print = session.addPrint("stalled");
  const uint32_t status = session.add("getPrinterStatus");
  ASSERT_TRUE(session.flush());
  ASSERT_TRUE(session.awaitReply(status, seconds(2))) << "the print held the main thread";
  EXPECT_FALSE(session.awaitReply(print, seconds(2))) << "answered while the scheduler stalls";
  stall.resume();
  ASSERT_TRUE(session.awaitReply(print, seconds(60))) << host.errorOutput();
  EXPECT_EQ(session.answer(print), "true");
  const std::vector<std::string> jobs = WaitForLabels(*printer, {LabelBytes("stalled")});
  EXPECT_EQ(std::count(jobs.begin(), jobs.end(), LabelBytes("stalled")), 1);

  // And the queries find the printer again.
  const uint32_t list = session.add("getAvailablePrinters");
  const uint32_t default_printer = session.add("getDefaultPrinter");
  ASSERT_TRUE(session.flush());
  ASSERT_TRUE(session.awaitAll(seconds(30))) << host.errorOutput();
  EXPECT_EQ(session.answer(list), "[\"" + queue + "\"]");
  EXPECT_EQ(session.answer(default_printer), "\"" + queue + "\"");
  ExpectCleanEnd(host, session);
}

TEST_F(PrintSystemFaultTest, TheWindowClosesWhileTheSchedulerStalls) {
  ASSERT_NE(print_system_.addQueue("Fault_Close"), nullptr) << print_system_.error();
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  WindowClient client(display_.name());
  ASSERT_TRUE(client.connected());
  const std::optional<WindowClient::WindowId> window =
      client.findWindow(host.pid(), std::chrono::seconds(20));
  ASSERT_TRUE(window.has_value()) << host.errorOutput();

  Stall stall(print_system_.schedulerPid());
  ASSERT_TRUE(stall.stalled());
  Session session(host);
  const uint32_t list = session.add("getAvailablePrinters");
  ASSERT_TRUE(session.flush());
  ASSERT_TRUE(session.awaitReply(list, kStalledQuery)) << host.errorOutput();
  client.close(*window);
  const std::optional<int> ended = host.wait(kStalledQuery);
  ASSERT_TRUE(ended.has_value()) << "the app did not end while the scheduler stalls";
  EXPECT_TRUE(WIFEXITED(*ended) && WEXITSTATUS(*ended) == 0) << DescribeWaitStatus(ended);
}

struct PrinterFault {
  QueuePrinter::Mode mode;
  const char* name;
};

// Names the fault in test listings instead of dumping the struct's bytes.
void PrintTo(const PrinterFault& fault, std::ostream* out) { *out << fault.name; }

class PrinterFaultTest : public PrintSystemFaultTest,
                         public ::testing::WithParamInterface<PrinterFault> {};

// A raw queue takes a job whatever its printer does; delivery is the
// scheduler's business. So printZPL answers true, and the host, which only
// waits for the print tools, never waits for the printer.
TEST_P(PrinterFaultTest, PrintsAreQueuedAndTheHostStaysResponsive) {
  const std::string queue = std::string("Fault_") + GetParam().name;
  QueuePrinter* printer = print_system_.addQueue(queue, GetParam().mode);
  ASSERT_NE(printer, nullptr) << print_system_.error();
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  Session session(host);
  ASSERT_TRUE(session.connectTo(queue)) << host.errorOutput();

  std::vector<uint32_t> first;
  PrintBatchAndProbe(session, "first", queue, first);
  ASSERT_TRUE(session.awaitAll(seconds(60))) << session.awaiting() << " calls unanswered\n"
                                             << host.errorOutput();
  // By now the scheduler is trying to deliver the first job: a second round
  // meets the fault in full, with the queries that ask the scheduler.
  QueriedBatch second;
  PrintBatchWithQueries(host, session, "second", queue, seconds(60), second);
  if (HasFatalFailure()) return;
  for (uint32_t id : first) EXPECT_EQ(session.answer(id), "true") << "print " << id;
  for (uint32_t id : second.prints) EXPECT_EQ(session.answer(id), "true") << "print " << id;
  EXPECT_EQ(session.answer(second.list), "[\"" + queue + "\"]");
  EXPECT_EQ(session.answer(second.default_printer), "\"" + queue + "\"");
  EXPECT_TRUE(printer->jobs().empty()) << "the faulty printer recorded a job";

  if (GetParam().mode == QueuePrinter::Mode::kDown) {
    // A refused connection is retried: once the printer listens, every
    // queued label arrives, once.
    ASSERT_TRUE(printer->setMode(QueuePrinter::Mode::kRecord)) << printer->error();
    std::vector<std::string> jobs = printer->waitForJobs(2 * kBatch, seconds(90));
    std::multiset<std::string> expected;
    for (const std::string& tag : session.printTags(first, "true"))
      expected.insert(LabelBytes(tag));
    for (const std::string& tag : session.printTags(second.prints, "true"))
      expected.insert(LabelBytes(tag));
    EXPECT_EQ(std::multiset<std::string>(jobs.begin(), jobs.end()), expected)
        << print_system_.errorLogTail();
  }
  ExpectCleanEnd(host, session);
}

INSTANTIATE_TEST_SUITE_P(Faults, PrinterFaultTest,
                         ::testing::Values(PrinterFault{QueuePrinter::Mode::kDown, "Refusing"},
                                           PrinterFault{QueuePrinter::Mode::kClose, "Closing"},
                                           PrinterFault{QueuePrinter::Mode::kStall, "Stalling"}),
                         [](const ::testing::TestParamInfo<PrinterFault>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace corvella::testing
