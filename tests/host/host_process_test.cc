// The desktop app as a person starts it: its window on a display, closed the
// way a window manager closes it, and a call that is waiting before the app
// has even started.
#include "tests/host/host_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "test_print_system/file_util.h"
#include "tests/host/test_plugin.h"
#include "tests/host/virtual_display.h"
#include "tests/host/window_client.h"
#include "tests/support/channel_harness.h"

namespace corvella::testing {
namespace {

// A size property of the main window in the interface description.
int DescribedSize(const std::string& property) {
  const std::string text = ReadFile(CORVELLA_MAIN_WINDOW_UI).value_or("");
  std::smatch match;
  const std::regex pattern("<property name=\"" + property + "\">([0-9]+)</property>");
  return std::regex_search(text, match, pattern) ? std::stoi(match[1]) : -1;
}

class HostProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CORVELLA_REQUIRE_DISPLAY(display_);
    IsolateFromPrintSystem();
  }

  // Closes the window of `host` and expects the process to end with status 0.
  void CloseWindowAndExpectCleanExit(HostProcess& host) {
    WindowClient client(display_.name());
    ASSERT_TRUE(client.connected());
    std::optional<WindowClient::WindowId> window =
        client.findWindow(host.pid(), std::chrono::seconds(20));
    ASSERT_TRUE(window.has_value()) << "the host showed no window\n" << host.errorOutput();
    int width = 0;
    int height = 0;
    ASSERT_TRUE(client.size(*window, width, height));
    EXPECT_EQ(width, DescribedSize("default-width"));
    EXPECT_EQ(height, DescribedSize("default-height"));
    EXPECT_EQ(client.title(*window), "Corvella");
    // A Wayland client cannot ask for a position at all.
    if (display_.kind() == VirtualDisplay::Kind::kX11) {
      EXPECT_FALSE(client.hasPositionHint(*window)) << "the window forces a position";
    }

    client.close(*window);
    host.expectCleanExit();
  }

  VirtualDisplay display_;
};

TEST_F(HostProcessTest, WithoutALinkClosingTheWindowEndsTheProcessWithStatusZero) {
  // Started as a desktop launcher starts it, with standard input /dev/null
  // or closed; the display connection must not be taken for a UI link on
  // descriptor 0.
  for (HostProcess::Input input : {HostProcess::Input::kDevNull, HostProcess::Input::kClosed}) {
    HostProcess::Options options;
    options.input = input;
    HostProcess host(HostPath(), options);
    ASSERT_TRUE(host.started());
    CloseWindowAndExpectCleanExit(host);
    EXPECT_TRUE(host.readToEnd().empty()) << "the host wrote to standard output without a link";
  }
}

TEST_F(HostProcessTest, ClosingTheWindowWaitsForWorkInFlightAndSendsItsAnswer) {
  HostProcess host(TestHostPath());
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.write(
      Joined({CallFrame(1, kTestChannel, "afterBackground", TextMap({{"milliseconds", 800}})),
              CallFrame(2, kTestChannel, "registrarKey")})));
  // Messages are delivered in order: once the second is answered, the first
  // is running on the background queue.
  std::vector<UiLinkReply> replies = host.readReplies(1);
  ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
  ASSERT_EQ(replies[0].id, 2u);
  CloseWindowAndExpectCleanExit(host);
  replies = host.readToEnd();
  ASSERT_EQ(replies.size(), 1u) << "the answer of the work in flight was lost\n"
                                << host.errorOutput();
  EXPECT_EQ(replies[0].id, 1u);
  EXPECT_EQ(AnswerJson(replies[0]), "true");
}

TEST_F(HostProcessTest, WithTheLinkOpenAndAnyArgumentsClosingTheWindowEndsTheProcess) {
  // Arguments go to the user interface; the app starts as usual.
  for (const char* argument : {"", "label.zpl", "--foo"}) {
    SCOPED_TRACE(argument);
    HostProcess::Options options;
    if (argument[0] != '\0') options.arguments = {argument};
    HostProcess host(HostPath(), options);
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(host.write(PrinterCallFrame(1, "initialize")));
    std::vector<UiLinkReply> replies = host.readReplies(1);
    ASSERT_EQ(replies.size(), 1u) << host.errorOutput();
    EXPECT_EQ(AnswerJson(replies[0]), "true");
    CloseWindowAndExpectCleanExit(host);
  }
}

TEST_F(HostProcessTest, CallWaitingBeforeTheHostStartsIsAnswered) {
  HostProcess::Options options;
  options.written_before_start =
      Joined({PrinterCallFrame(41, "initialize"), PrinterCallFrame(42, "getPrinterStatus")});
  HostProcess host(HostPath(), options);
  ASSERT_TRUE(host.started());
  std::vector<UiLinkReply> replies = host.readReplies(2);
  ASSERT_EQ(replies.size(), 2u) << host.errorOutput();
  EXPECT_EQ(replies[0].id, 41u);
  EXPECT_EQ(AnswerJson(replies[0]), "true");
  EXPECT_EQ(replies[1].id, 42u);
  EXPECT_EQ(AnswerJson(replies[1]), "{\"connected\":false}");
  host.closeInput();
  EXPECT_TRUE(host.readToEnd().empty());
  host.expectCleanExit();
}

}  // namespace
}  // namespace corvella::testing
