// Prints and queries when the user interface goes or the print system
// freezes, against a private print system with simulated label printers:
// what reaches the printer, how long the host is held, and that the host
// ends in bounded time leaving no query child behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "channel/application_end.h"
#include "channel/dispatch_queues.h"
#include "process/unique_fd.h"
#include "test_print_system/file_util.h"
#include "tests/host/host_process.h"
#include "tests/host/process_use.h"
#include "tests/host/virtual_display.h"
#include "tests/host/window_client.h"
#include "tests/support/channel_harness.h"
#include "tests/support/print_system_test.h"
#include "tests/support/time_scale.h"

namespace corvella::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

// How long a printer query may hold the host: its 5 s and room for a loaded
// machine.
const auto kQueryLimit = Scaled(seconds(6));

// Waits until `parent` has at least `count` children called `name` (as
// long as a loaded machine needs); those it has then.
std::vector<pid_t> WaitForChildren(pid_t parent, const std::string& name, size_t count) {
  const auto give_up = Clock::now() + Scaled(seconds(30));
  std::vector<pid_t> children = ChildrenNamed(parent, name);
  while (children.size() < count && Clock::now() < give_up) {
    std::this_thread::sleep_for(milliseconds(50));
    children = ChildrenNamed(parent, name);
  }
  return children;
}

// The processes called `name` whose parent is this process. The tests make
// this process the reaper of orphans below it, so a child the host leaves
// behind when it ends shows up here.
std::vector<pid_t> OrphansNamed(const std::string& name) { return ChildrenNamed(::getpid(), name); }

class UiLinkPrintTest : public PrintSystemTest {
 protected:
  void SetUp() override {
    // The print system first: it sets CUPS_SERVER, which the host inherits.
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CORVELLA_REQUIRE_DISPLAY(display_);
    // Orphans below this process come to it (not to init), where a test can
    // see them; an emulator may not offer that.
    subreaper_ = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  }
  void TearDown() override {
    // Whatever the hosts left is ended here, and every orphan reaped.
    for (const char* name : {"lpstat", "lp", "lpr"})
      for (pid_t pid : OrphansNamed(name)) ::kill(pid, SIGKILL);
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }

  // A host with queue `queue` selected, started by `launcher` (a program
  // and its first arguments, which runs the host named after them) when
  // one is given.
  std::unique_ptr<HostProcess> hostWithQueue(const std::string& queue,
                                             std::vector<std::string> launcher = {}) {
    launcher.push_back(HostPath());
    HostProcess::Options options;
    options.arguments.assign(launcher.begin() + 1, launcher.end());
    auto host = std::make_unique<HostProcess>(launcher.front(), options);
    if (!host->started()) return nullptr;
    EXPECT_TRUE(
        host->write(PrinterCallFrame(1, "connectToPrinter", TextMap({{"printerName", queue}}))));
    std::vector<UiLinkReply> replies = host->readReplies(1);
    EXPECT_EQ(replies.size(), 1u) << host->errorOutput();
    return host;
  }

  VirtualDisplay display_;
  bool subreaper_ = false;
};

TEST_F(UiLinkPrintTest, ClosingInputWhileAPrintIsInFlightStillAnswersAndPrintsTheLabel) {
  ASSERT_NE(print_system_.addQueue("Front_Desk", reason_), nullptr) << reason_;
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(Joined(
      {PrinterCallFrame(1, "connectToPrinter", TextMap({{"printerName", "Front_Desk"}})),
       PrinterCallFrame(2, "printZPL",
                        TextMap({{"zplCommands", "^XA\n^FO20,20^FDCorvella^FS\n^XZ\n"}}))})));
  // The link ends before the print can have finished.
  host.closeInput();
  std::vector<UiLinkReply> replies = host.readReplies(2, seconds(60));
  ASSERT_EQ(replies.size(), 2u) << host.errorOutput();
  EXPECT_EQ(AnswerJson(replies[0]), "true");
  EXPECT_EQ(replies[1].id, 2u);
  EXPECT_EQ(AnswerJson(replies[1]), "true") << host.errorOutput();
  // A print that has been answered holds nothing: the host ends at once.
  const auto answered = Clock::now();
  EXPECT_TRUE(host.readToEnd().empty());
  host.expectCleanExit();
  EXPECT_LE(Clock::now() - answered, Scaled(seconds(3))) << "held after its print was answered";

  // The label arrives byte for byte, with CR LF line ends.
  std::vector<std::string> jobs = print_system_.printer("Front_Desk")->waitForJobs(1);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], "^XA\r\n^FO20,20^FDCorvella^FS\r\n^XZ\r\n");
}

