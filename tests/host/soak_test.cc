// One host session that lives through 20,000 mixed calls over the UI link
// against a private print system: every method of the printer channel, bad
// arguments, unknown names, undecodable messages and 2,000 labels to two
// simulated printers. Every call must get exactly its one right answer,
// every label must arrive once with its exact bytes, the host must hold no
// more threads, descriptors or children at the end than after its warm-up,
// and it must end with status 0 when the link closes (under the asan preset
// a leak turns that status non-zero).
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/host/virtual_display.h"
#include "tests/support/file_util.h"
#include "tests/support/print_system.h"
#include "tools/standard_method_codec.h"

namespace corvella::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr size_t kTotalCalls = 20000;
constexpr size_t kLabels = 2000;
// Calls sent and not yet answered, at most.
constexpr size_t kWindow = 64;
// Labels queued and not yet at their printer, at most. The scheduler refuses
// new jobs ("Too many active jobs") once 500 are active, and it takes jobs
// faster than its backends deliver them; well below that limit, a refusal
// can only be the host's doing.
constexpr size_t kMaxUndelivered = 200;
// The first calls of the plan; the host's resource use after them (and after
// its background pool has gone idle) is the baseline.
constexpr size_t kWarmUpCalls = 1500;
// The background pool ends a worker after 5 s without work.
constexpr auto kPoolIdleEnd = seconds(5);

constexpr const char* kQueueA = "Soak_A";
constexpr const char* kQueueB = "Soak_B";
constexpr const char* kMissingQueue = "Soak_Missing";

EncodableValue Map(std::vector<std::pair<EncodableValue, EncodableValue>> entries) {
  EncodableMap map;
  for (auto& [key, value] : entries) map.emplace(std::move(key), std::move(value));
  return EncodableValue(std::move(map));
}

std::string ErrorJson(const std::string& code, const std::string& message) {
  return "{\"error\":{\"code\":\"" + code + "\",\"message\":\"" + message + "\",\"details\":null}}";
}

std::string StatusJson(const std::optional<std::string>& selection) {
  if (!selection) return "{\"connected\":false}";
  return "{\"connected\":true,\"printerName\":\"" + *selection + "\"}";
}

const std::string kEmpty = "<empty>";
const std::string kNoPrinter = ErrorJson("NO_PRINTER", "No printer connected");
const std::string kNoPrinterName = ErrorJson("INVALID_ARGUMENTS", "printerName is required");
const std::string kNoZpl = ErrorJson("INVALID_ARGUMENTS", "zplCommands is required");

// A label that carries its sequence number, with the bytes its printer must
// receive. The expected bytes are built from the same lines, not by the
// product's normaliser: every line end becomes CR LF, and "^XZ" is appended
// when the document has none.
struct Label {
  std::string zpl;
  std::string expected;
};

Label MakeLabel(size_t sequence) {
  const std::string number = std::to_string(sequence);
  std::vector<std::string> lines = {"^XA", "^FO20,20^A0N,30,30^FDSoak label " + number + "^FS",
                                    "^FO20,60^FDGr\xC3\xBC\xC3\x9F"
                                    "e \xE2\x84\x96 " +
                                        number + "^FS"};
  if (sequence % 7 == 3) lines.insert(lines.begin() + 1, "");  // a blank line
  if (sequence % 97 == 5) lines.push_back("^FO20,100^FD" + std::string(8000, 'x') + "^FS");
  if (sequence % 499 == 11) lines.push_back("^FO20,140^FD" + std::string(70000, 'y') + "^FS");
  const bool has_end = sequence % 3 != 0;
  if (has_end) lines.push_back("^XZ");
  const bool trailing_line_end = sequence % 2 == 0;

  // LF, CR, CR LF, or all three in turn. A blank line only comes with one
  // style throughout, so no CR and LF of two line ends ever meet as CR LF.
  const size_t style = sequence % 4;
  const bool mixed = style == 3 && sequence % 7 != 3;
  auto line_end = [&](size_t index) -> std::string {
    const size_t pick = mixed ? index % 3 : std::min<size_t>(style, 2);
    return pick == 0 ? "\n" : pick == 1 ? "\r" : "\r\n";
  };
  Label label;
  for (size_t i = 0; i < lines.size(); ++i) {
    label.zpl += lines[i];
    label.expected += lines[i];
    if (i + 1 < lines.size() || trailing_line_end) {
      label.zpl += line_end(i);
      label.expected += "\r\n";
    }
  }
  if (!has_end) label.expected += "^XZ";
  return label;
}

