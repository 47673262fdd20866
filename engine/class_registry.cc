#include "engine/class_registry.h"

#include "engine/app_delegate.h"
#include "engine/host_window.h"
#include "engine/log.h"

FlutterClassRegistry& FlutterClassRegistry::shared() {
  static FlutterClassRegistry* registry = new FlutterClassRegistry;
  return *registry;
}

bool FlutterClassRegistry::addAppDelegateClass(std::string name, AppDelegateFactory factory) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegates_.emplace_back(std::move(name), std::move(factory));
  return true;
}

bool FlutterClassRegistry::addWindowClass(std::string name, WindowFactory factory) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.emplace_back(std::move(name), std::move(factory));
  return true;
}

std::unique_ptr<FlutterAppDelegate> FlutterClassRegistry::createAppDelegate() const {
  AppDelegateFactory factory;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (delegates_.size() != 1) {
      Log("The application must have exactly one delegate class; it has " +
          std::to_string(delegates_.size()));
      return nullptr;
    }
    factory = delegates_.front().second;
  }
  return factory();
}

std::vector<std::string> FlutterClassRegistry::windowClassNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> names;
  for (const auto& entry : windows_) names.push_back(entry.first);
  return names;
}

HostWindow* FlutterClassRegistry::createWindow(const std::string& name,
                                               const Glib::RefPtr<Gtk::Builder>& builder) const {
  WindowFactory factory;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : windows_) {
      if (entry.first == name) factory = entry.second;
    }
  }
  // Looked up through the C interface: a C++ wrapper made here would be of
  // the base class and stop the factory from making its own.
  if (!factory || gtk_builder_get_object(builder->gobj(), name.c_str()) == nullptr) return nullptr;
  return factory(builder, name);
}