TEST_F(UiLinkPrintTest, ALargeLabelFollowedByAnotherKeyArrivesByteForByte) {
  ASSERT_NE(print_system_.addQueue("Dock_3", reason_), nullptr) << reason_;
  std::unique_ptr<HostProcess> host = hostWithQueue("Dock_3");
  ASSERT_NE(host, nullptr);
  // Over 100 KiB in lines of every ending, a key after it in the map, and
  // no ^XZ: the text does not end the message, so it is taken from the
  // middle of it.
  std::string label = "^XA";
  std::string expected = "^XA";
  for (int line = 0; label.size() < 110 * 1024; ++line) {
    const std::string text = "^FO20," + std::to_string(line) + "^FD\xC3\xA9tiquette " +
                             std::string(static_cast<size_t>(line % 90), 'x') + "^FS";
    label += text + (line % 3 == 0 ? "\n" : line % 3 == 1 ? "\r" : "\r\n");
    expected += text + "\r\n";
  }
  expected += "^XZ";
  ASSERT_TRUE(host->write(
      PrinterCallFrame(2, "printZPL", TextMap({{"zplCommands", label}, {"zzzAfterTheLabel", 1}}))));
  std::vector<UiLinkReply> replies = host->readReplies(1, seconds(60));
  ASSERT_EQ(replies.size(), 1u) << host->errorOutput();
  EXPECT_EQ(AnswerJson(replies[0]), "true") << host->errorOutput();
  std::vector<std::string> jobs = print_system_.printer("Dock_3")->waitForJobs(1);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].size(), expected.size());
  EXPECT_TRUE(jobs[0] == expected) << "the bytes differ";
  host->closeInput();
  host->expectCleanExit();
}

// A print whose lp waits on a frozen scheduler holds the end for the grace
// only, and its lp, in a session of its own, is never killed: not by the
// host, nor by a terminal's Ctrl-C to the host's whole process group. Once
// the scheduler answers, the label arrives, once.
TEST_F(UiLinkPrintTest, APrintWaitingOnAFrozenSchedulerHoldsTheEndForTheGraceOnly) {
  ASSERT_NE(print_system_.addQueue("Dock_4", reason_), nullptr) << reason_;
  const std::pair<const char*, std::function<void(HostProcess&)>> kEnds[] = {
      {"the end of its input", [](HostProcess& host) { host.closeInput(); }},
      {"Ctrl-C to its process group", [](HostProcess& host) { ::kill(-host.pid(), SIGINT); }},
  };
  for (const auto& [how, end] : kEnds) {
    SCOPED_TRACE(how);
    std::unique_ptr<HostProcess> host = hostWithQueue("Dock_4");
    ASSERT_NE(host, nullptr);
    std::shared_ptr<void> stall = stallScheduler();
    ASSERT_GT(stall.use_count(), 0) << "cannot stop the scheduler";
    const std::string label = std::string("^XA^FDleft on its way, ") + how + "^FS^XZ";
    ASSERT_TRUE(host->write(PrinterCallFrame(2, "printZPL", TextMap({{"zplCommands", label}}))));
    std::this_thread::sleep_for(seconds(1));
    end(*host);
    const auto ended = Clock::now();
    // Ends after the grace, with status 0, saying what it left; the reply
    // the print never gave is not written.
    EXPECT_TRUE(host->readToEnd(ApplicationEnd::kGrace + Scaled(seconds(10))).empty());
    host->expectCleanExit(Scaled(seconds(5)));
    EXPECT_LE(Clock::now() - ended, ApplicationEnd::kGrace + Scaled(seconds(5)));
    const std::string errors = host->errorOutput();
    EXPECT_NE(errors.find("1 print was still in flight as the application ended: 1 handed to lp "
                          "or lpr whole, left to finish on their own; 0 not printed"),
              std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("failed (status"), std::string::npos) << errors;
    stall.reset();
    print_system_.printer("Dock_4")->waitForJobs(1, seconds(60));
    std::this_thread::sleep_for(seconds(1));
    std::vector<std::string> jobs = print_system_.printer("Dock_4")->jobs();
    EXPECT_EQ(std::count(jobs.begin(), jobs.end(), label), 1);
  }
}

