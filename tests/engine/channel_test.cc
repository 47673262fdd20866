#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/log.h"
#include "engine/method_channel.h"
#include "engine/plugin_registrar.h"
#include "engine/standard_method_codec.h"
#include "tests/support/channel_harness.h"
#include "tests/support/log_capture.h"

namespace {

using corvella::testing::ChannelHarness;
using corvella::testing::Describe;
using corvella::testing::LogCapture;

// A plug-in that does with its result whatever the test asks.
class ScriptedPlugin : public FlutterPlugin {
 public:
  std::function<void(const FlutterMethodCall&, FlutterResult)> behaviour;
  void handleMethodCall(const FlutterMethodCall& call, FlutterResult result) override {
    behaviour(call, std::move(result));
  }
};

struct Fixture {
  ChannelHarness harness;
  std::shared_ptr<ScriptedPlugin> plugin = std::make_shared<ScriptedPlugin>();
  Fixture() {
    auto registrar = harness.registry().registrarForPlugin("Scripted");
    registrar->addMethodCallDelegate(
        plugin, FlutterMethodChannel::methodChannelWithName("scripted", registrar->messenger()));
  }
};

TEST(MethodChannel, AnswersEveryCallExactlyOnce) {
  Fixture f;
  LogCapture log;
  f.plugin->behaviour = [](const FlutterMethodCall& call, FlutterResult result) {
    if (call.method() == "twice") {
      result(EncodableValue(1));
      result(EncodableValue(2));
    } else if (call.method() == "never") {
      // Dropped without an answer.
    } else {
      result(EncodableValue(call.method()));
    }
  };
  auto twice = f.harness.send("twice", {}, "scripted");
  ASSERT_EQ(twice->replies.size(), 1u);
  EXPECT_EQ(Describe(*StandardMethodCodec::DecodeEnvelope(twice->replies[0])), "1");
  auto never = f.harness.send("never", {}, "scripted");
  ASSERT_EQ(never->replies.size(), 1u);
  EXPECT_TRUE(never->replies[0].empty());
  EXPECT_EQ(log.lines().size(), 2u);
  auto echo = f.harness.send("echo", {}, "scripted");
  ASSERT_EQ(echo->replies.size(), 1u);
  EXPECT_EQ(Describe(*StandardMethodCodec::DecodeEnvelope(echo->replies[0])), "\"echo\"");
}

TEST(MethodChannel, UndecodableMessagesAndUnknownChannelsGetEmptyReplies) {
  Fixture f;
  LogCapture log;
  bool called = false;
  f.plugin->behaviour = [&called](const FlutterMethodCall&, FlutterResult result) {
    called = true;
    result(EncodableValue());
  };
  for (const std::vector<uint8_t>& junk :
       {std::vector<uint8_t>{}, std::vector<uint8_t>{0x07, 0x09, 'x'},
        std::vector<uint8_t>{0x03, 1, 2, 3, 4, 0}}) {
    auto reply = f.harness.sendBytes("scripted", junk);
    ASSERT_EQ(reply->replies.size(), 1u);
    EXPECT_TRUE(reply->replies[0].empty());
  }
  EXPECT_FALSE(called);
  EXPECT_EQ(log.lines().size(), 3u);
  auto nobody = f.harness.send("initialize", {}, "no_such_channel");
  ASSERT_EQ(nobody->replies.size(), 1u);
  EXPECT_TRUE(nobody->replies[0].empty());
}

TEST(PluginRegistry, OneRegistrarPerKeyThatKeepsItsDelegateAlive) {
  Fixture f;
  std::weak_ptr<ScriptedPlugin> weak = f.plugin;
  f.plugin->behaviour = [](const FlutterMethodCall&, FlutterResult result) {
    result(EncodableValue(true));
  };
  f.plugin.reset();
  ASSERT_FALSE(weak.expired()) << "the registrar must own the delegate";
  auto reply = f.harness.send("anything", {}, "scripted");
  ASSERT_EQ(reply->replies.size(), 1u);
  EXPECT_EQ(Describe(*StandardMethodCodec::DecodeEnvelope(reply->replies[0])), "true");
  EXPECT_EQ(f.harness.registry().registrarForPlugin("Scripted"),
            f.harness.registry().registrarForPlugin("Scripted"));
  EXPECT_NE(f.harness.registry().registrarForPlugin("Scripted"),
            f.harness.registry().registrarForPlugin("Other"));
}

}  // namespace
