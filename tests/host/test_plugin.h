#pragma once

namespace corvella::testing {

// A test double for one component of the generated plug-in list: linked
// into a program, it takes that row's registration entry (the row of
// kTestPluginKey) and installs a call handler on kTestChannel:
//   "registrarKey"    -> kTestPluginKey (text)
//   "afterMainQueue"  -> true, from a main-queue work item after the handler
//                        has returned
//   "afterBackground" -> true, once a background work item has slept for the
//                        "milliseconds" argument (int) and posted its answer
inline constexpr const char* kTestPluginKey = "OpenFilePlugin";
inline constexpr const char* kTestChannel = "corvella_test_channel";

// How often the row's registration entry ran in this process.
int testPluginRegistrations();

}  // namespace corvella::testing