// SIGTERM ends the host as closing its window does: a print in flight goes
// on, its fall-back runs when its lp fails, and the host ends as soon as the
// print is answered.
TEST_F(UiLinkPrintTest, SigtermLetsAPrintInFlightRunItsFallBacksAndEndsOnceItIsAnswered) {
  ASSERT_NE(print_system_.addQueue("Dock_7", reason_), nullptr) << reason_;
  std::unique_ptr<HostProcess> host = hostWithQueue("Dock_7");
  ASSERT_NE(host, nullptr);
  std::shared_ptr<void> stall = stallScheduler();
  ASSERT_GT(stall.use_count(), 0) << "cannot stop the scheduler";
  const std::string label = "^XA^FDby the fall-back^FS^XZ";
  ASSERT_TRUE(host->write(PrinterCallFrame(2, "printZPL", TextMap({{"zplCommands", label}}))));
  std::vector<pid_t> lp = WaitForChildren(host->pid(), "lp", 1);
  ASSERT_EQ(lp.size(), 1u) << host->errorOutput();
  ASSERT_EQ(::kill(host->pid(), SIGTERM), 0);
  std::this_thread::sleep_for(seconds(1));
  // The first attempt fails; lpr takes the file and waits for the scheduler.
  ::kill(lp[0], SIGKILL);
  ASSERT_EQ(WaitForChildren(host->pid(), "lpr", 1).size(), 1u) << host->errorOutput();
  stall.reset();
  std::vector<UiLinkReply> replies = host->readReplies(1, Scaled(seconds(20)));
  ASSERT_EQ(replies.size(), 1u) << host->errorOutput();
  EXPECT_EQ(AnswerJson(replies[0]), "true");
  const auto answered = Clock::now();
  host->expectCleanExit(Scaled(seconds(20)));
  EXPECT_LE(Clock::now() - answered, Scaled(seconds(3))) << "held after its print was answered";
  EXPECT_NE(host->errorOutput().find("lp(file) failed (status 9)"), std::string::npos);
  EXPECT_EQ(print_system_.printer("Dock_7")->waitForJobs(1), std::vector<std::string>{label});
}

