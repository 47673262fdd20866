#pragma once

#include <gtkmm.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/binary_messenger.h"
#include "engine/flutter_view.h"
#include "engine/plugin_registrar.h"
#include "engine/ui_link.h"

// Holds the messenger so that it exists before the registry base that points
// at it (base classes are built in order of declaration).
struct FlutterViewControllerMessenger {
  BinaryMessenger owned_messenger_;
};

// The engine's view controller: the plug-in registry of the application, the
// owner of the binary messenger that every registrar hands out, and of the
// engine's view, which a window shows as its content.
//
// When standard input is a pipe or a socket as the first view controller is
// made, the controller connects its messenger to a user interface in another
// process over standard input and output (see UiLink). When that link's
// input ends, the controller closes the window that shows its view once every
// message received has been answered. Main thread only.
class FlutterViewController : private FlutterViewControllerMessenger, public FlutterPluginRegistry {
 public:
  FlutterViewController();
  // Finishes the UI link first: nothing received is left unanswered.
  ~FlutterViewController() override;

  BinaryMessenger& binaryMessenger() { return owned_messenger_; }
  Gtk::Widget& view() { return *view_; }

  // One registrar per key, kept for the controller's lifetime. Records every
  // key asked for, in order, repeats included.
  std::shared_ptr<FlutterPluginRegistrar> registrarForPlugin(const std::string& key) override;
  const std::vector<std::string>& requestedPluginKeys() const { return requested_keys_; }

  bool hasUiLink() const { return link_ != nullptr; }

  // Ends the UI link as UiLink::finish does; for an owner that is about to
  // go away. Does nothing without a link.
  void finishUiLink();

 private:
  void CloseWindow();

  std::unique_ptr<FlutterView> view_;
  std::vector<std::string> requested_keys_;
  std::unique_ptr<UiLink> link_;
};
