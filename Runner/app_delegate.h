#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

// The application: a GtkApplication that is not unique (several hosts run
// side by side). Every argument after the program name goes to the user
// interface as its entrypoint arguments, and the application starts with
// its main window whatever they are. Closing the last window ends it.
G_DECLARE_FINAL_TYPE(AppDelegate, app_delegate, CORVELLA, APP_DELEGATE, GtkApplication)

AppDelegate* app_delegate_new();

// The arguments the application was started with, after the program name
// (NULL-terminated; empty when there were none).
gchar** app_delegate_get_dart_entrypoint_arguments(AppDelegate* self);

G_END_DECLS