enum class Kind {
  kInitialize,
  kAvailable,
  kDefault,
  kConnectDefault,
  kConnectA,
  kConnectB,
  kConnectEmpty,
  kConnectMissing,
  kConnectBadArguments,
  kPrint,
  kPrintBadArguments,
  kStatus,
  kDisconnect,
  kUnknownMethod,
  kUndecodable,
  kUnknownChannel,
};

struct PlannedCall {
  uint32_t id = 0;
  std::vector<uint8_t> frame;
  std::string expected;     // AnswerJson of the right reply
  std::string description;  // for failure messages
  std::string queue;        // a label's queue; empty for every other call
  std::string label_bytes;  // what that queue's printer must receive
};

// Builds the whole session in advance. Calls are handled one at a time in
// the order sent, on the main thread, and printZPL takes the selected name
// when it is handled, so the selection each call sees is the one this plan
// tracks in sending order; no call needs to wait for another.
class SessionPlan {
 public:
  explicit SessionPlan(const std::string& available_json) : available_json_(available_json) {}

  std::vector<PlannedCall> build() {
    // Weights per kind, roughly per thousand calls.
    const std::vector<std::pair<Kind, double>> weights = {
        {Kind::kInitialize, 60},
        {Kind::kAvailable, 25},
        {Kind::kDefault, 25},
        {Kind::kConnectDefault, 25},
        {Kind::kConnectA, 60},
        {Kind::kConnectB, 30},
        {Kind::kConnectEmpty, 15},
        {Kind::kConnectMissing, 8},
        {Kind::kConnectBadArguments, 50},
        {Kind::kPrint, 150},
        {Kind::kPrintBadArguments, 50},
        {Kind::kStatus, 200},
        {Kind::kDisconnect, 40},
        {Kind::kUnknownMethod, 50},
        {Kind::kUndecodable, 50},
        {Kind::kUnknownChannel, 15},
    };
    std::vector<double> w;
    for (const auto& entry : weights) w.push_back(entry.second);
    std::discrete_distribution<size_t> pick(w.begin(), w.end());

    while (calls_.size() < kTotalCalls) {
      const size_t left = kTotalCalls - calls_.size();
      const size_t labels_left = kLabels - labels_;
      if (labels_left > 0 && left <= labels_left + 1) {
        // The end of the plan is reserved for the labels still owed.
        add(recording() ? Kind::kPrint : Kind::kConnectA);
        continue;
      }
      Kind kind = weights[pick(random_)].first;
      if (kind == Kind::kPrint && recording() && labels_left == 0) kind = Kind::kStatus;
      add(kind);
    }
    return std::move(calls_);
  }

  size_t labels() const { return labels_; }
  const std::map<Kind, size_t>& counts() const { return counts_; }

 private:
  bool recording() const {
    return selection_ && (*selection_ == kQueueA || *selection_ == kQueueB);
  }

  uint32_t nextId() { return id_++; }

  void push(uint32_t id, std::vector<uint8_t> frame, std::string expected,
            std::string description) {
    PlannedCall call;
    call.id = id;
    call.frame = std::move(frame);
    call.expected = std::move(expected);
    call.description = std::move(description);
    calls_.push_back(std::move(call));
  }

  void printer(const std::string& method, EncodableValue arguments, std::string expected) {
    const uint32_t id = nextId();
    push(id, PrinterCallFrame(id, method, std::move(arguments)), std::move(expected),
         "call " + std::to_string(id) + " " + method);
  }

