#pragma once

#include <flutter_linux/flutter_linux.h>
#include <stand_in/engine_hooks.h>

#include <functional>
#include <string>
#include <vector>

// Stand-in internals of FlEngine, for the view and the UI link. What tests
// and tools may use is in <stand_in/engine_hooks.h>.

// An engine whose main thread is the calling thread.
FlEngine* fl_engine_new(FlDartProject* project);

// The view that registrars name (weak; NULL for none).
void fl_engine_set_view(FlEngine* engine, FlView* view);

// Connects the engine's channels to a user interface in another process over
// standard input and output, when standard input is a pipe or a socket (see
// UiLink). @on_input_finished runs on the main thread once the input has
// ended (the user interface has gone).
void fl_engine_start_ui_link(FlEngine* engine, std::function<void()> on_input_finished);
// Stops reading; every message received is still answered and its reply
// written, with the engine and the default application kept until then
// (without running the main loop here). @on_input_finished no longer runs.
// Does nothing without a link.
void fl_engine_close_ui_link(FlEngine* engine);

// Returns: (transfer full): a registrar on @engine's messenger and @view.
FlPluginRegistrar* fl_engine_registrar_new(FlEngine* engine, FlView* view);
