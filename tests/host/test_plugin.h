#pragma once

#include <string>

#include "engine/plugin_registrar.h"

namespace corvella::testing {

// A test double for one component of the generated plug-in list: linked
// into a program, it takes that row's registration entry (the row of
// kTestPluginKey), records the registrar it is given and installs a call
// delegate on kTestChannel:
//   "registrarKey"    -> the key of the registrar it received (text)
//   "afterMainQueue"  -> true, from a main-queue work item after the handler
//                        has returned
//   "afterBackground" -> true, once a background work item has slept for the
//                        "milliseconds" argument (int) and posted its answer
inline constexpr const char* kTestPluginKey = "OpenFilePlugin";
inline constexpr const char* kTestChannel = "corvella_test_channel";

struct TestPluginRecord {
  int registrations = 0;
  FlutterPluginRegistrar* registrar = nullptr;
  std::string key;
};

// What the double has seen in this process.
const TestPluginRecord& testPluginRecord();

}  // namespace corvella::testing
