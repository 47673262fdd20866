// The UI link as a user interface in another process uses it: the host
// started with pipes on its standard input and output, frames written and
// read by this test.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "test_print_system/file_util.h"
#include "tests/host/host_process.h"
#include "tests/host/test_plugin.h"
#include "tests/host/virtual_display.h"
#include "tests/support/channel_harness.h"
#include "tests/support/time_scale.h"

namespace corvella::testing {
namespace {

class UiLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CORVELLA_REQUIRE_DISPLAY(display_);
    IsolateFromPrintSystem();
  }

  // Expects the host's output to end with no further reply, and the host to
  // exit with status 0.
  static void ExpectCleanEnd(HostProcess& host) {
    EXPECT_TRUE(host.readToEnd().empty()) << "a reply nobody asked for";
    host.expectCleanExit();
  }

  VirtualDisplay display_;
};

TEST_F(UiLinkTest, RepliesAreMatchedByIdAndAnImmediateOneOvertakesADeferredOne) {
  // One write: both frames are received together. The first is answered by
  // a main-queue work item after its handler returns, the second at once.
  HostProcess host(TestHostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(Joined(
      {CallFrame(1, kTestChannel, "afterMainQueue"), CallFrame(2, kTestChannel, "registrarKey")})));
  std::vector<UiLinkReply> replies = host.readReplies(2);
  ASSERT_EQ(replies.size(), 2u) << host.errorOutput();
  EXPECT_EQ(replies[0].id, 2u);
  EXPECT_EQ(AnswerJson(replies[0]), "\"" + std::string(kTestPluginKey) + "\"");
  EXPECT_EQ(replies[1].id, 1u);
  EXPECT_EQ(AnswerJson(replies[1]), "true");
  host.closeInput();
  ExpectCleanEnd(host);
}

TEST_F(UiLinkTest, LargeTextsComeBackWholeWhereverTheyStandInAMessage) {
  // A large text that ends its message is kept where it was received
  // rather than copied; one that does not end it is copied. Both must
  // read, compare and encode as the bytes sent, NUL bytes included.
  std::string big(200000, 'z');
  big[1000] = '\0';
  big.back() = '!';
  const std::vector<Value> sent = {Value(big), ListValue({big, "tail"}), ListValue({"head", big}),
                                   MapValue({{"k", big}})};
  HostProcess host(TestHostPath());
  ASSERT_TRUE(host.started());
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t id = 0; id < sent.size(); ++id)
    frames.push_back(CallFrame(id + 1, kTestChannel, "echo", sent[id]));
  ASSERT_TRUE(host.write(Joined(frames)));
  std::vector<UiLinkReply> replies = host.readReplies(sent.size());
  ASSERT_EQ(replies.size(), sent.size()) << host.errorOutput();
  for (const UiLinkReply& reply : replies) {
    SCOPED_TRACE(reply.id);
    g_autoptr(FlMethodResponse) response = DecodeReply(reply.reply);
    ASSERT_NE(response, nullptr);
    g_autoptr(GError) error = nullptr;
    FlValue* answer = fl_method_response_get_result(response, &error);
    ASSERT_NE(answer, nullptr);
    EXPECT_TRUE(fl_value_equal(answer, sent[reply.id - 1].get()));
  }
  host.closeInput();
  ExpectCleanEnd(host);
}

TEST_F(UiLinkTest, FrameOverTheLimitEndsTheLinkCleanly) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  std::vector<uint8_t> bytes = PrinterCallFrame(1, "initialize");
  const uint32_t too_long = kUiLinkMaxFrameLength + 1;
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<uint8_t>(too_long >> shift));
  ASSERT_TRUE(host.write(bytes));
  // The host ends the link on its own, with the input still open.
  std::vector<UiLinkReply> replies = host.readToEnd();
  ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
  EXPECT_EQ(AnswerJson(replies[0]), "true");
  host.expectCleanExit();
  EXPECT_NE(host.errorOutput().find("over the limit"), std::string::npos) << host.errorOutput();
}

