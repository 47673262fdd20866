#ifndef FLUTTER_LINUX_FL_DART_PROJECT_H_
#define FLUTTER_LINUX_FL_DART_PROJECT_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib-object.h>

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(FlDartProject, fl_dart_project, FL, DART_PROJECT, GObject)

// The user interface to run, with the engine's defaults.
FlDartProject* fl_dart_project_new();

// The arguments handed to the user interface's entrypoint (copied; NULL for
// none).
void fl_dart_project_set_dart_entrypoint_arguments(FlDartProject* project, char** argv);
gchar** fl_dart_project_get_dart_entrypoint_arguments(FlDartProject* project);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_DART_PROJECT_H_
