#pragma once

// The calls of one host session over the UI link, and the labels they print.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/support/channel_harness.h"

namespace corvella::testing {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// A label that carries its tag, and the bytes its printer must receive,
// built from the same lines rather than by the host's normaliser: every
// line end becomes CR LF, and "^XZ" is appended when the document has none.
struct Label {
  std::string zpl;
  std::string expected;
};

Label MakeLabel(const std::string& tag, size_t variant);

// When a label was sent, relative to the fault.
enum class Phase { kBefore, kInFlight, kDuring, kAfter };

// The calls of one host session and their answers, matched by id. Each call
// names the answers it accepts (any, when none); a wrong answer, a second
// answer or one never asked for fails the test.
class Session {
 public:
  // Labels sent and not yet at their printer, at most, when flush() paces
  // them. The scheduler refuses new jobs once 500 are active; well below
  // that, a refusal is the host's.
  static constexpr size_t kMaxUndelivered = 200;

  using Frame = std::function<std::vector<uint8_t>(uint32_t id)>;
  struct Print {
    std::string queue;
    std::string bytes;
    Phase phase;
  };

  explicit Session(HostProcess& host) : host_(host) {}

  // Queues a call for the next flush().
  uint32_t add(const Frame& frame, std::set<std::string> allowed, std::string what) {
    const uint32_t id = next_id_++;
    queued_.push_back(frame(id));
    calls_[id] = {std::move(allowed), std::move(what) + " (call " + std::to_string(id) + ")"};
    return id;
  }
  uint32_t call(const std::string& method, const Value& arguments, std::set<std::string> allowed) {
    return add([&](uint32_t id) { return PrinterCallFrame(id, method, arguments); },
               std::move(allowed), method);
  }
  uint32_t print(const std::string& queue, const Label& label, Phase phase,
                 std::set<std::string> allowed) {
    const uint32_t id = call("printZPL", TextMap({{"zplCommands", label.zpl}}), std::move(allowed));
    prints_[id] = {queue, label.expected, phase};
    return id;
  }

  // Writes the queued calls: in one write, or one at a time keeping at
  // most `window` unanswered and, when `arrived` counts the jobs at the
  // printers, at most Session::kMaxUndelivered prints not yet there.
  void flush(size_t window = 0, const std::function<size_t()>& arrived = nullptr) {
    std::vector<uint8_t> bytes;
    uint32_t id = next_id_ - static_cast<uint32_t>(queued_.size());
    size_t at_printers = 0;
    for (std::vector<uint8_t>& frame : queued_) {
      while (window > 0 && id - 1 - answers_.size() >= window) {
        ASSERT_TRUE(receive(seconds(60))) << "calls unanswered for 60 s\n" << host_.errorOutput();
      }
      const auto deadline = steady_clock::now() + seconds(120);
      while (arrived && prints_.count(id) &&
             prints_sent_ - at_printers >= Session::kMaxUndelivered) {
        ASSERT_LT(steady_clock::now(), deadline) << "labels queued and not arriving";
        if (!receive(milliseconds(20))) at_printers = arrived();
      }
      prints_sent_ += prints_.count(id++);
      bytes.insert(bytes.end(), frame.begin(), frame.end());
      if (window > 0) {
        ASSERT_TRUE(host_.write(bytes)) << "the host stopped reading\n" << host_.errorOutput();
        bytes.clear();
      }
    }
    queued_.clear();
    ASSERT_TRUE(host_.write(bytes)) << "the host stopped reading\n" << host_.errorOutput();
  }

  // Waits until `id` (every call, for 0) is answered; false on timeout.
  bool await(uint32_t id, milliseconds timeout) {
    const auto deadline = steady_clock::now() + timeout;
    while (id == 0 ? answers_.size() < calls_.size() : answers_.count(id) == 0) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
      if (left.count() <= 0 || !receive(left)) return false;
    }
    return true;
  }
  bool awaitAll(milliseconds timeout) {
    const bool all = await(0, timeout);
    EXPECT_TRUE(all) << calls_.size() - answers_.size() << " calls unanswered\n"
                     << host_.errorOutput();
    return all;
  }

  const std::string& answer(uint32_t id) const {
    static const std::string kNone = "<none>";
    auto it = answers_.find(id);
    return it == answers_.end() ? kNone : it->second;
  }
  size_t printsUnanswered() const {
    return static_cast<size_t>(std::count_if(prints_.begin(), prints_.end(), [this](auto& print) {
      return answers_.count(print.first) == 0;
    }));
  }
  const std::map<uint32_t, Print>& prints() const { return prints_; }

 private:
  // Takes every reply there is, waiting up to `timeout` for the first.
  bool receive(milliseconds timeout) {
    std::vector<UiLinkReply> replies = host_.readReplies(1, timeout);
    if (replies.empty()) return false;
    for (UiLinkReply& more : host_.readReplies(SIZE_MAX, milliseconds(0)))
      replies.push_back(std::move(more));
    for (const UiLinkReply& reply : replies) {
      auto call = calls_.find(reply.id);
      if (call == calls_.end() || answers_.count(reply.id) != 0) {
        ADD_FAILURE() << "a reply for id " << reply.id << ", which awaits none";
        continue;
      }
      const std::string answer = AnswerJson(reply);
      const std::set<std::string>& allowed = call->second.first;
      if (!allowed.empty() && allowed.count(answer) == 0 && ++wrong_answers_ <= 10)
        ADD_FAILURE() << call->second.second << " answered " << answer;
      answers_[reply.id] = answer;
    }
    return true;
  }

  HostProcess& host_;
  uint32_t next_id_ = 1;
  size_t prints_sent_ = 0;
  size_t wrong_answers_ = 0;
  std::vector<std::vector<uint8_t>> queued_;
  std::map<uint32_t, std::pair<std::set<std::string>, std::string>> calls_;
  std::map<uint32_t, std::string> answers_;
  std::map<uint32_t, Print> prints_;
};

}  // namespace corvella::testing
