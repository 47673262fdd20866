// The main of every test program. Files that the code under test leaves in
// the temporary directory (label files stay after a print, by design) land
// in a directory of this run, removed when the run ends, instead of piling
// up in the shared /tmp. A test that needs another TMPDIR sets its own.
// A GLib critical that a test did not expect fails it (critical_log.h).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "test_print_system/scratch_directory.h"
#include "tests/support/critical_log.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  corvella::testing::FailTestsOnUnexpectedCriticals();
  corvella::testing::ScratchDirectory temporary;
  std::string error;
  // 0755, like /tmp's own use here: a private scheduler made under it must
  // be reachable by the scheduler's helper processes.
  if (temporary.create("corvella-test-run", error) && chmod(temporary.path().c_str(), 0755) == 0) {
    setenv("TMPDIR", temporary.path().c_str(), 1);
  } else {
    std::fprintf(stderr, "test main: keeping TMPDIR as it is: %s\n", error.c_str());
  }
  return RUN_ALL_TESTS();
}