  void add(Kind kind) {
    ++counts_[kind];
    switch (kind) {
      case Kind::kInitialize:
        printer("initialize", {}, "true");
        break;
      case Kind::kAvailable:
        printer("getAvailablePrinters", {}, available_json_);
        break;
      case Kind::kDefault:
        printer("getDefaultPrinter", {}, std::string("\"") + kQueueA + "\"");
        break;
      case Kind::kConnectDefault:
        printer("connectToDefaultPrinter", {}, "true");
        selection_ = kQueueA;
        break;
      case Kind::kConnectA:
      case Kind::kConnectB:
      case Kind::kConnectEmpty:
      case Kind::kConnectMissing: {
        const std::string name = kind == Kind::kConnectA       ? kQueueA
                                 : kind == Kind::kConnectB     ? kQueueB
                                 : kind == Kind::kConnectEmpty ? ""
                                                               : kMissingQueue;
        // Extra entries with text keys do not matter.
        EncodableValue arguments =
            random_() % 4 == 0 ? Map({{EncodableValue("printerName"), EncodableValue(name)},
                                      {EncodableValue("unused"), EncodableValue(int32_t{7})}})
                               : Map({{EncodableValue("printerName"), EncodableValue(name)}});
        printer("connectToPrinter", std::move(arguments), "true");
        selection_ = name;
        break;
      }
      case Kind::kConnectBadArguments:
        // None of these changes the selection.
        printer("connectToPrinter", badArguments("printerName"), kNoPrinterName);
        break;
      case Kind::kPrint: {
        if (recording()) {
          const size_t sequence = labels_++;
          Label label = MakeLabel(sequence);
          const uint32_t id = nextId();
          push(id,
               PrinterCallFrame(id, "printZPL",
                                Map({{EncodableValue("zplCommands"), EncodableValue(label.zpl)}})),
               "true",
               "call " + std::to_string(id) + " printZPL label " + std::to_string(sequence));
          calls_.back().queue = *selection_;
          calls_.back().label_bytes = std::move(label.expected);
        } else {
          // No printer, an empty name, or a queue the print system lacks.
          const bool no_printer = !selection_ || selection_->empty();
          printer("printZPL",
                  Map({{EncodableValue("zplCommands"),
                        EncodableValue("^XA^FDnever printed " + std::to_string(id_) + "^FS^XZ")}}),
                  no_printer ? kNoPrinter : "false");
        }
        break;
      }
      case Kind::kPrintBadArguments: {
        // With no printer, the missing printer is reported first.
        const bool no_printer = !selection_ || selection_->empty();
        printer("printZPL", badArguments("zplCommands"), no_printer ? kNoPrinter : kNoZpl);
        break;
      }
      case Kind::kStatus:
        printer("getPrinterStatus", {}, StatusJson(selection_));
        break;
      case Kind::kDisconnect:
        printer("disconnect", {}, "true");
        selection_.reset();
        break;
      case Kind::kUnknownMethod: {
        static const char* const kNames[] = {"printzpl",
                                             "PrintZPL",
                                             "",
                                             "initialize ",
                                             " disconnect",
                                             "getPrinterStatus\n",
                                             "connectToPrinter2",
                                             "getAvailablePrinters\xC3\xA9",
                                             "INITIALIZE",
                                             "print"};
        const uint32_t id = nextId();
        const std::string name = kNames[random_() % std::size(kNames)];
        push(id,
             PrinterCallFrame(
                 id, name,
                 Map({{EncodableValue("printerName"), EncodableValue(std::string(kQueueB))}})),
             kEmpty, "call " + std::to_string(id) + " unknown method '" + name + "'");
        break;
      }
      case Kind::kUndecodable: {
        const uint32_t id = nextId();
        push(id, EncodeUiLinkCall(id, "zebra_printer_channel", undecodableMessage()), kEmpty,
             "call " + std::to_string(id) + " undecodable message");
        break;
      }
      case Kind::kUnknownChannel: {
        const uint32_t id = nextId();
        push(id, CallFrame(id, "zebra_printer_channel_2", "disconnect"), kEmpty,
             "call " + std::to_string(id) + " to a channel without a handler");
        break;
      }
    }
  }

  // Arguments that lack a usable text under `key`: missing, not text, keys
  // that are not all text, or not a map at all.
  EncodableValue badArguments(const std::string& key) {
    switch (random_() % 8) {
      case 0:
        return EncodableValue();
      case 1:
        return Map({});
      case 2:
        return Map({{EncodableValue(key), EncodableValue(int32_t{42})}});
      case 3:
        return Map({{EncodableValue(key), EncodableValue()}});
      case 4:
        return Map({{EncodableValue(key), EncodableValue(EncodableList{EncodableValue("A")})}});
      case 5:
        return Map({{EncodableValue(key), EncodableValue(std::string(kQueueA))},
                    {EncodableValue(int32_t{1}), EncodableValue("x")}});
      case 6:
        return EncodableValue(EncodableList{EncodableValue(key), EncodableValue(kQueueA)});
      default:
        return EncodableValue(std::string(kQueueA));
    }
  }

