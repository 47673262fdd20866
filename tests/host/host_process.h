#pragma once

#include <stand_in/ui_link_frame.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/channel_values.h"
#include "tools/host_session.h"

namespace corvella::testing {

// One run of a host program as a user interface in another process sees it
// (a HostSession), with its standard error going to a file the test can read
// and failures reported to the test. The process is killed if the test
// leaves it running.
class HostProcess {
 public:
  using Options = HostSession::Options;
  using Input = Options::Input;

  // Starts `program`; fails the current test (and returns false from
  // started()) when it cannot.
  HostProcess(const std::string& program, Options options);
  explicit HostProcess(const std::string& program) : HostProcess(program, Options()) {}
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess();

  bool started() const { return session_ != nullptr; }
  pid_t pid() const { return session_ ? session_->pid() : -1; }

  bool write(const std::vector<uint8_t>& bytes) { return session_->write(bytes); }
  void closeInput() { session_->closeInput(); }

  // Reads replies until `count` have arrived, the output ends or the
  // timeout passes.
  std::vector<UiLinkReply> readReplies(
      size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Reads the output to its end; the replies found on the way. Fails the
  // test when the output holds anything but whole reply frames.
  std::vector<UiLinkReply> readToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // Waits for the program to end; its wait status, or std::nullopt (and the
  // program is killed) after the timeout.
  std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // Waits for the program to end; it must exit with status 0 and without a
  // sanitizer report.
  void expectCleanExit(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // What the program has written to standard error so far.
  std::string errorOutput() const;

 private:
  std::unique_ptr<HostSession> session_;
  std::string error_path_;
};

// Fails the test when a host's standard error holds a GLib critical: the
// engine refusing what a plug-in did.
void ExpectNoCriticals(const std::string& errors);

// A UI-to-host frame carrying a method call of the standard method codec.
std::vector<uint8_t> CallFrame(uint32_t id, const std::string& channel, const std::string& method,
                               Value arguments = {});
// The same for the printer channel.
std::vector<uint8_t> PrinterCallFrame(uint32_t id, const std::string& method, Value arguments = {});
// Concatenates frames, so that they go out in one write.
std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& frames);

// A reply's answer as corvella-call prints it ("true", {"error":...}, ...);
// "<undecodable>" for a malformed envelope and "<empty>" for an empty reply.
std::string AnswerJson(const UiLinkReply& reply);

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
