// The UI link as a user interface in another process uses it: the host
// started with pipes on its standard input and output, frames written and
// read by this test.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/host/test_plugin.h"
#include "tests/host/virtual_display.h"
#include "tools/standard_method_codec.h"

namespace corvella::testing {
namespace {

EncodableValue Arguments(const std::string& key, EncodableValue value) {
  EncodableMap map;
  map.emplace(EncodableValue(key), std::move(value));
  return EncodableValue(std::move(map));
}

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
    const std::optional<int> status = host.wait();
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << DescribeWaitStatus(status) << "\n"
        << host.errorOutput();
  }

  VirtualDisplay display_;
};

TEST_F(UiLinkTest, RepliesAreMatchedByIdAndAnImmediateOneOvertakesADeferredOne) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  // One write: both frames are received together. The first is answered by
  // a main-queue work item after its handler returns, the second at once.
  ASSERT_TRUE(host.write(Joined(
      {PrinterCallFrame(900, "getAvailablePrinters"), PrinterCallFrame(17, "getPrinterStatus")})));
  std::vector<UiLinkReply> replies = host.readReplies(2);
  ASSERT_EQ(replies.size(), 2u) << host.errorOutput();
  EXPECT_EQ(replies[0].id, 17u);
  EXPECT_EQ(AnswerJson(replies[0]), "{\"connected\":false}");
  EXPECT_EQ(replies[1].id, 900u);
  // No print system is reachable: the list is empty, but it is a list.
  EXPECT_EQ(AnswerJson(replies[1]), "[]");
  host.closeInput();
  ExpectCleanEnd(host);
}

TEST_F(UiLinkTest, TestChannelDeferredReplyIsOvertakenByAnImmediateOne) {
  // The same with the test plug-in, whose deferred answer does not depend on
  // the printer plug-in's methods.
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

TEST_F(UiLinkTest, MessagesAreDeliveredInTheOrderReceived) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  // Each status call must see the selection made by the call just before it.
  std::vector<std::vector<uint8_t>> frames;
  constexpr uint32_t kPairs = 40;
  for (uint32_t i = 0; i < kPairs; ++i) {
    frames.push_back(PrinterCallFrame(2 * i, "connectToPrinter",
                                      Arguments("printerName", "P" + std::to_string(i))));
    frames.push_back(PrinterCallFrame(2 * i + 1, "getPrinterStatus"));
  }
  ASSERT_TRUE(host.write(Joined(frames)));
  std::vector<UiLinkReply> replies = host.readReplies(2 * kPairs);
  ASSERT_EQ(replies.size(), 2 * kPairs) << host.errorOutput();
  for (uint32_t i = 0; i < 2 * kPairs; ++i) {
    ASSERT_EQ(replies[i].id, i);
    const std::string expected =
        i % 2 == 0 ? "true"
                   : "{\"connected\":true,\"printerName\":\"P" + std::to_string(i / 2) + "\"}";
    EXPECT_EQ(AnswerJson(replies[i]), expected) << "reply " << i;
  }
  host.closeInput();
  ExpectCleanEnd(host);
}

TEST_F(UiLinkTest, ChannelWithoutHandlerGetsAnEmptyReply) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(CallFrame(5, "nobody_listens_here", "initialize")));
  std::vector<UiLinkReply> replies = host.readReplies(1);
  ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
  EXPECT_EQ(replies[0].id, 5u);
  EXPECT_TRUE(replies[0].reply.empty());
  host.closeInput();
  ExpectCleanEnd(host);
}

TEST_F(UiLinkTest, UndecodableMethodCallGetsAnEmptyReplyAndTheHostLivesOn) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  std::vector<uint8_t> call_with_trailing_byte =
      StandardMethodCodec::EncodeMethodCall(FlutterMethodCall("initialize", {}));
  call_with_trailing_byte.push_back(0);
  ASSERT_TRUE(host.write(Joined({
      EncodeUiLinkCall(1, "zebra_printer_channel", {0xFF, 0x00, 0x13}),  // an unknown tag
      EncodeUiLinkCall(2, "zebra_printer_channel", {}),                  // no bytes at all
      EncodeUiLinkCall(3, "zebra_printer_channel", {0x07, 0x30, 'a'}),   // a string cut short
      EncodeUiLinkCall(4, "zebra_printer_channel", call_with_trailing_byte),
      PrinterCallFrame(5, "initialize"),
  })));
  std::vector<UiLinkReply> replies = host.readReplies(5);
  ASSERT_EQ(replies.size(), 5u) << host.errorOutput();
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(replies[i].id, i + 1);
    EXPECT_TRUE(replies[i].reply.empty()) << "message " << i + 1;
  }
  EXPECT_EQ(replies[4].id, 5u);
  EXPECT_EQ(AnswerJson(replies[4]), "true");
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
  const std::optional<int> status = host.wait();
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
      << DescribeWaitStatus(status);
  EXPECT_NE(host.errorOutput().find("over the limit"), std::string::npos) << host.errorOutput();
}

