#pragma once

#include <flutter_linux/flutter_linux.h>

#include <functional>
#include <string>
#include <vector>

// Stand-in internals of FlEngine, for the view, the UI link, the tools and
// the tests. Not part of the app engine's public interface.

// Receives the reply to one dispatched message, on the main thread: the
// encoded answer, or no bytes for "no handler" and not-implemented.
using FlEngineReply = std::function<void(GBytes* reply)>;

// An engine whose main thread is the calling thread.
FlEngine* fl_engine_new(FlDartProject* project);

// The view that registrars name (weak; NULL for none).
void fl_engine_set_view(FlEngine* engine, FlView* view);

// Delivers @message to the handler of @channel as the user interface would
// send it. @reply runs exactly once: when the handler answers, at once when
// the channel has no handler, and with no bytes (and a log line) when the
// last reference to the message's response handle goes unanswered.
void fl_engine_dispatch_message(FlEngine* engine, const gchar* channel, GBytes* message,
                                FlEngineReply reply);

// Every plug-in name the registry was asked for, in order, repeats included.
std::vector<std::string> fl_engine_get_requested_plugin_keys(FlEngine* engine);

// Connects the engine's channels to a user interface in another process over
// standard input and output, when standard input is a pipe or a socket (see
// UiLink). @on_input_finished runs on the main thread once the input has
// ended and every message received has been answered and written.
void fl_engine_start_ui_link(FlEngine* engine, std::function<void()> on_input_finished);
// Stops reading, answers every message received (running the main context
// until then) and writes the replies. Does nothing without a link.
void fl_engine_finish_ui_link(FlEngine* engine);

// Runs @work on the main thread, after what runs there now, in the order
// posted. Safe from any thread.
void fl_engine_post_to_main_thread(std::function<void()> work);

// Returns: (transfer full): a registrar on @engine's messenger and @view.
FlPluginRegistrar* fl_engine_registrar_new(FlEngine* engine, FlView* view);
