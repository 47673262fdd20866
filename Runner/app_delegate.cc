#include "app_delegate.h"

#include <glib-unix.h>
#include <signal.h>
#include <sysexits.h>

#include <array>

// An app project's runner build defines the application id from the app's
// own settings; a build that defines none gets the host's.
#ifndef APPLICATION_ID
#define APPLICATION_ID "com.corvella.desktop"
#endif

#include "main_flutter_window.h"

struct _AppDelegate {
  GtkApplication parent_instance;
  gchar** dart_entrypoint_arguments;
};

G_DEFINE_TYPE(AppDelegate, app_delegate, GTK_TYPE_APPLICATION)

// SIGTERM, SIGINT and SIGHUP end the application as closing its windows
// does, so that whatever is in flight ends as it would then. A signal that
// finds no window left quits at once.
static gboolean app_delegate_end_by_signal(gpointer user_data) {
  GtkApplication* application = GTK_APPLICATION(user_data);
  GList* windows = gtk_application_get_windows(application);
  if (windows == nullptr) {
    g_application_quit(G_APPLICATION(application));
    return G_SOURCE_CONTINUE;
  }
  // Closing a window removes it from the list: walk a copy.
  g_autoptr(GList) copy = g_list_copy(windows);
  for (GList* item = copy; item != nullptr; item = item->next) {
    gtk_window_close(GTK_WINDOW(item->data));
  }
  return G_SOURCE_CONTINUE;
}

static void app_delegate_startup(GApplication* application) {
  G_APPLICATION_CLASS(app_delegate_parent_class)->startup(application);
  for (const int signal_number : std::array{SIGTERM, SIGINT, SIGHUP}) {
    g_unix_signal_add(signal_number, app_delegate_end_by_signal, application);
  }
}

// Opens the main window. Runs once: the application is not unique, so no
// other instance forwards its activation here.
static void app_delegate_activate(GApplication* application) {
  MainFlutterWindow* window = main_flutter_window_new(
      GTK_APPLICATION(application), CORVELLA_APP_DELEGATE(application)->dart_entrypoint_arguments);
  gtk_widget_show(GTK_WIDGET(window));
}

// The arguments are the user interface's, not GApplication's: they are kept
// for the window and the application is activated, so no argument can make
// it refuse to start or wait for files to open.
static gboolean app_delegate_local_command_line(GApplication* application, gchar*** arguments,
                                                int* exit_status) {
  AppDelegate* self = CORVELLA_APP_DELEGATE(application);
  // Everything after the program name; a process may be started with no
  // arguments at all, not even its name.
  gchar** after_name = (*arguments)[0] != nullptr ? *arguments + 1 : *arguments;
  g_strfreev(self->dart_entrypoint_arguments);
  self->dart_entrypoint_arguments = g_strdupv(after_name);

  // Without a display there is no window to show: say so and end with a
  // status a launcher can tell from others.
  if (!gtk_init_check(nullptr, nullptr)) {
    g_printerr("corvella: cannot open a display (DISPLAY=%s)\n", g_getenv("DISPLAY"));
    *exit_status = EX_UNAVAILABLE;
    return TRUE;
  }
  g_autoptr(GError) error = nullptr;
  if (!g_application_register(application, nullptr, &error)) {
    g_printerr("corvella: cannot register the application: %s\n", error->message);
    *exit_status = 1;
    return TRUE;
  }
  g_application_activate(application);
  *exit_status = 0;
  return TRUE;
}

static void app_delegate_dispose(GObject* object) {
  g_clear_pointer(&CORVELLA_APP_DELEGATE(object)->dart_entrypoint_arguments, g_strfreev);
  G_OBJECT_CLASS(app_delegate_parent_class)->dispose(object);
}

static void app_delegate_class_init(AppDelegateClass* klass) {
  G_APPLICATION_CLASS(klass)->startup = app_delegate_startup;
  G_APPLICATION_CLASS(klass)->activate = app_delegate_activate;
  G_APPLICATION_CLASS(klass)->local_command_line = app_delegate_local_command_line;
  G_OBJECT_CLASS(klass)->dispose = app_delegate_dispose;
}

static void app_delegate_init(AppDelegate*) {}

AppDelegate* app_delegate_new() {
  // Not unique: hosts run side by side, and none makes a bid for
  // single-instance ownership of the id on the session bus.
  return CORVELLA_APP_DELEGATE(g_object_new(app_delegate_get_type(), "application-id",
                                            APPLICATION_ID, "flags", G_APPLICATION_NON_UNIQUE,
                                            nullptr));
}

gchar** app_delegate_get_dart_entrypoint_arguments(AppDelegate* self) {
  g_return_val_if_fail(CORVELLA_IS_APP_DELEGATE(self), nullptr);
  return self->dart_entrypoint_arguments;
}