// The end comes while prints wait on a frozen scheduler, more of them than
// background threads, and with no label file to be had: each label goes to
// lp on standard input. Labels whole in their lp's hands are left to it;
// the one too large for the pipe, of which lp holds only a part, is never
// printed (its lp is killed before it can see an end of input), nor are the
// prints that never started.
TEST_F(UiLinkPrintTest, AtTheEndNoLabelIsCutAndPrintsNotStartedAreNotMade) {
  ASSERT_NE(print_system_.addQueue("Dock_8", reason_), nullptr) << reason_;
  std::unique_ptr<HostProcess> host = hostWithQueue(
      "Dock_8", {"/usr/bin/env", "TMPDIR=" + print_system_.directory() + "/no-such-directory"});
  ASSERT_NE(host, nullptr);
  std::shared_ptr<void> stall = stallScheduler();
  ASSERT_GT(stall.use_count(), 0) << "cannot stop the scheduler";
  const auto threads = static_cast<size_t>(kBackgroundThreads);
  const size_t prints = threads + 6;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<std::string> small;
  const std::string large = "^XA^FD" + std::string(300 * 1024, 'x') + "^FS^XZ";
  frames.push_back(PrinterCallFrame(2, "printZPL", TextMap({{"zplCommands", large}})));
  for (uint32_t id = 3; frames.size() < prints; ++id) {
    small.push_back("^XA^FDlabel " + std::to_string(id) + "^FS^XZ");
    frames.push_back(PrinterCallFrame(id, "printZPL", TextMap({{"zplCommands", small.back()}})));
  }
  ASSERT_TRUE(host->write(Joined(frames)));
  ASSERT_EQ(WaitForChildren(host->pid(), "lp", threads).size(), threads);
  host->closeInput();
  host->readToEnd(ApplicationEnd::kGrace + Scaled(seconds(20)));
  host->expectCleanExit(Scaled(seconds(10)));
  EXPECT_NE(host->errorOutput().find(
                std::to_string(prints) + " prints were still in flight as the application ended: " +
                std::to_string(threads - 1) +
                " handed to lp or lpr whole, left to finish on their own; 7 not printed (6 not "
                "started, 1 stopped before the label was whole in lp's or lpr's hands)"),
            std::string::npos)
      << host->errorOutput().substr(0, 4000);
  stall.reset();
  print_system_.printer("Dock_8")->waitForJobs(threads - 1, seconds(60));
  std::this_thread::sleep_for(seconds(2));
  std::vector<std::string> jobs = print_system_.printer("Dock_8")->jobs();
  std::map<std::string, size_t> arrived;
  for (const std::string& job : jobs) ++arrived[job.size() > 1000 ? "a large job" : job];
  EXPECT_EQ(arrived["a large job"], 0u) << "a part of the large label was printed";
  size_t whole = 0;
  for (const std::string& label : small) whole += arrived[label] == 1 ? 1u : 0u;
  EXPECT_EQ(whole, threads - 1) << "labels whole in lp's hands, printed once";
  EXPECT_EQ(jobs.size(), threads - 1);
}

TEST_F(UiLinkPrintTest, NoQueryChildOutlivesAHostThatEndsDuringAnOutage) {
  ASSERT_TRUE(subreaper_) << "this process cannot reap the orphans below it";
  ASSERT_NE(print_system_.addQueue("Dock_5", reason_), nullptr) << reason_;
  std::shared_ptr<void> stall = stallScheduler();
  ASSERT_GT(stall.use_count(), 0) << "cannot stop the scheduler";
  const std::pair<const char*, std::function<void(HostProcess&)>> kEnds[] = {
      {"the end of its input", [](HostProcess& host) { host.closeInput(); }},
      {"SIGTERM", [](HostProcess& host) { ::kill(host.pid(), SIGTERM); }},
      {"its window closed",
       [this](HostProcess& host) {
         WindowClient client(display_.name());
         std::optional<WindowClient::WindowId> window = client.findWindow(host.pid(), seconds(20));
         ASSERT_TRUE(window.has_value());
         client.close(*window);
       }},
  };
  for (const auto& [how, end] : kEnds) {
    SCOPED_TRACE(how);
    HostProcess host(HostPath());
    ASSERT_TRUE(host.started());
    // The query gives up after its limit and marks the print system as
    // stalled; the check that clears the mark runs lpstat in the background.
    ASSERT_TRUE(host.write(PrinterCallFrame(1, "getAvailablePrinters")));
    std::vector<UiLinkReply> replies = host.readReplies(1, kQueryLimit);
    ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
    EXPECT_EQ(AnswerJson(replies[0]), "[]");
    std::this_thread::sleep_for(milliseconds(300));
    end(host);
    const auto ended = Clock::now();
    host.readToEnd(seconds(20));
    host.expectCleanExit(seconds(20));
    // Its check's lpstat is killed at once, not waited for to its limit.
    EXPECT_LE(Clock::now() - ended, Scaled(seconds(2)));
    EXPECT_EQ(OrphansNamed("lpstat").size(), 0u) << "an lpstat outlived the host";
    for (pid_t pid : OrphansNamed("lpstat")) ::kill(pid, SIGKILL);
  }
}

