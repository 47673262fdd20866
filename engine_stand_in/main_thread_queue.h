#pragma once

#include <functional>

// The stand-in's queue of work for the main thread (the GLib default main
// context that GTK runs): `work` runs there after what runs there now, one
// item at a time, in the order posted. Safe from any thread. The engine,
// method calls and the UI link post their work here.
void PostToMainThread(std::function<void()> work);

// Runs `work` on the main thread once `delay_ms` milliseconds have passed.
void PostToMainThreadAfter(unsigned delay_ms, std::function<void()> work);
