#pragma once

#include <string>

namespace corvella::testing {

// Every test program fails a test in which a GLib critical is logged that
// the test did not expect: a critical is the engine refusing what a plug-in
// did. A test that causes one on purpose says so with an ExpectedCritical
// for the time it may come; the expectation fails the test if no critical
// holding `part` was logged while it existed.
class ExpectedCritical {
 public:
  explicit ExpectedCritical(std::string part);
  ~ExpectedCritical();
  ExpectedCritical(const ExpectedCritical&) = delete;
  ExpectedCritical& operator=(const ExpectedCritical&) = delete;

 private:
  std::string part_;
};

// Installs the log writer that enforces the rule above. The test main calls
// it once, before any test runs.
void FailTestsOnUnexpectedCriticals();

}  // namespace corvella::testing
