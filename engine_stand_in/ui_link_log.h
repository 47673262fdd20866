#pragma once

#include <glib.h>

#include <string>

// The UI link's one way of logging: one warning line on standard error,
// "UI link: WHAT". `what` is written literally, never as a format.
inline void UiLinkWarning(const std::string& what) { g_warning("UI link: %s", what.c_str()); }
