#pragma once

// What the engine stand-in offers beyond the app engine's own interface, for
// this project's tests and tools alone: they play the user interface against
// an engine in the same process. Nothing an app takes may include this; the
// app engine has no such functions.

#include <flutter_linux/flutter_linux.h>

#include <functional>
#include <string>
#include <vector>

// Receives the reply to one dispatched message, on the main thread: the
// encoded answer, or no bytes for "no handler" and not-implemented.
using StandInReply = std::function<void(GBytes* reply)>;

// Delivers @message to the handler of @channel as the user interface would
// send it. @reply runs exactly once: when the handler answers, at once when
// the channel has no handler, and with no bytes (and a log line) when the
// last reference to the message's response handle goes unanswered. Main
// thread (the thread that made the engine) only.
void stand_in_engine_dispatch_message(FlEngine* engine, const gchar* channel, GBytes* message,
                                      StandInReply reply);

// Every plug-in name the registry was asked for, in order, repeats included.
std::vector<std::string> stand_in_engine_get_requested_plugin_keys(FlEngine* engine);
