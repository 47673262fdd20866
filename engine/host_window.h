#pragma once

#include <gtkmm.h>

#include <memory>

#include "engine/view_controller.h"

// A window's origin and size, in the windowing system's units.
struct WindowFrame {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool operator==(const WindowFrame&) const = default;
};

// The base of the application's windows. The framework creates them from
// the application's interface description (see FlutterLoadInterface) and
// calls awakeFromNib once each is loaded, before it is shown and before the
// main loop runs. A window owns its content view controller.
class HostWindow : public Gtk::ApplicationWindow {
 public:
  // The initialiser the framework uses when it creates the window from an
  // interface description.
  HostWindow(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);
  ~HostWindow() override;

  // Called once after loading. The base does nothing; subclasses call it
  // last.
  virtual void awakeFromNib();

  WindowFrame frame() const;
  // Moves and resizes the window; `display` also redraws it.
  void setFrame(const WindowFrame& frame, bool display);

  // Makes the controller's view the window's only child and, as a window does
  // when it takes a content view controller, sizes the window to the size
  // the view asks for. The window keeps the controller from here on.
  void setContentViewController(std::unique_ptr<FlutterViewController> controller);
  FlutterViewController* contentViewController() const { return content_.get(); }

 private:
  std::unique_ptr<FlutterViewController> content_;
};
