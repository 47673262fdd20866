// The host taken into an app project made from the engine's Linux app
// template, exactly as the README tells an app developer to: the template's
// runner files replaced by Runner/, nothing else changed. The engine's tool
// is played by this test (the engine library, headers and data in
// flutter/ephemeral/, the registrant and plug-in list regenerated for the
// app's plug-ins); the app is built with clang and the template's -Wall
// -Werror, installed into its bundle as the tool does, and run.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "test_print_system/file_util.h"
#include "test_print_system/scratch_directory.h"
#include "tests/host/host_process.h"
#include "tests/host/virtual_display.h"
#include "tests/host/window_client.h"
#include "tests/support/program_run.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = CORVELLA_SOURCE_DIR;
const fs::path kTemplateDir = kSourceDir / "tests/app_project/template";
const fs::path kProbePluginDir = kSourceDir / "tests/app_project/probe_plugin";

// A Linux plug-in package of the app, NAME: its class (the registrar key)
// is given by the package, its header is NAME/NAME.h and its entry
// NAME_register_with_registrar, as the engine's plug-in template makes them.
struct AppPlugin {
  std::string package;
  std::string plugin_class;
};

const AppPlugin kProbePlugin = {"probe_plugin", "ProbePlugin"};

bool Write(const fs::path& path, const std::string& text) { return WriteFile(path.string(), text); }

// What the engine's tool does before every build of an app project: it
// places the engine (library, public headers, data) and the app's assets,
// links each plug-in package under ephemeral/.plugin_symlinks, and rewrites
// the registrant and the plug-in list for the app's plug-ins.
::testing::AssertionResult RunEngineTool(const fs::path& project,
                                         const std::vector<AppPlugin>& plugins) {
  const fs::path flutter = project / "linux/flutter";
  const fs::path ephemeral = flutter / "ephemeral";
  std::error_code error;
  fs::remove_all(ephemeral, error);
  fs::create_directories(ephemeral / "flutter_linux", error);
  fs::create_directories(ephemeral / ".plugin_symlinks", error);
  fs::create_directories(project / "build/flutter_assets", error);
  fs::copy(kSourceDir / "engine_stand_in/include/flutter_linux", ephemeral / "flutter_linux",
           fs::copy_options::recursive, error);
  if (error) return ::testing::AssertionFailure() << "headers: " << error.message();
  fs::copy_file(CORVELLA_ENGINE_LIBRARY, ephemeral / "libflutter_linux_gtk.so",
                fs::copy_options::overwrite_existing, error);
  if (error) return ::testing::AssertionFailure() << "engine library: " << error.message();

  std::string includes, registrations, plugin_list;
  for (const AppPlugin& plugin : plugins) {
    fs::create_directory_symlink(kProbePluginDir, ephemeral / ".plugin_symlinks" / plugin.package,
                                 error);
    includes += "#include <" + plugin.package + "/" + plugin.package + ".h>\n";
    registrations += "  g_autoptr(FlPluginRegistrar) " + plugin.package +
                     "_registrar =\n"
                     "      fl_plugin_registry_get_registrar_for_plugin(registry, \"" +
                     plugin.plugin_class + "\");\n  " + plugin.package +
                     "_register_with_registrar(" + plugin.package + "_registrar);\n";
    plugin_list += "  " + plugin.package + "\n";
  }
  const bool written =
      Write(ephemeral / "generated_config.cmake",
            "file(TO_CMAKE_PATH \"" + project.string() + "\" PROJECT_DIR)\n") &&
      Write(ephemeral / "icudtl.dat", "") &&
      Write(flutter / "generated_plugin_registrant.h",
            "#ifndef GENERATED_PLUGIN_REGISTRANT_\n#define GENERATED_PLUGIN_REGISTRANT_\n\n"
            "#include <flutter_linux/flutter_linux.h>\n\n"
            "void fl_register_plugins(FlPluginRegistry* registry);\n\n#endif\n") &&
      Write(flutter / "generated_plugin_registrant.cc",
            "#include \"generated_plugin_registrant.h\"\n\n" + includes +
                "\nvoid fl_register_plugins(FlPluginRegistry* registry) {\n" + registrations +
                "}\n") &&
      Write(flutter / "generated_plugins.cmake",
            "list(APPEND FLUTTER_PLUGIN_LIST\n" + plugin_list +
                ")\n\nset(PLUGIN_BUNDLED_LIBRARIES)\n\n"
                "foreach(plugin ${FLUTTER_PLUGIN_LIST})\n"
                "  add_subdirectory(flutter/ephemeral/.plugin_symlinks/${plugin}/linux "
                "plugins/${plugin})\n"
                "  target_link_libraries(${BINARY_NAME} PRIVATE ${plugin}_plugin)\n"
                "  list(APPEND PLUGIN_BUNDLED_LIBRARIES $<TARGET_FILE:${plugin}_plugin>)\n"
                "  list(APPEND PLUGIN_BUNDLED_LIBRARIES ${${plugin}_bundled_libraries})\n"
                "endforeach(plugin)\n");
  if (error || !written) return ::testing::AssertionFailure() << "cannot write the tool's files";
  return ::testing::AssertionSuccess();
}

