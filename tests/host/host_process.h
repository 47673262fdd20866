#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/ui_link_frame.h"
#include "tools/encodable_value.h"

namespace corvella::testing {

// One run of a host program as a user interface in another process sees it:
// its standard input and output are pipes to the test (or standard input is
// /dev/null or closed, as a desktop launcher may leave it), its standard error goes
// to a file the test can read. The process is killed if the test leaves it
// running.
class HostProcess {
 public:
  enum class Input { kPipe, kDevNull, kClosed };

  struct Options {
    Input input = Input::kPipe;
    // Written into the input pipe before the program starts, so it is
    // waiting there from the program's first instant.
    std::vector<uint8_t> written_before_start;
    std::vector<std::string> arguments;
  };

  // Starts `program`; fails the current test (and returns false from
  // started()) when it cannot.
  HostProcess(const std::string& program, Options options);
  explicit HostProcess(const std::string& program) : HostProcess(program, Options()) {}
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess();

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Writes all of `bytes` to the program's input in one write where the
  // pipe allows it.
  bool write(const std::vector<uint8_t>& bytes);
  void closeInput();

  // Reads reply frames until `count` have arrived, the output ends or the
  // timeout passes. Every frame must decode as a reply.
  std::vector<UiLinkReply> readReplies(
      size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Reads the output to its end; the replies found on the way. Fails the
  // test when the output holds anything but whole reply frames.
  std::vector<UiLinkReply> readToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // Waits for the program to end; its wait status, or std::nullopt (and the
  // program is killed) after the timeout.
  std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // What the program has written to standard error so far.
  std::string errorOutput() const;

 private:
  // Reads once (waiting at most until `deadline`); false at the end of the
  // output or the deadline.
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int to_host_ = -1;
  int from_host_ = -1;
  bool output_ended_ = false;
  std::string error_path_;
  UiLinkFrameParser parser_;
  std::vector<std::vector<uint8_t>> bodies_;
  std::optional<int> status_;
};

// A UI-to-host frame carrying a method call of the standard method codec.
std::vector<uint8_t> CallFrame(uint32_t id, const std::string& channel, const std::string& method,
                               EncodableValue arguments = {});
// The same for the printer channel.
std::vector<uint8_t> PrinterCallFrame(uint32_t id, const std::string& method,
                                      EncodableValue arguments = {});
// Concatenates frames, so that they go out in one write.
std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& frames);

// A reply's answer as corvella-call prints it ("true", {"error":...}, ...);
// "<undecodable>" for a malformed envelope and "<empty>" for an empty reply.
std::string AnswerJson(const UiLinkReply& reply);

// A wait status as text, for failure messages.
std::string DescribeWaitStatus(const std::optional<int>& status);

// Where the test's executables are.
std::string HostPath();      // build/bin/corvella
std::string TestHostPath();  // the host with the test plug-in linked in
std::string CallToolPath();  // build/bin/corvella-call

// Gives the programs the test starts the sanitizers' lists of reports that
// belong to system libraries (lsan_suppressions.txt, tsan_suppressions.txt);
// only sanitizer builds read them.
void PrepareSanitizersForChildren();

// Points the print system of every program the test starts at a socket that
// does not exist, so that no test reaches the machine's own CUPS.
void IsolateFromPrintSystem();

}  // namespace corvella::testing