  // Bytes that are not one method call. The truncated and extended forms
  // name calls that would change the selection if they were taken.
  std::vector<uint8_t> undecodableMessage() {
    std::vector<uint8_t> call = StandardMethodCodec::EncodeMethodCall(FlutterMethodCall(
        "connectToPrinter", Map({{EncodableValue("printerName"), EncodableValue(kQueueB)}})));
    switch (random_() % 4) {
      case 0: {
        // A first tag that no value has, then anything.
        std::vector<uint8_t> bytes = {static_cast<uint8_t>(15 + random_() % 241)};
        const size_t tail = random_() % 40;
        for (size_t i = 0; i < tail; ++i) bytes.push_back(static_cast<uint8_t>(random_()));
        return bytes;
      }
      case 1:
        // Every strict prefix of a call is incomplete.
        call.resize(random_() % call.size());
        return call;
      case 2: {
        const size_t extra = 1 + random_() % 8;
        for (size_t i = 0; i < extra; ++i) call.push_back(static_cast<uint8_t>(random_()));
        return call;
      }
      default: {
        // A method name that is not text.
        std::vector<uint8_t> bytes = {3, 1, 0, 0, 0, 0};
        return bytes;
      }
    }
  }

  std::string available_json_;
  std::mt19937 random_{20240817};
  std::vector<PlannedCall> calls_;
  std::optional<std::string> selection_;
  uint32_t id_ = 1;
  size_t labels_ = 0;
  std::map<Kind, size_t> counts_;
};

// What a process holds, from /proc.
struct ProcessUse {
  long threads = -1;
  std::vector<std::string> descriptors;  // what each open descriptor refers to
  std::vector<pid_t> children;
};

std::vector<std::string> OpenDescriptors(pid_t pid) {
  std::vector<std::string> targets;
  const std::string directory = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return targets;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char target[512];
    const std::string link = directory + "/" + entry->d_name;
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    targets.push_back(std::string(entry->d_name) + " -> " +
                      (n > 0 ? std::string(target, static_cast<size_t>(n)) : "?"));
  }
  ::closedir(dir);
  std::sort(targets.begin(), targets.end());
  return targets;
}

// Processes whose parent is `pid` (zombies included: they are not reaped).
std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return children;
  while (dirent* entry = ::readdir(dir)) {
    const pid_t candidate = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
    if (candidate <= 0) continue;
    std::optional<std::string> stat = ReadFile("/proc/" + std::to_string(candidate) + "/stat");
    if (!stat) continue;
    // "PID (COMM) STATE PPID ...": COMM may hold anything, so start after
    // its last ')'.
    const size_t close = stat->rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat->substr(close + 1));
    std::string state;
    long parent = 0;
    rest >> state >> parent;
    if (parent == pid) children.push_back(candidate);
  }
  ::closedir(dir);
  return children;
}

ProcessUse ReadProcessUse(pid_t pid) {
  ProcessUse use;
  if (std::optional<std::string> status = ReadFile("/proc/" + std::to_string(pid) + "/status")) {
    const size_t at = status->find("\nThreads:");
    if (at != std::string::npos) use.threads = std::strtol(status->c_str() + at + 9, nullptr, 10);
  }
  use.descriptors = OpenDescriptors(pid);
  use.children = ChildrenOf(pid);
  return use;
}

std::string Describe(const ProcessUse& use) {
  std::string text = "threads " + std::to_string(use.threads) + ", children " +
                     std::to_string(use.children.size()) + ", descriptors " +
                     std::to_string(use.descriptors.size()) + ":";
  for (const std::string& fd : use.descriptors) text += "\n  " + fd;
  return text;
}