// The README's recipe: the template runner's own sources go, and Runner/,
// with its folders, goes into linux/runner/, replacing what has the same
// name.
::testing::AssertionResult TakeInTheHost(const fs::path& project) {
  const fs::path runner = project / "linux/runner";
  std::error_code error;
  for (const char* name : {"main.cc", "my_application.cc", "my_application.h"}) {
    fs::remove(runner / name, error);
  }
  fs::copy(kSourceDir / "Runner", runner,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
  if (error) return ::testing::AssertionFailure() << "copying Runner/: " << error.message();
  return ::testing::AssertionSuccess();
}

// Configures, builds and installs the app into its bundle, as the engine's
// tool does; on failure, the tail of what the build printed.
::testing::AssertionResult BuildAndInstall(const fs::path& project) {
  const std::string build = "'" + (project / "build/linux/x64/debug").string() + "'";
  const std::string script = "cd '" + project.string() + "' && { cmake -G Ninja -S linux -B " +
                             build + " -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++" +
                             " -DCMAKE_INSTALL_PREFIX=" + build + "/bundle && cmake --build " +
                             build + " && cmake --install " + build + "; } 2>&1";
  const ProgramRun run = RunProgram({"/bin/sh", "-c", script});
  if (run.exitCode() == 0) return ::testing::AssertionSuccess();
  std::string text = run.output + run.errors;
  if (text.size() > 6000) text = "..." + text.substr(text.size() - 6000);
  return ::testing::AssertionFailure() << "the build failed:\n" << text;
}

TEST(AppProjectTest, HostBuildsUnchangedAndRegistersTheAppsPluginsBeforeThePrinterPlugin) {
  ScratchDirectory scratch;
  std::string error;
  ASSERT_TRUE(scratch.create("app-project", error)) << error;
  const fs::path project = scratch.path();
  // The app project as the template creates it; the runner's own files are
  // stand-ins that cannot build, so a recipe that leaves one in use fails.
  std::error_code copy_error;
  fs::copy(kTemplateDir, project, fs::copy_options::recursive, copy_error);
  ASSERT_FALSE(copy_error) << copy_error.message();
  fs::create_directory(project / "linux/runner");
  for (const char* name : {"CMakeLists.txt", "main.cc", "my_application.cc", "my_application.h"}) {
    ASSERT_TRUE(Write(project / "linux/runner" / name, "#error the template's runner file\n"));
  }
  ASSERT_TRUE(TakeInTheHost(project));

  // An app without Linux plug-ins, then the same app after a plug-in was
  // added: the tool rewrites its files and the build goes on from there.
  ASSERT_TRUE(RunEngineTool(project, {}));
  ASSERT_TRUE(BuildAndInstall(project));
  ASSERT_TRUE(RunEngineTool(project, {kProbePlugin}));
  ASSERT_TRUE(BuildAndInstall(project));

  VirtualDisplay display;
  CORVELLA_REQUIRE_DISPLAY(display);
  HostProcess app((project / "build/linux/x64/debug/bundle/corvella_probe_app").string());
  ASSERT_TRUE(app.started());
  ASSERT_TRUE(
      app.write(Joined({PrinterCallFrame(1, "initialize"), PrinterCallFrame(2, "getPrinterStatus"),
                        CallFrame(3, "probe_channel", "applicationId")})));
  std::vector<UiLinkReply> replies = app.readReplies(3);
  ASSERT_EQ(replies.size(), 3u) << app.errorOutput();
  // The application id is the one the app's CMakeLists.txt sets.
  EXPECT_EQ(AnswerJson(replies[2]), "\"com.example.corvella_probe_app\"");
  // The plug-in took the printer channel when it was registered; the
  // printer plug-in, registered after it, took it back.
  EXPECT_EQ(AnswerJson(replies[0]), "true");
  EXPECT_EQ(AnswerJson(replies[1]), "{\"connected\":false}");
  EXPECT_NE(app.errorOutput().find("probe_plugin: registered\n"), std::string::npos)
      << app.errorOutput();

  WindowClient client(display.name());
  ASSERT_TRUE(client.connected());
  std::optional<WindowClient::WindowId> window =
      client.findWindow(app.pid(), std::chrono::seconds(20));
  ASSERT_TRUE(window.has_value()) << app.errorOutput();
  int width = 0;
  int height = 0;
  ASSERT_TRUE(client.size(*window, width, height));
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 600);
  EXPECT_EQ(client.title(*window), "Corvella");
  EXPECT_EQ(app.errorOutput().find("CRITICAL"), std::string::npos) << app.errorOutput();
  client.close(*window);
  app.expectCleanExit();
}

}  // namespace
}  // namespace corvella::testing
