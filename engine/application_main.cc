#include "engine/application_main.h"

#include <errno.h>
#include <fcntl.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include "engine/app_delegate.h"
#include "engine/class_registry.h"
#include "engine/log.h"
#include "engine/main_queue.h"

namespace {

// A standard descriptor that is closed at start (a launcher may leave it so)
// reads from or writes to /dev/null instead. Otherwise the first descriptor
// the process opens (the display connection, say) would take its number and
// be mistaken for standard input, or receive what is meant for standard
// output.
void OpenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    int opened = -1;
    do {
      opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    } while (opened < 0 && errno == EINTR);
    // The lowest free number is `fd` itself, as the lower ones are open.
    // Not close-on-exec: child processes inherit the standard descriptors.
    if (opened >= 0 && opened != fd) close(opened);
  }
}

}  // namespace

std::vector<std::unique_ptr<HostWindow>> FlutterLoadInterface(const std::string& resource_path) {
  Glib::RefPtr<Gtk::Builder> builder = Gtk::Builder::create();
  try {
    builder->add_from_resource(resource_path);
  } catch (const Glib::Error& error) {
    Log("Cannot load the interface description " + resource_path + ": " +
        std::string(error.what()));
    return {};
  }
  const FlutterClassRegistry& classes = FlutterClassRegistry::shared();
  std::vector<std::unique_ptr<HostWindow>> windows;
  for (const std::string& name : classes.windowClassNames()) {
    if (HostWindow* window = classes.createWindow(name, builder)) windows.emplace_back(window);
  }
  for (auto& window : windows) window->awakeFromNib();
  return windows;
}

int FlutterApplicationMain(int argc, char** argv) {
  OpenClosedStandardDescriptors();
  if (!gtk_init_check(&argc, &argv)) {
    const char* display = g_getenv("DISPLAY");
    Log(std::string("Cannot open a display (DISPLAY=") + (display != nullptr ? display : "") + ")");
    return kFlutterExitNoDisplay;
  }
  std::unique_ptr<FlutterAppDelegate> delegate = FlutterClassRegistry::shared().createAppDelegate();
  if (!delegate) return 1;
  Glib::RefPtr<Gtk::Application> application = delegate->application();
  Gtk::Application& app = *application.operator->();

  std::vector<std::unique_ptr<HostWindow>> windows;
  bool loaded = false;
  application->signal_startup().connect([&] {
    if (!delegate->applicationShouldTerminateAfterLastWindowClosed(app)) {
      application->hold();
    }
    windows = FlutterLoadInterface(kFlutterMainInterfaceResource);
    loaded = !windows.empty();
    if (!loaded) Log("The interface description holds no application window");
    for (auto& window : windows) application->add_window(*window);
  });
  application->signal_activate().connect([&] {
    for (auto& window : windows) window->present();
  });

  int status = application->run(argc, argv);
  if (status == 0 && !loaded) status = 1;

  // The windows are gone from the screen; what they received still gets its
  // answer before the process ends.
  for (auto& window : windows) {
    if (FlutterViewController* controller = window->contentViewController()) {
      controller->finishUiLink();
    }
  }
  MainQueue::shared().runUntilIdle();
  windows.clear();
  return status;
}
