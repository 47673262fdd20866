#ifndef FLUTTER_LINUX_FL_VIEW_H_
#define FLUTTER_LINUX_FL_VIEW_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <gtk/gtk.h>

#include "fl_dart_project.h"
#include "fl_engine.h"

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(FlView, fl_view, FL, VIEW, GtkBox)

// A widget that runs @project and shows its user interface. It is also the
// application's plug-in registry (FL_PLUGIN_REGISTRY(view)).
FlView* fl_view_new(FlDartProject* project);

FlEngine* fl_view_get_engine(FlView* view);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_VIEW_H_