// A print server that wants a password for everything, reached over the
// network, where no local credentials stand in for one.
class UiLinkPasswordTest : public UiLinkPrintTest {
 protected:
  std::vector<std::string> startOptions() const override { return {"--tcp"}; }
};

// The controlling terminal of process `pid` (its device number), 0 for none.
long ControllingTerminal(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat").value_or("");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string state;
  long parent = 0, group = 0, session = 0, terminal = 0;
  fields >> state >> parent >> group >> session >> terminal;
  return terminal;
}

// A host started from a terminal (as by `flutter run`): neither its tools nor
// its own CUPS calls ask for the password on that terminal or touch its
// settings. The print fails and the list is empty, at once.
TEST_F(UiLinkPasswordTest, AHostStartedFromATerminalNeverPromptsOnIt) {
  ASSERT_NE(print_system_.addQueue("Locked", reason_), nullptr) << reason_;
  ASSERT_TRUE(print_system_.runScript({"--require-password"}, reason_)) << reason_;
  int master_fd = -1, terminal_fd = -1;
  char terminal[256];
  ASSERT_EQ(openpty(&master_fd, &terminal_fd, terminal, nullptr, nullptr), 0);
  const UniqueFd master(master_fd), unused(terminal_fd);
  // Opened by a session leader, the terminal becomes its controlling one.
  std::unique_ptr<HostProcess> host = hostWithQueue(
      "Locked", {"/bin/sh", "-c", "exec 3<>\"$0\" && exec 3>&- && exec \"$@\"", terminal});
  ASSERT_NE(host, nullptr);
  ASSERT_NE(ControllingTerminal(host->pid()), 0) << "the host has no terminal";
  ASSERT_TRUE(host->write(
      Joined({PrinterCallFrame(2, "printZPL", TextMap({{"zplCommands", "^XA^FDlocked^FS^XZ"}})),
              PrinterCallFrame(3, "getAvailablePrinters"),
              PrinterCallFrame(4, "getPrinterState", TextMap({{"printerName", "Locked"}}))})));
  std::map<uint32_t, std::string> answers;
  for (const UiLinkReply& reply : host->readReplies(3, kQueryLimit)) {
    answers[reply.id] = AnswerJson(reply);
  }
  EXPECT_EQ(answers[2], "false") << host->errorOutput();
  EXPECT_EQ(answers[3], "[]");
  EXPECT_EQ(answers[4], R"({"printerName":"Locked","state":"unknown"})");
  EXPECT_NE(host->errorOutput().find("lp(file) failed (status 1): "), std::string::npos);
  std::string shown(4096, '\0');
  ASSERT_EQ(fcntl(master.get(), F_SETFL, O_NONBLOCK), 0);
  shown.resize(static_cast<size_t>(std::max<ssize_t>(0, read(master.get(), shown.data(), 4096))));
  EXPECT_EQ(shown.find("assword"), std::string::npos) << "prompted on the terminal: " << shown;
  termios settings{};
  ASSERT_EQ(tcgetattr(master.get(), &settings), 0);
  EXPECT_TRUE((settings.c_lflag & ECHO) && (settings.c_lflag & ICANON)) << "echo was turned off";
  host->closeInput();
  host->readToEnd();
  host->expectCleanExit();
}