TEST_F(UiLinkTest, ABrokenFrameEndsTheLinkCleanlyAfterTheWholeOnesBeforeIt) {
  struct Case {
    const char* name;
    std::vector<uint8_t> tail;  // after a whole call with id 1
    const char* logged;
  };
  const std::vector<uint8_t> second = PrinterCallFrame(2, "initialize");
  const std::vector<uint8_t> after = PrinterCallFrame(3, "initialize");
  std::vector<uint8_t> too_short = {6, 0, 0, 0, 2, 0, 0, 0, 9, 0};  // an id, half a length
  too_short.insert(too_short.end(), after.begin(), after.end());    // never delivered
  for (const Case& c :
       {Case{"cut short by the end of input", {second.begin(), second.end() - 3}, "inside a frame"},
        Case{"a body too short for its header", too_short, "too short for its header"}}) {
    SCOPED_TRACE(c.name);
    HostProcess host(HostPath());
    ASSERT_TRUE(host.started());
    std::vector<uint8_t> bytes = PrinterCallFrame(1, "initialize");
    bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
    ASSERT_TRUE(host.write(bytes));
    host.closeInput();
    std::vector<UiLinkReply> replies = host.readToEnd();
    ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
    EXPECT_EQ(replies[0].id, 1u);
    ExpectCleanEnd(host);
    EXPECT_NE(host.errorOutput().find(c.logged), std::string::npos) << host.errorOutput();
  }
}

// The host's resident memory in KiB, from /proc; -1 when unknown.
long ResidentKiB(pid_t pid) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status").value_or("");
  const size_t at = status.find("\nVmRSS:");
  return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 8, nullptr, 10);
}

// `count` status calls, their frames in one piece.
std::vector<uint8_t> StatusCalls(uint32_t count) {
  std::vector<uint8_t> bytes;
  for (uint32_t id = 1; id <= count; ++id) {
    const std::vector<uint8_t> frame = PrinterCallFrame(id, "getPrinterStatus");
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  return bytes;
}

TEST_F(UiLinkTest, AHostWhoseRepliesNobodyReadsEndsWithinTheCloseDeadline) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(StatusCalls(5000)));
  host.closeInput();
  // No reply is ever read; the host gives up writing them 30 s after its
  // input ended.
  const std::optional<int> status =
      host.wait(std::chrono::seconds(30) + Scaled(std::chrono::seconds(5)));
  ASSERT_TRUE(status.has_value()) << "still running 35 s after its input ended\n"
                                  << host.errorOutput();
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  EXPECT_NE(host.errorOutput().find("stopped reading"), std::string::npos) << host.errorOutput();
}

TEST_F(UiLinkTest, RepliesNobodyReadsHoldTheHostsMemoryBounded) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // A sanitizer's quarantine and shadow memory grow with every message the
  // host frees, so its resident size says nothing about what it holds.
  GTEST_SKIP() << "resident memory is measured without sanitizers";
#endif
  // An emulator's translation cache grows with the code run, too.
  if (TimeScale() > 1) GTEST_SKIP() << "resident memory is measured on a real processor";
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(StatusCalls(1)));
  ASSERT_EQ(host.readReplies(1).size(), 1u) << host.errorOutput();
  const long before = ResidentKiB(host.pid());
  ASSERT_GT(before, 0);
  // 300,000 calls whose replies are never read: the host stops reading
  // them once a few MiB of replies wait, and the writer blocks.
  const std::vector<uint8_t> calls = StatusCalls(300000);
  std::atomic<bool> written{false};
  std::thread writer([&] {
    host.write(calls);
    written = true;
  });
  long most = before;
  for (int sample = 0; sample < 40; ++sample) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    most = std::max(most, ResidentKiB(host.pid()));
  }
  EXPECT_FALSE(written) << "every call was read although no reply was";
  EXPECT_LT(most - before, 24 * 1024) << "grew from " << before << " KiB to " << most << " KiB";
  ::kill(host.pid(), SIGKILL);  // the writer then sees a broken pipe
  host.wait(std::chrono::seconds(10));
  writer.join();
}

}  // namespace
}  // namespace corvella::testing
