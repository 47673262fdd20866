// The engine's channel contract as plug-ins rely on it: each message gets
// exactly one reply, whatever the handler does with its call.
#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/channel_harness.h"
#include "tests/support/critical_log.h"

namespace {

using corvella::testing::Answer;
using corvella::testing::ChannelHarness;
using corvella::testing::ExpectedCritical;
using corvella::testing::TextMap;

// A channel whose handler does whatever the test asks with each call.
struct Fixture {
  using Behaviour = std::function<void(FlMethodCall*)>;
  std::unique_ptr<ChannelHarness> harness = std::make_unique<ChannelHarness>();
  Behaviour behaviour;
  int destroyed = 0;

  Fixture() {
    g_autoptr(FlStandardMethodCodec) codec = fl_standard_method_codec_new();
    // Released at once: the messenger keeps the channel alive.
    g_autoptr(FlMethodChannel) channel = fl_method_channel_new(
        fl_engine_get_binary_messenger(harness->engine()), "scripted", FL_METHOD_CODEC(codec));
    fl_method_channel_set_method_call_handler(
        channel,
        [](FlMethodChannel*, FlMethodCall* call, gpointer data) {
          static_cast<Fixture*>(data)->behaviour(call);
        },
        this, [](gpointer data) { ++static_cast<Fixture*>(data)->destroyed; });
  }
};

TEST(MethodChannel, AnswersEveryCallExactlyOnce) {
  Fixture f;
  FlMethodCall* held_later = nullptr;
  std::thread answerer;
  gboolean second = TRUE;
  g_autoptr(GError) second_error = nullptr;
  f.behaviour = [&](FlMethodCall* call) {
    const std::string name = fl_method_call_get_name(call);
    if (name == "twice") {
      g_autoptr(FlValue) one = fl_value_new_int(1);
      g_autoptr(FlValue) two = fl_value_new_int(2);
      EXPECT_TRUE(fl_method_call_respond_success(call, one, nullptr));
      second = fl_method_call_respond_success(call, two, &second_error);
    } else if (name == "later") {
      // Answered from another thread (a plug-in's fault) while the test
      // holds a reference, which it drops on the main thread once that
      // thread is done.
      held_later = FL_METHOD_CALL(g_object_ref(call));
      answerer = std::thread([call] {
        g_autoptr(FlValue) text = fl_value_new_string("later");
        fl_method_call_respond_success(call, text, nullptr);
      });
    } else if (name != "never") {
      g_autoptr(FlValue) text = fl_value_new_string(name.c_str());
      fl_method_call_respond_success(call, text, nullptr);
    }
  };

  EXPECT_EQ(Answer(*f.harness->send("twice", {}, "scripted")), "1");
  EXPECT_FALSE(second);
  ASSERT_NE(second_error, nullptr);
  EXPECT_TRUE(g_error_matches(second_error, FL_BINARY_MESSENGER_ERROR,
                              FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED));

  // Dropped without an answer: one empty reply, as soon as the call goes.
  EXPECT_EQ(Answer(*f.harness->send("never", {}, "scripted")), "<empty>");

  {
    // Refused with a critical that names the call, yet delivered once, from
    // the main thread, so that the user interface is not left waiting.
    ExpectedCritical refused("Method later on channel scripted answered off the main thread");
    auto later = f.harness->send("later", {}, "scripted");
    EXPECT_TRUE(later->replies.empty()) << "answered before the other thread ran";
    f.harness->runUntilIdle();
    answerer.join();
    g_clear_object(&held_later);
    EXPECT_EQ(Answer(*later), "\"later\"");
  }

  EXPECT_EQ(Answer(*f.harness->send("echo", {}, "scripted")), "\"echo\"");
}

TEST(MethodChannel, ArgumentsArriveDecodedAndTheHandlerDataIsReleasedWithTheEngine) {
  auto f = std::make_unique<Fixture>();
  std::string seen;
  f->behaviour = [&seen](FlMethodCall* call) {
    g_autofree gchar* text = fl_value_to_string(fl_method_call_get_args(call));
    seen = text;
    fl_method_call_respond_not_implemented(call, nullptr);
  };
  // Not-implemented travels as an empty reply.
  EXPECT_EQ(Answer(*f->harness->send("m", TextMap({{"k", int64_t{1} << 40}}), "scripted")),
            "<empty>");
  EXPECT_EQ(seen, "{k: 1099511627776}");
  f->harness->send("none", {}, "scripted");
  EXPECT_EQ(seen, "null") << "a call without arguments carries a null value";
  // A plug-in may keep its registrar for good; that must not keep the
  // engine (and through it the plug-in) alive.
  FlPluginRegistrar* kept =
      fl_plugin_registry_get_registrar_for_plugin(FL_PLUGIN_REGISTRY(f->harness->engine()), "K");
  EXPECT_EQ(f->destroyed, 0);
  f->harness.reset();
  EXPECT_EQ(f->destroyed, 1) << "the engine releases its channels and their handlers";
  EXPECT_EQ(fl_plugin_registrar_get_messenger(kept), nullptr);
  g_object_unref(kept);
}

}  // namespace
