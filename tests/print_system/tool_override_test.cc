// Replacing the CUPS tools inside a private mount namespace, for end-to-end
// fault tests.

#include "tests/support/tool_override.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/command_runner.h"
#include "tests/support/file_util.h"
#include "tests/support/print_system.h"

namespace corvella::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const char* const kMarkerScript =
    "#!/bin/sh\n"
    "echo \"replaced $0 $*\"\n"
    "echo 'lpstat: simulated failure' >&2\n"
    "exit 3\n";

bool IsRealProgram(const std::string& path) {
  return ReadFile(path).value_or("").compare(0, 4,
                                             "\x7f"
                                             "ELF") == 0;
}

TEST(ToolOverrideTest, ChildSeesTheScriptWhileThisProcessKeepsTheRealTool) {
  NamespaceResult support = ProbePrivateMountNamespace();
  if (support.status == NamespaceStatus::kNotPermitted) GTEST_SKIP() << support.message;
  ASSERT_EQ(support.status, NamespaceStatus::kEntered) << support.message;

  CommandResult result =
      RunWithTools({"/usr/bin/lpstat", "-r"}, {{"/usr/bin/lpstat", kMarkerScript}});
  EXPECT_EQ(result.exit_code, 3) << Describe(result);
  EXPECT_EQ(result.out, "replaced /usr/bin/lpstat -r\n");
  EXPECT_EQ(result.err, "lpstat: simulated failure\n");
  // Nothing leaked out of the child's namespace.
  EXPECT_TRUE(IsRealProgram("/usr/bin/lpstat"));
}

TEST(ToolOverrideTest, SeveralToolsAtOnce) {
  NamespaceResult support = ProbePrivateMountNamespace();
  if (support.status == NamespaceStatus::kNotPermitted) GTEST_SKIP() << support.message;
  ASSERT_EQ(support.status, NamespaceStatus::kEntered) << support.message;

  CommandResult result =
      RunWithTools({"/bin/sh", "-c", "/usr/bin/lp -d X; /usr/bin/lpr -P Y; /usr/bin/lpstat -a"},
                   {{"/usr/bin/lp", "#!/bin/sh\necho lp-script \"$@\"\n"},
                    {"/usr/bin/lpr", "#!/bin/sh\necho lpr-script \"$@\"\n"}});
  EXPECT_THAT(result.out, StartsWith("lp-script -d X\nlpr-script -P Y\n")) << Describe(result);
  // lpstat was not replaced: the real one ran (and said something else).
  EXPECT_THAT(result.out + result.err, ::testing::Not(HasSubstr("lpstat-script")));
  EXPECT_TRUE(IsRealProgram("/usr/bin/lp"));
  EXPECT_TRUE(IsRealProgram("/usr/bin/lpr"));
}

TEST(ToolOverrideTest, MissingToolIsReportedNotRun) {
  NamespaceResult support = ProbePrivateMountNamespace();
  if (support.status == NamespaceStatus::kNotPermitted) GTEST_SKIP() << support.message;
  CommandResult result = RunWithTools({"/bin/true"}, {{"/usr/bin/no-such-tool", kMarkerScript}});
  EXPECT_FALSE(result.started);
  EXPECT_THAT(result.error, HasSubstr("private mount namespace"));
}

// The in-process form: this test process enters the namespace (it is still
// single-threaded here), so everything it starts afterwards, the plug-in's
// tool runs included, sees the replacement; the real tools return when the
// ToolOverride goes away. A private print system works alongside.
TEST(ToolOverrideTest, InProcessReplacementLastsAsLongAsTheObject) {
  NamespaceResult ns = ToolOverride::EnterPrivateMountNamespace();
  if (ns.status == NamespaceStatus::kNotPermitted) GTEST_SKIP() << ns.message;
  ASSERT_EQ(ns.status, NamespaceStatus::kEntered) << ns.message;
  std::string reason = PrintSystem::UnavailableReason();
  if (!reason.empty()) GTEST_SKIP() << reason;

  PrintSystem system;
  ASSERT_TRUE(system.start()) << system.error();
  LabelPrinter* printer = system.addQueue("Zebra");
  ASSERT_NE(printer, nullptr) << system.error();
  {
    ToolOverride tools;
    EXPECT_FALSE(tools.replace("/usr/bin/no-such-tool", kMarkerScript));
    EXPECT_THAT(tools.error(), HasSubstr("/usr/bin/no-such-tool"));
    ASSERT_TRUE(tools.replace("/usr/bin/lp", kMarkerScript)) << tools.error();

    CommandOptions input;
    input.input = "via lp";
    CommandResult lp = RunCommand({"/usr/bin/lp", "-d", "Zebra", "-o", "raw"}, input);
    EXPECT_EQ(lp.exit_code, 3) << Describe(lp);
    EXPECT_EQ(lp.out, "replaced /usr/bin/lp -d Zebra -o raw\n");
    input.input = "via lpr";
    CommandResult lpr = RunCommand({"/usr/bin/lpr", "-P", "Zebra", "-o", "raw"}, input);
    ASSERT_TRUE(lpr.succeeded()) << Describe(lpr);
    EXPECT_EQ(printer->waitForJobs(1, std::chrono::seconds(20)),
              std::vector<std::string>{"via lpr"});
  }
  EXPECT_TRUE(IsRealProgram("/usr/bin/lp"));
  CommandOptions input;
  input.input = "real lp again";
  CommandResult lp = RunCommand({"/usr/bin/lp", "-d", "Zebra", "-o", "raw"}, input);
  ASSERT_TRUE(lp.succeeded()) << Describe(lp);
  EXPECT_EQ(printer->waitForJobs(2, std::chrono::seconds(20)),
            (std::vector<std::string>{"via lpr", "real lp again"}));
}

}  // namespace
}  // namespace corvella::testing