// The host's use once its background pool has gone idle: nothing in flight
// and no change in the thread count for longer than the pool keeps an idle
// worker.
ProcessUse SettledUse(pid_t pid) {
  ProcessUse use = ReadProcessUse(pid);
  auto last_change = steady_clock::now();
  const auto give_up = last_change + seconds(40);
  while (steady_clock::now() - last_change < kPoolIdleEnd + seconds(1) &&
         steady_clock::now() < give_up) {
    std::this_thread::sleep_for(milliseconds(100));
    ProcessUse now = ReadProcessUse(pid);
    if (now.threads != use.threads || now.descriptors.size() != use.descriptors.size() ||
        now.children.size() != use.children.size()) {
      last_change = steady_clock::now();
    }
    use = std::move(now);
  }
  return use;
}

size_t JobCount(const std::string& directory) {
  size_t count = 0;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return 0;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 8 && name.compare(0, 4, "job-") == 0 &&
        name.compare(name.size() - 4, 4, ".bin") == 0) {
      ++count;
    }
  }
  ::closedir(dir);
  return count;
}

class SoakTest : public PrintSystemTest {
 protected:
  void SetUp() override {
    // The print system first: it sets CUPS_SERVER, which the host inherits.
    PrintSystemTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    CORVELLA_REQUIRE_DISPLAY(display_);
    ASSERT_NE(print_system_.addQueue(kQueueA), nullptr) << print_system_.error();
    ASSERT_NE(print_system_.addQueue(kQueueB), nullptr) << print_system_.error();
    ASSERT_TRUE(print_system_.setDefault(kQueueA)) << print_system_.error();
  }

  VirtualDisplay display_;
};

