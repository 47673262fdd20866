// corvella-call: its pieces, and the tool run as a new user runs it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/host/host_process.h"
#include "tests/host/virtual_display.h"
#include "tests/support/program_run.h"
#include "tools/call_arguments.h"
#include "tools/json_values.h"

namespace corvella::testing {
namespace {

// --- The answers as JSON ----------------------------------------------------

TEST(CallJsonTest, OurRulesBeyondTheLibrary) {
  // Written: ill-formed bytes as U+FFFD, NaN as null.
  EXPECT_EQ(ToJson(Value(std::string("a\xFF"
                                     "b"))
                       .get()),
            "\"a\xEF\xBF\xBD"
            "b\"");
  EXPECT_EQ(ToJson(Value(std::string("\xC0\xAF")).get()), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(ToJson(Value(std::nan("")).get()), "null");
  EXPECT_EQ(ToJson(Value(int64_t{1} << 40).get()), "1099511627776");
  // Read: integers as integers, other numbers as floats, keys in their order.
  std::string error;
  std::optional<Value> value =
      ParseJson(R"( {"a":[1,-2,3000000000,1.5e2,"\u00e9\ud83d\ude00",null,true],"0":0} )", error);
  ASSERT_TRUE(value.has_value()) << error;
  EXPECT_EQ(ToJson(value->get()), "{\"a\":[1,-2,3000000000,150.0,\"é😀\",null,true],\"0\":0}");
  FlValue* list = fl_value_lookup_string(value->get(), "a");
  EXPECT_EQ(fl_value_get_type(fl_value_get_list_value(list, 2)), FL_VALUE_TYPE_INT);
  EXPECT_EQ(fl_value_get_type(fl_value_get_list_value(list, 3)), FL_VALUE_TYPE_FLOAT);

  // Beyond the grammar: a key given twice, an integer beyond 64 bits.
  for (const char* bad : {"", "[1,]", "\"\\ud800\"", "{\"a\":1,\"a\":2}", "99999999999999999999"}) {
    EXPECT_FALSE(ParseJson(bad, error).has_value()) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

// --- The command line ---------------------------------------------------------

class CallCommandLineTest : public ::testing::Test {
 protected:
  std::optional<CallCommandLine> Parse(std::vector<std::string> args) {
    std::optional<CallCommandLine> line = ParseCallCommandLine(args, problem_);
    error_ = problem_.reason;
    return line;
  }
  CallLineProblem problem_;
  std::string error_;
};

TEST_F(CallCommandLineTest, KeyValueFileAndJsonArgumentsMakeTheArgumentMap) {
  char path[] = "/tmp/corvella-call-test-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string label = "^XA\r\n^FDÄ=b^FS\n^XZ";
  ASSERT_EQ(write(fd, label.data(), label.size()), static_cast<ssize_t>(label.size()));
  close(fd);

  std::optional<CallCommandLine> line =
      Parse({"--host=/opt/host", "connectToPrinter", "printerName=A=B", "printZPL",
             std::string("zplCommands=@") + path, "printZPL", "--json",
             R"({"zplCommands":"^XA^XZ","copies":2})", "extra=", "disconnect"});
  unlink(path);
  ASSERT_TRUE(line.has_value()) << error_;
  EXPECT_EQ(line->host, "/opt/host");
  ASSERT_EQ(line->calls.size(), 4u);
  // Only the first '=' separates key and value; the value is text.
  EXPECT_EQ(ToJson(line->calls[0].arguments.get()), "{\"printerName\":\"A=B\"}");
  // The file's bytes exactly.
  FlValue* file_text = fl_value_lookup_string(line->calls[1].arguments.get(), "zplCommands");
  ASSERT_NE(file_text, nullptr);
  EXPECT_EQ(fl_value_get_string(file_text), label);
  EXPECT_EQ(ToJson(line->calls[2].arguments.get()),
            "{\"zplCommands\":\"^XA^XZ\",\"copies\":2,\"extra\":\"\"}");
  EXPECT_EQ(fl_value_get_type(line->calls[3].arguments.get()), FL_VALUE_TYPE_NULL);
}

TEST_F(CallCommandLineTest, JsonMayBeAnyValueAndHelpWinsOverEverythingElse) {
  std::optional<CallCommandLine> line = Parse({"connectToPrinter", "--json", "[1,2]"});
  ASSERT_TRUE(line.has_value()) << error_;
  EXPECT_EQ(ToJson(line->calls[0].arguments.get()), "[1,2]");
  line = Parse({"initialize", "--help"});
  ASSERT_TRUE(line.has_value());
  EXPECT_TRUE(line->help);
}

TEST_F(CallCommandLineTest, UsageAndFileProblemsAreTold) {
  const struct {
    std::vector<std::string> args;
    const char* reason;
    bool file;
  } rows[] = {
      {{}, "no method to call", false},
      {{"--host"}, "Missing argument for --host", false},
      {{"--bogus", "initialize"}, "Unknown option --bogus", false},
      {{"printerName=X"}, "the argument printerName=X must follow a method", false},
      {{"--json", "{}"}, "--json must follow a method", false},
      {{"connectToPrinter", "=X"}, "connectToPrinter: an argument needs a key before '='", false},
      {{"connectToPrinter", "printerName=X", "printerName=Y"},
       "connectToPrinter: duplicate key \"printerName\"",
       false},
      {{"connectToPrinter", "--json={\"printerName\":\"X\"}", "printerName=Y"},
       "connectToPrinter: duplicate key \"printerName\"",
       false},
      {{"connectToPrinter", "--json", "[1]", "printerName=Y"},
       "connectToPrinter: key=value arguments need --json to be an object",
       false},
      {{"connectToPrinter", "--json", "{}", "--json", "{}"},
       "connectToPrinter: --json given twice",
       false},
      {{"initialize", "--host", "/opt/host"}, "--host must come before the first method", false},
      {{"initialize", "--channel=x"}, "--channel must come before the first method", false},
      {{"connectToPrinter", "printerName=\xE9"},
       "connectToPrinter: the value of printerName is not UTF-8 text (byte 0xE9 at offset 0); "
       "convert it (iconv -f CP1252 -t UTF-8) or send graphics as ASCII hex (^GFA)",
       false},
      {{"printZPL", "zplCommands=@/nonexistent/label.zpl"},
       "printZPL: zplCommands: cannot read /nonexistent/label.zpl: No such file or directory",
       true},
      {{"printZPL", "zplCommands=@/"},
       "printZPL: zplCommands: cannot read /: Is a directory",
       true},
  };
  for (const auto& row : rows) {
    std::string joined;
    for (const auto& arg : row.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    EXPECT_FALSE(Parse(row.args).has_value());
    EXPECT_EQ(error_, row.reason);
    EXPECT_EQ(problem_.file, row.file);
  }
  // A JSON error says where it is.
  EXPECT_FALSE(Parse({"connectToPrinter", "--json", "{nope}"}).has_value());
  EXPECT_EQ(error_.rfind("connectToPrinter: --json: ", 0), 0u) << error_;
  EXPECT_FALSE(problem_.file);
}

TEST(LabelWarningsTest, OddLabelsAreToldAndNothingElse) {
  const struct {
    std::string label;
    std::vector<std::string> warnings;
  } rows[] = {
      {"^XA^FDHi^FS^XZ", {}},
      {"^xa^fdlower case is read as a printer reads it^fs^xz", {}},
      {"~DGR:X.GRF,2,1,FF^XA^XGR:X.GRF^FS^XZ", {}},
      {"^XA^FDended by the host, which adds ^XZ", {}},
      {"", {"printZPL: zplCommands is empty: the printer gets an empty job"}},
      {"hello",
       {"printZPL: zplCommands holds no label (^XA ... ^XZ): a printer prints nothing of it"}},
      {"^XZ^XA",
       {"printZPL: zplCommands holds no label (^XA ... ^XZ): a printer prints nothing of it"}},
      {std::string("^XA^FDa\0b^FS^XZ", 15),
       {"printZPL: zplCommands holds a NUL byte at offset 7: the host's text ends there (the "
        "engine's C API reads it up to the NUL), so the printer gets only the 7 bytes before it"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(LabelWarnings("printZPL", row.label), row.warnings);
  }
  // Every way of giving the label is checked; other calls are not.
  std::optional<CallCommandLine> line;
  CallLineProblem problem;
  line =
      ParseCallCommandLine({"printZPL", "zplCommands=", "printZPL", "--json={\"zplCommands\":\"\"}",
                            "connectToPrinter", "printerName=", "printZPL", "zplCommands=^XA^XZ"},
                           problem);
  ASSERT_TRUE(line.has_value()) << problem.reason;
  ASSERT_EQ(line->calls.size(), 4u);
  EXPECT_EQ(line->calls[0].warnings.size(), 1u);
  EXPECT_EQ(line->calls[1].warnings.size(), 1u);
  EXPECT_TRUE(line->calls[2].warnings.empty());
  EXPECT_TRUE(line->calls[3].warnings.empty());
}

// --- The tool -------------------------------------------------------------------

// Runs corvella-call with `arguments`, its input /dev/null. The hosts it
// starts share its standard error, which must hold no critical.
ProgramRun RunTool(std::vector<std::string> arguments) {
  PrepareSanitizersForChildren();
  arguments.insert(arguments.begin(), CallToolPath());
  ProgramRun run = RunProgram(arguments);
  ExpectNoCriticals(run.errors);
  return run;
}

TEST(CallToolTest, UsageErrorExitsWithStatusTwoAndPointsToHelp) {
  ProgramRun run = RunTool({"--bogus"});
  EXPECT_EQ(run.exitCode(), 2);
  EXPECT_TRUE(run.output.empty());
  EXPECT_NE(run.errors.find("--help"), std::string::npos) << run.errors;
}

TEST(CallToolTest, WithoutAUsableDisplayItSaysSoAndSuggestsXvfbRun) {
  const std::string saved = getenv("DISPLAY") != nullptr ? getenv("DISPLAY") : "";
  unsetenv("WAYLAND_DISPLAY");
  for (const char* display : {"", ":65000"}) {
    SCOPED_TRACE(display);
    setenv("DISPLAY", display, 1);
    if (display[0] == '\0') unsetenv("DISPLAY");
    ProgramRun run = RunTool({"initialize"});
    EXPECT_EQ(run.exitCode(), 3);
    EXPECT_TRUE(run.output.empty());
    EXPECT_NE(run.errors.find("xvfb-run"), std::string::npos) << run.errors;
  }
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}

class CallToolSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CORVELLA_REQUIRE_DISPLAY(display_);
    IsolateFromPrintSystem();
  }
  VirtualDisplay display_;
};

TEST_F(CallToolSessionTest, OneSessionKeepsTheSelectionAndPrintsOneLinePerAnswer) {
  ProgramRun run =
      RunTool({"initialize", "getPrinterStatus", "connectToPrinter", "printerName=Zebra \"Front\"",
               "getPrinterStatus", "getAvailablePrinters", "disconnect", "getPrinterStatus"});
  EXPECT_EQ(run.exitCode(), 0) << run.errors;
  EXPECT_EQ(run.output,
            "true\n"
            "{\"connected\":false}\n"
            "true\n"
            "{\"connected\":true,\"printerName\":\"Zebra \\\"Front\\\"\"}\n"
            "[]\n"
            "true\n"
            "{\"connected\":false}\n");
}

TEST_F(CallToolSessionTest, AnyFailedCallExitsWithStatusOneAndIsNamed) {
  const struct {
    std::vector<std::string> args;
    int exit;
    const char* output;
    const char* told;  // on standard error, or "" for nothing of the kind
  } rows[] = {
      {{"printZPL", "zplCommands=^XA^XZ"},
       1,
       "{\"error\":{\"code\":\"NO_PRINTER\",\"message\":\"No printer "
       "connected\",\"details\":null}}\n",
       "corvella-call: call 1, printZPL, answered the error NO_PRINTER (No printer connected)\n"},
      {{"initialize", "Initialize"},
       1,
       "true\n{\"notImplemented\":true}\n",
       "corvella-call: call 2, Initialize, is not implemented by the host\n"},
      // A later success does not hide an earlier failure.
      {{"Initialize", "initialize"},
       1,
       "{\"notImplemented\":true}\ntrue\n",
       "corvella-call: call 1, Initialize, is not implemented by the host\n"},
      // No print system: the print and the default printer answer false.
      {{"connectToPrinter", "printerName=Nowhere", "printZPL", "zplCommands=^XA^XZ", "disconnect"},
       1,
       "true\nfalse\ntrue\n",
       "corvella-call: call 2, printZPL, answered false: the label was not queued (the host's log "
       "lines above say why)\n"},
      {{"connectToDefaultPrinter"},
       1,
       "false\n",
       "corvella-call: call 1, connectToDefaultPrinter, answered false: the print system has no "
       "default printer\n"},
      {{"initialize", "disconnect", "getDefaultPrinter"}, 0, "true\ntrue\n\"\"\n", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0] + " ...");
    ProgramRun run = RunTool(row.args);
    EXPECT_EQ(run.exitCode(), row.exit) << run.errors;
    EXPECT_EQ(run.output, row.output);
    if (row.told[0] != '\0') {
      EXPECT_NE(run.errors.find(row.told), std::string::npos) << run.errors;
    } else {
      EXPECT_EQ(run.errors.find("corvella-call: call "), std::string::npos) << run.errors;
    }
  }
}

TEST_F(CallToolSessionTest, OtherChannelAndOtherHost) {
  ProgramRun other = RunTool({"--channel", "nobody_listens_here", "initialize"});
  EXPECT_EQ(other.exitCode(), 1) << other.errors;
  EXPECT_EQ(other.output, "{\"notImplemented\":true}\n");

  ProgramRun test_host =
      RunTool({"--host", TestHostPath(), "--channel", "corvella_test_channel", "registrarKey"});
  EXPECT_EQ(test_host.exitCode(), 0) << test_host.errors;
  EXPECT_EQ(test_host.output, "\"OpenFilePlugin\"\n");

  ProgramRun missing = RunTool({"--host", "/nonexistent/corvella", "initialize"});
  EXPECT_EQ(missing.exitCode(), 3);
  EXPECT_TRUE(missing.output.empty());
  EXPECT_NE(missing.errors.find("/nonexistent/corvella"), std::string::npos) << missing.errors;
}

}  // namespace
}  // namespace corvella::testing
