// The directory the label files go in.
#include "submission/temporary_directory.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "test_print_system/scoped_environment.h"

namespace {

using corvella::PathInDirectory;
using corvella::TemporaryDirectory;

TEST(TemporaryDirectory, IsAnAbsoluteTmpdirElseTmp) {
  corvella::testing::ScopedEnvironment tmpdir("TMPDIR", nullptr);
  EXPECT_EQ(TemporaryDirectory(), "/tmp");
  tmpdir.set("/var/tmp/user 1/");
  EXPECT_EQ(TemporaryDirectory(), "/var/tmp/user 1/");
  tmpdir.set("relative");
  EXPECT_EQ(TemporaryDirectory(), "/tmp");
  tmpdir.set("");
  EXPECT_EQ(TemporaryDirectory(), "/tmp");
}

TEST(TemporaryDirectory, PathsJoinWithExactlyOneSeparator) {
  EXPECT_EQ(PathInDirectory("/tmp", "a.zpl"), "/tmp/a.zpl");
  EXPECT_EQ(PathInDirectory("/tmp/", "a.zpl"), "/tmp/a.zpl");
  EXPECT_EQ(PathInDirectory("/tmp///", "a.zpl"), "/tmp/a.zpl");
  EXPECT_EQ(PathInDirectory("/", "a.zpl"), "/a.zpl");
  EXPECT_EQ(PathInDirectory("/var/tmp/user 1", "a.zpl"), "/var/tmp/user 1/a.zpl");
}

}  // namespace
