#pragma once

#include <string>
#include <vector>

#include "tests/support/scratch_directory.h"

namespace corvella::testing {

enum class NamespaceStatus {
  kEntered,       // in a private mount namespace now
  kNotPermitted,  // the machine does not allow it (skip, printing the message)
  kFailed,        // it should have worked (fail, printing the message)
};

struct NamespaceResult {
  NamespaceStatus status = NamespaceStatus::kFailed;
  std::string message;
};

// Replaces CUPS tools such as /usr/bin/lp, /usr/bin/lpr or /usr/bin/lpstat by
// scripts, for end-to-end fault tests, without touching the machine: the
// scripts are bind-mounted inside a private mount namespace of this process
// whose mounts do not propagate out (/ is made recursively private first).
//
// As root this takes CAP_SYS_ADMIN; otherwise a user namespace is made as
// well (the caller keeps its own uid in it). When neither is allowed, the
// result is kNotPermitted; set CORVELLA_REQUIRE_TOOL_OVERRIDE=1 (CI) to turn
// that into kFailed. Typical use, first thing in a test:
//
//   NamespaceResult ns = ToolOverride::EnterPrivateMountNamespace();
//   if (ns.status == NamespaceStatus::kNotPermitted) GTEST_SKIP() << ns.message;
//   ASSERT_EQ(ns.status, NamespaceStatus::kEntered) << ns.message;
//   ToolOverride tools;
//   ASSERT_TRUE(tools.replace("/usr/bin/lpstat", "#!/bin/sh\nexit 1\n")) << tools.error();
//
// Entering must happen while the process has a single thread (each gtest case
// runs as its own process under ctest; enter before starting any thread). It
// lasts for the rest of the process; the replacements last as long as the
// ToolOverride object.
class ToolOverride {
 public:
  static NamespaceResult EnterPrivateMountNamespace();

  ToolOverride() = default;
  // Unmounts every replacement, so the real tools are back.
  ~ToolOverride();
  ToolOverride(const ToolOverride&) = delete;
  ToolOverride& operator=(const ToolOverride&) = delete;

  // Makes `tool` (an existing file) run `script` (its full text, starting
  // with "#!"). Needs EnterPrivateMountNamespace() first. Returns false with a
  // message in error().
  bool replace(const std::string& tool, const std::string& script);

  const std::string& error() const { return error_; }

 private:
  ScratchDirectory scripts_;
  std::vector<std::string> mounted_;
  std::string error_;
};

}  // namespace corvella::testing
