#pragma once

#include <gtkmm.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class FlutterAppDelegate;
class HostWindow;

// The application's classes by name, as the framework finds them when it
// starts the application: the one application delegate class, and the
// window classes that the interface description names (a window object's
// id is its class name). Classes add themselves while the program loads.
class FlutterClassRegistry {
 public:
  using AppDelegateFactory = std::function<std::unique_ptr<FlutterAppDelegate>()>;
  // Creates the window object `id` of `builder` as an instance of the class.
  using WindowFactory =
      std::function<HostWindow*(const Glib::RefPtr<Gtk::Builder>& builder, const std::string& id)>;

  static FlutterClassRegistry& shared();

  // Both return true, so that a namespace-scope constant can hold the result.
  bool addAppDelegateClass(std::string name, AppDelegateFactory factory);
  bool addWindowClass(std::string name, WindowFactory factory);
  // For a HostWindow subclass with the framework's initialiser.
  template <class Window>
  bool addWindowClass(std::string name) {
    return addWindowClass(
        std::move(name),
        [](const Glib::RefPtr<Gtk::Builder>& builder, const std::string& id) -> HostWindow* {
          Window* window = nullptr;
          builder->get_widget_derived(id, window);
          return window;
        });
  }

  // The application delegate; nullptr (with a log line) unless exactly one
  // delegate class was added.
  std::unique_ptr<FlutterAppDelegate> createAppDelegate() const;

  // Names of the window classes in the order they were added.
  std::vector<std::string> windowClassNames() const;
  // nullptr when `name` is not a window class or the builder has no such
  // window.
  HostWindow* createWindow(const std::string& name,
                           const Glib::RefPtr<Gtk::Builder>& builder) const;

 private:
  FlutterClassRegistry() = default;

  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, AppDelegateFactory>> delegates_;
  std::vector<std::pair<std::string, WindowFactory>> windows_;
};
