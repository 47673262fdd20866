#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

// The main window, built from the application's interface description
// (main_window.ui, compiled in).
G_DECLARE_FINAL_TYPE(MainFlutterWindow, main_flutter_window, CORVELLA, MAIN_FLUTTER_WINDOW,
                     GtkApplicationWindow)

// Builds the window for @application and runs its awakeFromNib, which hands
// @dart_entrypoint_arguments (NULL-terminated; NULL for none) to the user
// interface.
MainFlutterWindow* main_flutter_window_new(GtkApplication* application,
                                           gchar** dart_entrypoint_arguments);

// awakeFromNib: makes the engine's view the window's content while keeping
// the size the description gave the window (and forcing no position), then
// registers the generated plug-ins and last the printer plug-in, all before
// the main loop can deliver the user interface's first message.
void main_flutter_window_awake_from_nib(MainFlutterWindow* self, gchar** dart_entrypoint_arguments);

G_END_DECLS
