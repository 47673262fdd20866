// The start-up of the main window inside this process, as the framework runs
// it: the interface description loaded, the window class created from it and
// its awakeFromNib run.
#include "engine/host_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "Runner/app_delegate.h"
#include "engine/application_main.h"
#include "engine/flutter_view.h"
#include "engine/standard_method_codec.h"
#include "engine/view_controller.h"
#include "tests/host/test_plugin.h"
#include "tests/host/virtual_display.h"
#include "tools/json_writer.h"

// The sanitizers of sanitizer builds read these at start-up: the same lists
// as lsan_suppressions.txt and tsan_suppressions.txt, for this process, which
// draws a window itself.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" const char* __tsan_default_suppressions() { return "race:libfontconfig.so\n"; }

namespace corvella::testing {
namespace {

class HostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CORVELLA_REQUIRE_DISPLAY(display_);
    // ctest may give this process a pipe as standard input; the view
    // controller would take it as a UI link. This test drives the messenger
    // directly.
    const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(null_input, 0);
    ASSERT_EQ(dup2(null_input, STDIN_FILENO), STDIN_FILENO);
    close(null_input);
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "cannot open " << display_.name();
    delegate_ = std::make_unique<AppDelegate>();
    windows_ = FlutterLoadInterface(kFlutterMainInterfaceResource);
    ASSERT_EQ(windows_.size(), 1u);
    window_ = windows_.front().get();
    controller_ = window_->contentViewController();
    ASSERT_NE(controller_, nullptr) << "awakeFromNib gave the window no view controller";
  }

  // Sends a call on the controller's messenger and returns the answers given
  // before the main loop has run.
  std::vector<std::string> Call(const std::string& channel, const std::string& method) {
    auto answers = std::make_shared<std::vector<std::string>>();
    controller_->binaryMessenger().deliver(
        channel, StandardMethodCodec::EncodeMethodCall(FlutterMethodCall(method, {})),
        [answers](std::vector<uint8_t> reply) {
          std::optional<FlutterResultValue> answer = StandardMethodCodec::DecodeEnvelope(reply);
          answers->push_back(answer ? ToJson(*answer) : "<undecodable>");
        });
    return *answers;
  }

  VirtualDisplay display_;
  std::unique_ptr<AppDelegate> delegate_;
  std::vector<std::unique_ptr<HostWindow>> windows_;
  HostWindow* window_ = nullptr;
  FlutterViewController* controller_ = nullptr;
};

TEST_F(HostWindowTest, RegistryIsAskedForTheTwelveKeysInOrderThenForThePrinterPlugin) {
  const std::vector<std::string> expected = {
      "AudioplayersDarwinPlugin", "ConnectivityPlusPlugin",  "DesktopWebviewWindowPlugin",
      "FilePickerPlugin",         "FlutterLiteCameraPlugin", "MobileScannerPlugin",
      "OpenFilePlugin",           "PathProviderPlugin",      "RecordMacOsPlugin",
      "SharedPreferencesPlugin",  "SqflitePlugin",           "Sqlite3FlutterLibsPlugin",
      "ZebraPrinterPlugin"};
  EXPECT_EQ(controller_->requestedPluginKeys(), expected);
}

TEST_F(HostWindowTest, LinkedComponentReceivesTheRegistrarOfItsOwnKey) {
  const TestPluginRecord& record = testPluginRecord();
  EXPECT_EQ(record.registrations, 1);
  EXPECT_EQ(record.key, kTestPluginKey);
  EXPECT_EQ(record.registrar, controller_->registrarForPlugin(kTestPluginKey).get());
  // Its channel is on the messenger that the view controller owns.
  EXPECT_EQ(Call(kTestChannel, "registrarKey"),
            std::vector<std::string>{"\"" + std::string(kTestPluginKey) + "\""});
}

TEST_F(HostWindowTest, PrinterChannelAnswersAsSoonAsTheWindowIsLoaded) {
  // No main-loop iteration has happened since awakeFromNib.
  EXPECT_EQ(Call("zebra_printer_channel", "initialize"), std::vector<std::string>{"true"});
  EXPECT_EQ(Call("zebra_printer_channel", "getPrinterStatus"),
            std::vector<std::string>{"{\"connected\":false}"});
}

TEST_F(HostWindowTest, WindowKeepsTheSizeOfTheInterfaceDescriptionThoughTheViewAsksForMore) {
  // The size the description gives, read from it independently.
  Glib::RefPtr<Gtk::Builder> builder =
      Gtk::Builder::create_from_resource(kFlutterMainInterfaceResource);
  Gtk::Window* described = nullptr;
  builder->get_widget("MainFlutterWindow", described);
  ASSERT_NE(described, nullptr);
  int width = 0;
  int height = 0;
  described->get_default_size(width, height);
  delete described;
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);

  // The view would make the window larger.
  int minimum = 0;
  int natural_width = 0;
  int natural_height = 0;
  controller_->view().get_preferred_width(minimum, natural_width);
  controller_->view().get_preferred_height(minimum, natural_height);
  ASSERT_GT(natural_width, width);
  ASSERT_GT(natural_height, height);

  EXPECT_EQ(window_->frame().width, width);
  EXPECT_EQ(window_->frame().height, height);

  // Shown and laid out on the display, the window still has that size.
  bool mapped = false;
  window_->signal_map_event().connect([&mapped](GdkEventAny*) {
    mapped = true;
    return false;
  });
  window_->show();
  const gint64 deadline = g_get_monotonic_time() + 10 * G_TIME_SPAN_SECOND;
  while (!mapped && g_get_monotonic_time() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  ASSERT_TRUE(mapped) << "the window was never mapped";
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_EQ(window_->get_allocated_width(), width);
  EXPECT_EQ(window_->get_allocated_height(), height);
  Glib::RefPtr<Gdk::Window> surface = window_->get_window();
  ASSERT_TRUE(surface);
  EXPECT_EQ(surface->get_width(), width);
  EXPECT_EQ(surface->get_height(), height);
}

}  // namespace
}  // namespace corvella::testing