// The scheduler frozen for a minute while the user interface asks for the
// list, the default, the default's selection and the status every 500 ms
// and prints every 5 s. The calls that pile up behind the first query wait
// for its limit only, not one limit each; after it no call is held over a
// second. The real list is back within 2 s of the scheduler's return, and
// every label arrives once.
TEST_F(UiLinkPrintTest, ALongOutageHoldsTheHostForOneQueryLimitInAll) {
  ASSERT_NE(print_system_.addQueue("Dock_6", reason_), nullptr) << reason_;
  ASSERT_TRUE(print_system_.setDefault("Dock_6", reason_)) << reason_;
  std::unique_ptr<HostProcess> host = hostWithQueue("Dock_6");
  ASSERT_NE(host, nullptr);
  const std::map<std::string, std::string> kDuringOutage = {
      {"getAvailablePrinters", "[]"},
      {"getDefaultPrinter", "\"\""},
      {"connectToDefaultPrinter", "false"},
      {"getPrinterStatus", "{\"connected\":true,\"printerName\":\"Dock_6\"}"}};
  struct Sent {
    std::string method;
    Clock::time_point at;
  };
  std::map<uint32_t, Sent> sent;
  std::map<uint32_t, std::pair<std::string, Clock::time_point>> answered;
  std::vector<std::string> labels;
  uint32_t next_id = 2;
  const auto take_replies = [&](milliseconds wait) {
    for (const UiLinkReply& reply : host->readReplies(SIZE_MAX, wait))
      answered[reply.id] = {AnswerJson(reply), Clock::now()};
  };

  std::shared_ptr<void> stall = stallScheduler();
  ASSERT_GT(stall.use_count(), 0) << "cannot stop the scheduler";
  const auto start = Clock::now();
  for (int tick = 0; Clock::now() - start < seconds(60); ++tick) {
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& [method, answer] : kDuringOutage) {
      frames.push_back(PrinterCallFrame(next_id, method));
      sent[next_id++] = {method, Clock::now()};
    }
    if (tick % 10 == 0) {
      labels.push_back("^XA^FDOutage label " + std::to_string(tick / 10) + "^FS^XZ");
      frames.push_back(
          PrinterCallFrame(next_id, "printZPL", TextMap({{"zplCommands", labels.back()}})));
      sent[next_id++] = {"printZPL", Clock::now()};
    }
    ASSERT_TRUE(host->write(Joined(frames)));
    const auto next_tick = start + milliseconds(500) * (tick + 1);
    while (Clock::now() < next_tick) take_replies(milliseconds(20));
  }
  take_replies(milliseconds(1000));
  size_t checked = 0;
  for (const auto& [id, call] : sent) {
    if (call.method == "printZPL") continue;
    ++checked;
    auto answer = answered.find(id);
    ASSERT_NE(answer, answered.end()) << call.method << " (call " << id << ") unanswered";
    // The calls behind the first query wait for its limit (the host's own
    // 5 s), together; none waits a limit of its own.
    const auto bound = call.at < start + seconds(6) ? kQueryLimit : Scaled(seconds(1));
    EXPECT_LE(answer->second.second - call.at, bound) << call.method << " (call " << id << ") held";
    EXPECT_EQ(answer->second.first, kDuringOutage.at(call.method)) << "call " << id;
  }
  EXPECT_GT(checked, 400u);

  // The scheduler returns: the real list within 2 s, and every print goes
  // out once.
  stall.reset();
  const auto back = Clock::now();
  std::string list;
  for (; list != "[\"Dock_6\"]" && Clock::now() - back < Scaled(seconds(2)); ++next_id) {
    ASSERT_TRUE(host->write(PrinterCallFrame(next_id, "getAvailablePrinters")));
    while (answered.count(next_id) == 0 && Clock::now() - back < seconds(30))
      take_replies(milliseconds(20));
    list = answered.count(next_id) ? answered[next_id].first : "";
  }
  EXPECT_EQ(list, "[\"Dock_6\"]") << "the list is not whole 2 s after the scheduler's return";
  for (const auto& [id, call] : sent) {
    if (call.method != "printZPL") continue;
    while (answered.count(id) == 0 && Clock::now() - back < seconds(60))
      take_replies(milliseconds(200));
    EXPECT_EQ(answered.count(id) ? answered[id].first : "<none>", "true") << "print " << id;
  }
  std::vector<std::string> jobs =
      print_system_.printer("Dock_6")->waitForJobs(labels.size(), seconds(60));
  std::this_thread::sleep_for(seconds(1));
  jobs = print_system_.printer("Dock_6")->jobs();
  std::map<std::string, size_t> arrived;
  for (const std::string& job : jobs) ++arrived[job];
  for (const std::string& label : labels) EXPECT_EQ(arrived[label], 1u) << label;
  EXPECT_EQ(jobs.size(), labels.size());
  host->closeInput();
  host->readToEnd(seconds(30));
  host->expectCleanExit();
}

}  // namespace
}  // namespace corvella::testing
