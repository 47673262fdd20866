#pragma once

#include <functional>
#include <string_view>

namespace corvella {

// The host's system log. Each message becomes one line on standard error,
// "YYYY-MM-DD HH:MM:SS.mmm corvella[PID:TID] MESSAGE", and one syslog(3)
// entry. The message is written literally: a "%" in it is never a format
// directive. Safe to call from any thread.
void Log(std::string_view message);

// Observers see every message passed to Log, on the logging thread. Tests use
// this to read what was logged; production code never installs one.
using LogObserver = std::function<void(std::string_view message)>;
int AddLogObserver(LogObserver observer);
void RemoveLogObserver(int id);

}  // namespace corvella