TEST_F(SoakTest, TwentyThousandMixedCallsAreEachAnsweredOnceAndEveryLabelArrivesOnce) {
  const auto started_at = steady_clock::now();
  // The host leaves one document file per label in its temporary directory:
  // the test run's own (see test_main.cc), removed when the run ends.
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());

  // The list both queues give, in the print system's order.
  ASSERT_TRUE(host.write(PrinterCallFrame(0, "getAvailablePrinters")));
  std::vector<UiLinkReply> first = host.readReplies(1);
  ASSERT_EQ(first.size(), 1u) << host.errorOutput();
  const std::string available = AnswerJson(first[0]);
  ASSERT_EQ(available, std::string("[\"") + kQueueA + "\",\"" + kQueueB + "\"]");

  SessionPlan plan(available);
  const std::vector<PlannedCall> calls = plan.build();
  ASSERT_EQ(calls.size(), kTotalCalls);
  ASSERT_EQ(plan.labels(), kLabels);
  for (const auto& [kind, count] : plan.counts()) {
    EXPECT_GT(count, 0u) << "the plan has no call of kind " << static_cast<int>(kind);
  }

  std::unordered_map<uint32_t, size_t> outstanding;  // id -> index in `calls`
  size_t wrong_answers = 0;
  size_t unexpected_replies = 0;
  auto take = [&](std::vector<UiLinkReply> replies) {
    for (const UiLinkReply& reply : replies) {
      auto it = outstanding.find(reply.id);
      if (it == outstanding.end()) {
        if (++unexpected_replies <= 10) {
          ADD_FAILURE() << "a reply for id " << reply.id
                        << ", which is not awaiting one (answered twice or never sent)";
        }
        continue;
      }
      const PlannedCall& call = calls[it->second];
      const std::string answer = AnswerJson(reply);
      if (answer != call.expected && ++wrong_answers <= 10) {
        ADD_FAILURE() << call.description << ": answered " << answer << ", expected "
                      << call.expected;
      }
      outstanding.erase(it);
    }
  };
  // Waits up to `timeout` for at least one reply and takes every reply
  // already there; false when none came.
  auto receive = [&](milliseconds timeout) {
    std::vector<UiLinkReply> replies = host.readReplies(1, timeout);
    if (replies.empty()) return false;
    take(std::move(replies));
    take(host.readReplies(std::numeric_limits<size_t>::max(), milliseconds(0)));
    return true;
  };
  const std::string jobs_a = print_system_.printer(kQueueA)->jobDirectory();
  const std::string jobs_b = print_system_.printer(kQueueB)->jobDirectory();
  size_t labels_sent = 0;
  size_t labels_arrived = 0;

  auto run = [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      while (outstanding.size() >= kWindow) {
        ASSERT_TRUE(receive(seconds(60))) << outstanding.size() << " calls unanswered for 60 s\n"
                                          << host.errorOutput();
      }
      if (!calls[i].queue.empty()) {
        const auto deadline = steady_clock::now() + seconds(120);
        while (labels_sent - labels_arrived >= kMaxUndelivered) {
          ASSERT_LT(steady_clock::now(), deadline)
              << labels_sent - labels_arrived << " labels queued and not arriving\n"
              << print_system_.errorLogTail();
          if (!receive(milliseconds(20))) std::this_thread::sleep_for(milliseconds(1));
          labels_arrived = JobCount(jobs_a) + JobCount(jobs_b);
        }
        ++labels_sent;
      }
      outstanding.emplace(calls[i].id, i);
      ASSERT_TRUE(host.write(calls[i].frame)) << "the host stopped reading\n" << host.errorOutput();
    }
    while (!outstanding.empty()) {
      ASSERT_TRUE(receive(seconds(60))) << outstanding.size() << " calls never answered\n"
                                        << host.errorOutput();
    }
  };

  run(0, kWarmUpCalls);
  if (HasFatalFailure()) return;
  const ProcessUse baseline = SettledUse(host.pid());
  ASSERT_GT(baseline.threads, 0);
  EXPECT_TRUE(baseline.children.empty()) << Describe(baseline);

  run(kWarmUpCalls, calls.size());
  if (HasFatalFailure()) return;
  EXPECT_EQ(wrong_answers, 0u);
  EXPECT_EQ(unexpected_replies, 0u);

  // Every label at the printer its call selected, once, byte for byte.
  std::map<std::string, std::multiset<std::string>> expected_jobs;
  for (const PlannedCall& call : calls) {
    if (!call.queue.empty()) expected_jobs[call.queue].insert(call.label_bytes);
  }
  ASSERT_EQ(expected_jobs.size(), 2u);
  for (const auto& [queue, labels] : expected_jobs) {
    std::vector<std::string> jobs = print_system_.waitForJobs(queue, labels.size(), seconds(120));
    EXPECT_EQ(jobs.size(), labels.size()) << queue;
    std::multiset<std::string> missing = labels;
    size_t unknown = 0;
    for (const std::string& job : jobs) {
      auto it = missing.find(job);
      if (it == missing.end()) {
        if (++unknown <= 3)
          ADD_FAILURE() << queue << " got a job no call sent it: " << job.substr(0, 200);
        continue;
      }
      missing.erase(it);
    }
    EXPECT_EQ(unknown, 0u) << queue;
    EXPECT_TRUE(missing.empty()) << missing.size() << " labels never reached " << queue
                                 << "; first: " << (missing.empty() ? "" : *missing.begin());
  }

  // No growth: the pool's idle workers have ended again, every descriptor
  // the prints opened is closed and every tool run has been reaped. Once
  // settled there is no slack to allow for: nothing that the calls start
  // outlives them.
  ProcessUse end = SettledUse(host.pid());
  EXPECT_LE(end.threads, baseline.threads)
      << "baseline: " << Describe(baseline) << "\nend: " << Describe(end);
  EXPECT_LE(end.descriptors.size(), baseline.descriptors.size())
      << "baseline: " << Describe(baseline) << "\nend: " << Describe(end);
  EXPECT_TRUE(end.children.empty()) << Describe(end);

  host.closeInput();
  EXPECT_TRUE(host.readToEnd(seconds(60)).empty()) << "a reply nobody asked for";
  const std::optional<int> status = host.wait(seconds(60));
  const std::string errors = host.errorOutput();
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
      << DescribeWaitStatus(status) << "\n"
      << errors.substr(errors.size() > 20000 ? errors.size() - 20000 : 0);
  EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;

  const auto elapsed = std::chrono::duration_cast<milliseconds>(steady_clock::now() - started_at);
  RecordProperty("soak_milliseconds", std::to_string(elapsed.count()));
  std::cout << "soak: " << kTotalCalls << " calls, " << kLabels << " labels in " << elapsed.count()
            << " ms; baseline threads " << baseline.threads << ", descriptors "
            << baseline.descriptors.size() << "; end threads " << end.threads << ", descriptors "
            << end.descriptors.size() << "\n";
}

}  // namespace
}  // namespace corvella::testing
