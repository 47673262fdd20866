#include "tests/host/test_plugin.h"

#include <chrono>
#include <memory>
#include <thread>

#include "Runner/generated_plugin_registrant.h"
#include "engine/background_queue.h"
#include "engine/main_queue.h"

namespace corvella::testing {

namespace {

TestPluginRecord& Record() {
  static TestPluginRecord record;
  return record;
}

class TestPlugin : public FlutterPlugin {
 public:
  explicit TestPlugin(std::string key) : key_(std::move(key)) {}

  void handleMethodCall(const FlutterMethodCall& call, FlutterResult result) override {
    if (call.method() == "registrarKey") {
      result(EncodableValue(key_));
    } else if (call.method() == "afterMainQueue") {
      MainQueue::shared().post([result = std::move(result)] { result(EncodableValue(true)); });
    } else if (call.method() == "afterBackground") {
      int milliseconds = 0;
      if (const auto* map = std::get_if<EncodableMap>(&call.arguments())) {
        auto it = map->find(EncodableValue("milliseconds"));
        if (it != map->end()) {
          if (const auto* value = std::get_if<int32_t>(&it->second)) milliseconds = *value;
        }
      }
      BackgroundQueue::shared().post([milliseconds, result = std::move(result)]() mutable {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        MainQueue::shared().post([result = std::move(result)] { result(EncodableValue(true)); });
      });
    } else {
      result(FlutterMethodNotImplemented);
    }
  }

 private:
  std::string key_;
};

}  // namespace

const TestPluginRecord& testPluginRecord() { return Record(); }

}  // namespace corvella::testing

// The strong definition that takes the row's weak registration entry.
void OpenFilePluginRegisterWithRegistrar(FlutterPluginRegistrar* registrar) {
  auto& record = corvella::testing::Record();
  ++record.registrations;
  record.registrar = registrar;
  record.key = registrar->key();
  auto channel = FlutterMethodChannel::methodChannelWithName(corvella::testing::kTestChannel,
                                                             registrar->messenger());
  registrar->addMethodCallDelegate(
      std::make_shared<corvella::testing::TestPlugin>(registrar->key()), std::move(channel));
}
