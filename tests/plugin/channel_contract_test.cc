#include <gtest/gtest.h>

#include "Runner/zebra_printer_plugin.h"
#include "tests/support/channel_harness.h"

namespace {

using corvella::testing::ChannelHarness;
using corvella::testing::Describe;
using corvella::testing::Error;
using corvella::testing::Success;
using corvella::testing::TextMap;

std::string Answer(const std::optional<FlutterResultValue>& result) {
  return result ? Describe(*result) : "<no single reply>";
}

class ChannelContract : public ::testing::Test {
 protected:
  ChannelContract() {
    zebra_printer_plugin_register_with_registrar(harness_.registrar("ZebraPrinterPlugin"));
  }

  std::string call(const std::string& method, EncodableValue arguments = {}) {
    return Answer(harness_.call(method, std::move(arguments)));
  }
  std::string status() { return call("getPrinterStatus"); }

  ChannelHarness harness_;
};

const std::string kNotConnected = Describe(TextMap({{"connected", false}}));
std::string Connected(const std::string& name) {
  return Describe(TextMap({{"connected", true}, {"printerName", EncodableValue(name)}}));
}

TEST_F(ChannelContract, SelectionFollowsConnectAndDisconnect) {
  EXPECT_EQ(status(), kNotConnected);
  EXPECT_EQ(call("initialize"), "true");
  EXPECT_EQ(call("disconnect"), "true") << "disconnect with nothing selected";
  EXPECT_EQ(status(), kNotConnected);

  EXPECT_EQ(call("connectToPrinter", TextMap({{"printerName", " No Such Queue "}})), "true");
  EXPECT_EQ(status(), Connected(" No Such Queue ")) << "stored exactly as received";
  EXPECT_EQ(call("initialize", TextMap({{"printerName", "ignored"}})), "true");
  EXPECT_EQ(status(), Connected(" No Such Queue ")) << "initialize leaves the selection";

  EXPECT_EQ(call("connectToPrinter", TextMap({{"printerName", "Zebra"}, {"other", 1}})), "true");
  EXPECT_EQ(status(), Connected("Zebra"));
  EXPECT_EQ(call("disconnect"), "true");
  EXPECT_EQ(status(), kNotConnected);

  EXPECT_EQ(call("connectToPrinter", TextMap({{"printerName", ""}})), "true");
  EXPECT_EQ(status(), Connected("")) << "empty text is a selection";
}

TEST_F(ChannelContract, ArgumentRuleRejectsEverythingButTextUnderTheKey) {
  const std::string kInvalid = Describe(Error("INVALID_ARGUMENTS", "printerName is required"));
  ASSERT_EQ(call("connectToPrinter", TextMap({{"printerName", "Before"}})), "true");
  EncodableMap non_text_key{{EncodableValue("printerName"), EncodableValue("X")},
                            {EncodableValue(int32_t{1}), EncodableValue("one")}};
  const std::vector<EncodableValue> bad = {
      EncodableValue(),
      EncodableValue(EncodableList{EncodableValue("printerName"), EncodableValue("X")}),
      EncodableValue("printerName"),
      EncodableValue(non_text_key),
      TextMap({{"printername", "X"}}),
      TextMap({{"printerName", EncodableValue()}}),
      TextMap({{"printerName", int32_t{7}}}),
      TextMap({{"printerName", true}}),
      TextMap({{"printerName", EncodableList{EncodableValue("X")}}}),
      TextMap({{"printerName", TextMap({{"printerName", "X"}})}}),
      TextMap({{"printerName", std::vector<uint8_t>{'X'}}}),
  };
  for (const EncodableValue& arguments : bad) {
    EXPECT_EQ(call("connectToPrinter", arguments), kInvalid) << Describe(arguments);
    EXPECT_EQ(status(), Connected("Before")) << "state unchanged after " << Describe(arguments);
  }
}

TEST_F(ChannelContract, NamesOutsideTheTableAreNotImplemented) {
  for (const char* name : {"Initialize", "initialize ", " disconnect", "DISCONNECT", "",
                           "getprinterstatus", "connectToPrinter\n", "unknownMethod"}) {
    EXPECT_EQ(call(name), "not-implemented") << '"' << name << '"';
  }
  EXPECT_EQ(status(), kNotConnected);
}

TEST_F(ChannelContract, ImmediateMethodsAnswerBeforeTheHandlerReturns) {
  // Nothing runs from the main queue here: the reply must already be there.
  for (const char* method : {"initialize", "getPrinterStatus", "disconnect", "nope"}) {
    auto log = harness_.send(method);
    EXPECT_EQ(log->replies.size(), 1u) << method;
  }
  auto log = harness_.send("connectToPrinter", TextMap({{"printerName", "Q"}}));
  EXPECT_EQ(log->replies.size(), 1u);
  harness_.runUntilIdle();
  EXPECT_EQ(log->replies.size(), 1u) << "answered once, not again later";
}

}  // namespace
