#pragma once

#include <glib.h>

#include <cstddef>
#include <optional>
#include <string>

namespace corvella {

// What every command-line tool of this tree shares, so that the same mistake
// gets the same words and the same exit status from each of them.

// The version each tool reports with --version, as "TOOL VERSION".
inline constexpr const char* kToolsVersion = "1.0.0";

// Exit status of a usage error, for every tool.
inline constexpr int kExitUsage = 2;

// Prints "TOOL: MESSAGE" and "Try 'TOOL --help'." on standard error and
// returns kExitUsage.
int UsageError(const char* tool, const std::string& message);

// Prints "TOOL VERSION" on standard output.
void PrintVersion(const char* tool);

// For an option callback that refuses its value: sets `error` to
// "OPTION: 'VALUE' is not WHAT" and returns FALSE, as the callback returns.
gboolean BadOptionValue(GError** error, const gchar* option, const gchar* value, const char* what);

// Parses `entries` (their callbacks get `data`) out of argc/argv, leaving
// the other arguments in them; `parameters` and `description` go into the
// help. -h or --help before any "--" is answered on standard output, and
// the process exits with status 0. An exit status when the tool is to stop
// here: kExitUsage after a usage error (said as UsageError says it), 0 once
// `version` is set (the version printed); nothing when it goes on.
std::optional<int> ParseToolOptions(const char* tool, const char* parameters,
                                    const char* description, const GOptionEntry* entries,
                                    gpointer data, const gboolean& version, int& argc,
                                    char**& argv);

// The whole of the file at `path` ("-": standard input), at most `max_bytes`.
// std::nullopt with `reason` naming the file and why ("cannot read PATH: Is a
// directory", "PATH is larger than 64 MiB").
std::optional<std::string> ReadInputFile(const std::string& path, size_t max_bytes,
                                         std::string& reason);

}  // namespace corvella
