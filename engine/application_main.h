#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/exit_status.h"
#include "engine/host_window.h"

// Where the framework finds the application's main interface description: a
// GtkBuilder file compiled into the program as a GResource.
inline constexpr const char* kFlutterMainInterfaceResource = "/application/main_window.ui";

// The windowing framework's application main. Opens the display (the
// framework takes its own options, such as --display, from the arguments),
// creates the application delegate, loads the main interface description
// when the application starts up, shows its windows and runs the main loop
// until the application ends. Before returning it lets the windows' view
// controllers answer everything they have received and waits for work in
// flight. Returns the application's exit status: 0 after the last window
// closed, kFlutterExitNoDisplay without a display, 1 when the application
// cannot start.
int FlutterApplicationMain(int argc, char** argv);

// Loads the interface description at `resource_path` and creates each
// window it holds whose id names a registered window class, as that class,
// then calls awakeFromNib on each. An empty result (with a log line) when the
// description cannot be loaded.
std::vector<std::unique_ptr<HostWindow>> FlutterLoadInterface(const std::string& resource_path);
