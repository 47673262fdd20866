#pragma once

// The host's exit status when no display can be opened (EX_UNAVAILABLE), so
// that a program that runs the host can tell this case from others.
inline constexpr int kFlutterExitNoDisplay = 69;
