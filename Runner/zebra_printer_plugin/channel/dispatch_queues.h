#pragma once

#include <functional>

namespace corvella {

// The two places the plug-in puts work off to.

// The main queue: `work` runs on the main thread (the GLib default main
// context that GTK runs), after the code running there now has returned,
// one item at a time, in the order queued. Safe from any thread.
void RunOnMainThread(std::function<void()> work);

// The shared background queue: `work` runs soon on a thread of one
// process-wide GLib thread pool (not exclusive, room for kBackgroundThreads
// items at once), possibly at the same time as other items; items are never
// serialised behind one another while there is room.
inline constexpr int kBackgroundThreads = 64;
void RunInBackground(std::function<void()> work);

}  // namespace corvella