TEST_F(UiLinkTest, FrameCutShortByTheEndOfInputEndsTheLinkCleanly) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  std::vector<uint8_t> bytes = PrinterCallFrame(1, "initialize");
  std::vector<uint8_t> second = PrinterCallFrame(2, "initialize");
  bytes.insert(bytes.end(), second.begin(), second.end() - 3);
  ASSERT_TRUE(host.write(bytes));
  host.closeInput();
  std::vector<UiLinkReply> replies = host.readToEnd();
  ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
  EXPECT_EQ(replies[0].id, 1u);
  ExpectCleanEnd(host);
  EXPECT_NE(host.errorOutput().find("inside a frame"), std::string::npos) << host.errorOutput();
}

TEST_F(UiLinkTest, BodyTooShortForItsHeaderEndsTheLinkCleanly) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  std::vector<uint8_t> bytes = PrinterCallFrame(1, "initialize");
  // A body of 6 bytes: an id and half a channel-name length.
  const std::vector<uint8_t> short_frame = {6, 0, 0, 0, 2, 0, 0, 0, 9, 0};
  bytes.insert(bytes.end(), short_frame.begin(), short_frame.end());
  // Never delivered: the link is broken before it.
  const std::vector<uint8_t> after = PrinterCallFrame(3, "initialize");
  bytes.insert(bytes.end(), after.begin(), after.end());
  ASSERT_TRUE(host.write(bytes));
  std::vector<UiLinkReply> replies = host.readToEnd();
  ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
  EXPECT_EQ(replies[0].id, 1u);
  ExpectCleanEnd(host);
  EXPECT_NE(host.errorOutput().find("too short for its header"), std::string::npos)
      << host.errorOutput();
}

TEST_F(UiLinkTest, ClosingInputWhileBackgroundWorkIsInFlightStillGetsItsReply) {
  HostProcess host(TestHostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(Joined({
      CallFrame(1, kTestChannel, "afterBackground", Arguments("milliseconds", 600)),
      CallFrame(2, kTestChannel, "afterBackground", Arguments("milliseconds", 300)),
      CallFrame(3, kTestChannel, "registrarKey"),
  })));
  host.closeInput();
  std::vector<UiLinkReply> replies = host.readToEnd();
  ASSERT_EQ(replies.size(), 3u) << host.errorOutput();
  // The immediate answer first, then the background ones as they finish.
  EXPECT_EQ(replies[0].id, 3u);
  EXPECT_EQ(replies[1].id, 2u);
  EXPECT_EQ(AnswerJson(replies[1]), "true");
  EXPECT_EQ(replies[2].id, 1u);
  EXPECT_EQ(AnswerJson(replies[2]), "true");
  ExpectCleanEnd(host);
}

TEST_F(UiLinkTest, ClosingInputWhileAPrintIsInFlightStillGetsItsReply) {
  HostProcess host(HostPath());
  ASSERT_TRUE(host.started());
  // No print system is reachable, so the print runs every fall-back before
  // it answers false.
  ASSERT_TRUE(host.write(Joined({
      PrinterCallFrame(1, "connectToPrinter", Arguments("printerName", "Nowhere")),
      PrinterCallFrame(2, "printZPL", Arguments("zplCommands", "^XA^FDHello^FS")),
  })));
  host.closeInput();
  std::vector<UiLinkReply> replies = host.readToEnd();
  ASSERT_EQ(replies.size(), 2u) << host.errorOutput();
  EXPECT_EQ(AnswerJson(replies[0]), "true");
  EXPECT_EQ(replies[1].id, 2u);
  EXPECT_EQ(AnswerJson(replies[1]), "false");
  ExpectCleanEnd(host);
}

}  // namespace
}  // namespace corvella::testing
