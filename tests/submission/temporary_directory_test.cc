// The temporary file's name: the UUID and the directory it goes in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <regex>
#include <set>
#include <string>

#include "Runner/temporary_directory.h"
#include "Runner/uuid.h"
#include "test_print_system/scoped_environment.h"

namespace {

using corvella::PathInDirectory;
using corvella::TemporaryDirectory;
using corvella::Uuid;

TEST(Uuid, TextIsUpperCaseHexWithTheVersionAndVariantBitsSet) {
  Uuid::Bytes zeros{};
  EXPECT_EQ(Uuid::fromBytes(zeros).text(), "00000000-0000-4000-8000-000000000000");
  Uuid::Bytes ones;
  ones.fill(0xFF);
  EXPECT_EQ(Uuid::fromBytes(ones).text(), "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF");
  Uuid::Bytes counting;
  for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i * 0x11);
  EXPECT_EQ(Uuid::fromBytes(counting).text(), "00112233-4455-4677-8899-AABBCCDDEEFF");
}

TEST(Uuid, RandomOnesAreVersionFourAndDistinct) {
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  std::set<char> variants;
  for (int i = 0; i < 2000; ++i) {
    std::string reason;
    std::optional<Uuid> uuid = Uuid::random(reason);
    ASSERT_TRUE(uuid.has_value()) << reason;
    const std::string text = uuid->text();
    ASSERT_TRUE(std::regex_match(text, form)) << text;
    seen.insert(text);
    variants.insert(text[19]);
  }
  EXPECT_EQ(seen.size(), 2000u);
  EXPECT_EQ(variants.size(), 4u) << "the variant digit takes all of 8, 9, A, B";
}

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
