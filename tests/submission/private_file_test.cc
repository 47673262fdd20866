// Writing the document to a new private file.
#include "submission/private_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/submission/scripted_print_tools.h"

namespace {

namespace fs = std::filesystem;
using corvella::WriteNewPrivateFile;
using corvella::testing::ReadFile;

class PrivateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(scratch_.create("corvella-private-file", error)) << error;
    dir_ = scratch_.path();
  }

  static mode_t Mode(const fs::path& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }

  corvella::testing::ScratchDirectory scratch_;
  fs::path dir_;
};

TEST_F(PrivateFileTest, IsOwnerOnlyWhateverTheUmask) {
  for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
    SCOPED_TRACE(mask);
    const fs::path path = dir_ / ("label-" + std::to_string(mask));
    const mode_t old = umask(mask);
    std::string reason;
    const bool written = WriteNewPrivateFile(path, "^XA\r\n^XZ", reason);
    umask(old);
    ASSERT_TRUE(written) << reason;
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(ReadFile(path), "^XA\r\n^XZ");
  }
  std::string reason;
  ASSERT_TRUE(WriteNewPrivateFile(dir_ / "empty", "", reason)) << reason;
  EXPECT_EQ(ReadFile(dir_ / "empty"), "");
}

TEST_F(PrivateFileTest, NeverOpensWhatIsAlreadyThere) {
  const fs::path planted = dir_ / "planted.zpl";
  std::ofstream(planted) << "someone else's";
  const fs::path target = dir_ / "target";
  std::ofstream(target) << "keep";
  fs::create_symlink(target, dir_ / "link-to-file.zpl");
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling.zpl");

  for (const char* name : {"planted.zpl", "link-to-file.zpl", "dangling.zpl"}) {
    SCOPED_TRACE(name);
    std::string reason;
    EXPECT_FALSE(WriteNewPrivateFile(dir_ / name, "secret label", reason));
    EXPECT_EQ(reason.rfind("cannot create " + (dir_ / name).string() + ": ", 0), 0u) << reason;
    EXPECT_NE(reason.find("File exists"), std::string::npos) << reason;
  }
  EXPECT_EQ(ReadFile(planted), "someone else's");
  EXPECT_EQ(ReadFile(target), "keep");
  EXPECT_FALSE(fs::exists(dir_ / "nowhere")) << "a dangling link must not create its target";
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.zpl"));
}

TEST_F(PrivateFileTest, AWriteThatStopsShortRemovesTheIncompleteFile) {
  // The file-size limit makes the first write short and the next one fail.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string reason;
  const bool written = WriteNewPrivateFile(dir_ / "big.zpl", std::string(5000, 'x'), reason);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(written);
  EXPECT_EQ(reason.rfind("cannot write " + (dir_ / "big.zpl").string() + ": ", 0), 0u) << reason;
  EXPECT_NE(reason.find("File too large"), std::string::npos) << reason;
  EXPECT_FALSE(fs::exists(dir_ / "big.zpl"));
}

TEST_F(PrivateFileTest, AMissingDirectoryIsAReasonNotACrash) {
  std::string reason;
  EXPECT_FALSE(WriteNewPrivateFile(dir_ / "missing" / "a.zpl", "^XZ", reason));
  EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;
}

TEST_F(PrivateFileTest, PiecesOfAnySizeArriveInOrderAndAnUnfinishedFileIsRemoved) {
  std::string reason;
  std::optional<corvella::PrivateFile> file =
      corvella::PrivateFile::create(dir_ / "pieces", reason);
  ASSERT_TRUE(file.has_value()) << reason;
  std::string expected;
  // Small pieces that fill the gathering buffer, one larger than it, more
  // small ones after it.
  for (int i = 0; i < 200000; ++i) {
    const std::string piece = std::to_string(i) + "\r\n";
    ASSERT_TRUE(file->append(piece, reason)) << reason;
    expected += piece;
  }
  const std::string large(3u << 20, 'L');
  ASSERT_TRUE(file->append(large, reason)) << reason;
  expected += large;
  ASSERT_TRUE(file->append("tail", reason)) << reason;
  expected += "tail";
  ASSERT_TRUE(file->finish(reason)) << reason;
  EXPECT_EQ(ReadFile(dir_ / "pieces"), expected);
  EXPECT_EQ(Mode(dir_ / "pieces"), 0600u);

  {
    std::optional<corvella::PrivateFile> abandoned =
        corvella::PrivateFile::create(dir_ / "abandoned", reason);
    ASSERT_TRUE(abandoned.has_value()) << reason;
    ASSERT_TRUE(abandoned->append(std::string(5u << 20, 'x'), reason)) << reason;
  }
  EXPECT_FALSE(fs::exists(dir_ / "abandoned")) << "never finished, so never a whole document";
}

}  // namespace
