// The start-up of the main window inside this process: the application
// registered and the window built from its description, with the engine's
// view and the plug-ins, as the application's activation does.
#include <fcntl.h>
#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stand_in/engine_hooks.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "Runner/app_delegate.h"
#include "Runner/main_flutter_window.h"
#include "tests/host/test_plugin.h"
#include "tests/host/virtual_display.h"
#include "tools/json_values.h"

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
    // ctest may give this process a pipe as standard input; the view would
    // take it as a UI link. This test drives the engine directly.
    const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(null_input, 0);
    ASSERT_EQ(dup2(null_input, STDIN_FILENO), STDIN_FILENO);
    close(null_input);
    app_ = app_delegate_new();
    ASSERT_TRUE(g_application_register(G_APPLICATION(app_), nullptr, nullptr))
        << "cannot start the application on " << display_.name();
    window_ = main_flutter_window_new(GTK_APPLICATION(app_), nullptr);
    ASSERT_NE(window_, nullptr);
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(window_));
    ASSERT_TRUE(child != nullptr && FL_IS_VIEW(child)) << "the built window has no view";
    view_ = FL_VIEW(child);
  }

  void TearDown() override {
    if (window_ != nullptr) gtk_widget_destroy(GTK_WIDGET(window_));
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_clear_object(&app_);
  }

  // Sends a call to the view's engine and returns the answers given before
  // the main loop has run.
  std::vector<std::string> Call(const std::string& channel, const std::string& method) {
    auto answers = std::make_shared<std::vector<std::string>>();
    const std::vector<uint8_t> message = EncodeMethodCall(method, nullptr);
    g_autoptr(GBytes) bytes = g_bytes_new(message.data(), message.size());
    stand_in_engine_dispatch_message(
        fl_view_get_engine(view_), channel.c_str(), bytes, [answers](GBytes* reply) {
          gsize size = 0;
          const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(reply, &size));
          g_autoptr(FlMethodResponse) answer = DecodeReply({data, data + size});
          answers->push_back(answer != nullptr ? ToJson(answer) : "<undecodable>");
        });
    return *answers;
  }

  VirtualDisplay display_;
  AppDelegate* app_ = nullptr;
  MainFlutterWindow* window_ = nullptr;
  FlView* view_ = nullptr;
};

TEST_F(HostWindowTest, RegistryIsAskedForTheTwelveKeysInOrderThenForThePrinterPlugin) {
  const std::vector<std::string> expected = {
      "AudioplayersDarwinPlugin", "ConnectivityPlusPlugin",  "DesktopWebviewWindowPlugin",
      "FilePickerPlugin",         "FlutterLiteCameraPlugin", "MobileScannerPlugin",
      "OpenFilePlugin",           "PathProviderPlugin",      "RecordMacOsPlugin",
      "SharedPreferencesPlugin",  "SqflitePlugin",           "Sqlite3FlutterLibsPlugin",
      "ZebraPrinterPlugin"};
  EXPECT_EQ(stand_in_engine_get_requested_plugin_keys(fl_view_get_engine(view_)), expected);
}

TEST_F(HostWindowTest, ApplicationHasItsIdAndIsNotUnique) {
  EXPECT_STREQ(g_application_get_application_id(G_APPLICATION(app_)), "com.corvella.desktop");
  EXPECT_TRUE(g_application_get_flags(G_APPLICATION(app_)) & G_APPLICATION_NON_UNIQUE);
}

TEST_F(HostWindowTest, StartsWithNoArgumentsAtAllNotEvenTheProgramName) {
  g_autoptr(AppDelegate) app = app_delegate_new();
  // An empty argument vector; what lies after its end must not be read.
  gchar beyond[] = "beyond the vector";
  gchar* storage[] = {nullptr, beyond, nullptr};
  gchar** arguments = storage;
  int status = -1;
  ASSERT_TRUE(
      G_APPLICATION_GET_CLASS(app)->local_command_line(G_APPLICATION(app), &arguments, &status));
  EXPECT_EQ(status, 0);
  gchar** entrypoint_arguments = app_delegate_get_dart_entrypoint_arguments(app);
  ASSERT_NE(entrypoint_arguments, nullptr);
  EXPECT_EQ(g_strv_length(entrypoint_arguments), 0u);
  while (GList* windows = gtk_application_get_windows(GTK_APPLICATION(app))) {
    gtk_widget_destroy(GTK_WIDGET(windows->data));
  }
}

TEST_F(HostWindowTest, LinkedComponentIsRegisteredOnceOnTheViewsMessenger) {
  EXPECT_EQ(testPluginRegistrations(), 1);
  EXPECT_EQ(Call(kTestChannel, "registrarKey"),
            std::vector<std::string>{"\"" + std::string(kTestPluginKey) + "\""});
}

TEST_F(HostWindowTest, PrinterChannelAnswersAsSoonAsTheWindowIsBuilt) {
  // No main-loop iteration has happened since the window was built.
  EXPECT_EQ(Call("zebra_printer_channel", "initialize"), std::vector<std::string>{"true"});
  EXPECT_EQ(Call("zebra_printer_channel", "getPrinterStatus"),
            std::vector<std::string>{"{\"connected\":false}"});
}

}  // namespace
}  // namespace corvella::testing
