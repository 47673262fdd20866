#pragma once

#include <string>
#include <string_view>

namespace corvella {

// How the host's own code reports failure. An operation that can fail
// returns its result as std::optional<T>, or bool when it has nothing else to
// return, and on failure sets the caller's `std::string& reason` to one
// sentence that names what failed and why ("cannot create /tmp/x: Permission
// denied"). Nothing is thrown, and nothing keeps a failure for later: the
// caller learns of it from the call that failed.
//
// The operations of the print-system contract turn such a reason into the
// values and log lines that their callers expect: runShellOut gives no text,
// the status operations give -1, submitZplToPrinter gives false, and each
// logs where its contract says so.

// The text of a POSIX error number ("No such file or directory"), safe to
// call from any thread.
std::string PosixErrorText(int error);

// "`what`: <the text of `error`>", the reason for a failed system call.
std::string PosixFailure(std::string_view what, int error);

}  // namespace corvella
