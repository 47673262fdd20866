#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

// The main window, built from the application's interface description
// (main_window.ui, compiled in). Once built, it makes the engine's view its
// content, keeping the size the description gave it (and forcing no
// position), then registers the generated plug-ins and last the printer
// plug-in, all before the main loop can deliver the user interface's first
// message.
G_DECLARE_FINAL_TYPE(MainFlutterWindow, main_flutter_window, CORVELLA, MAIN_FLUTTER_WINDOW,
                     GtkApplicationWindow)

// The window of @application, whose user interface gets
// @dart_entrypoint_arguments (NULL-terminated; NULL for none).
MainFlutterWindow* main_flutter_window_new(GtkApplication* application,
                                           gchar** dart_entrypoint_arguments);

G_END_DECLS
