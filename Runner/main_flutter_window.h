#pragma once

#include <gtkmm.h>

#include "engine/host_window.h"

namespace corvella {

// The main window, created by the framework from the interface description
// (the window object with id "MainFlutterWindow").
class MainFlutterWindow : public HostWindow {
 public:
  // Forwards unchanged to the base initialiser.
  MainFlutterWindow(BaseObjectType* cobject, const Glib::RefPtr<Gtk::Builder>& builder);

  // Makes a new view controller the window's content while keeping the
  // window's frame as it was loaded, registers the generated plug-ins and
  // then the printer plug-in, all before the main loop can deliver the first
  // message.
  void awakeFromNib() override;
};

}  // namespace corvella
