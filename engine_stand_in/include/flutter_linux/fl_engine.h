#ifndef FLUTTER_LINUX_FL_ENGINE_H_
#define FLUTTER_LINUX_FL_ENGINE_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib-object.h>

#include "fl_binary_messenger.h"
#include "fl_dart_project.h"

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(FlEngine, fl_engine, FL, ENGINE, GObject)

// An engine without a view.
FlEngine* fl_engine_new_headless(FlDartProject* project);

// The messenger on which the engine's channels are made.
FlBinaryMessenger* fl_engine_get_binary_messenger(FlEngine* engine);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_ENGINE_H_
