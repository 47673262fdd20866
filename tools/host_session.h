#pragma once

#include <stand_in/ui_link_frame.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process/deadline.h"
#include "process/unique_fd.h"

namespace corvella {

// One run of the host, driven over its UI link: the host's standard input
// and output are pipes to this process, its environment is this process's.
// Messages go one at a time (Call) or many in flight (Send and Receive).
class HostSession {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr const char* kNoReplyInTime = "no reply in time";

  struct Options {
    std::vector<std::string> arguments;
    // The host's standard input: the link, or /dev/null or closed, as a
    // desktop launcher may leave it (the host then runs without a link).
    enum class Input { kLink, kDevNull, kClosed } input = Input::kLink;
    // Bytes waiting in the link before the host starts (at most PIPE_BUF).
    std::vector<uint8_t> written_before_start;
    // The host's standard error; -1 for this process's.
    int error_fd = -1;
  };

  // Starts the program at `host_path`; nullptr with `reason` set when it
  // cannot be started.
  static std::unique_ptr<HostSession> start(const std::string& host_path, std::string& reason) {
    return start(host_path, Options(), reason);
  }
  static std::unique_ptr<HostSession> start(const std::string& host_path, const Options& options,
                                            std::string& reason);

  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;
  // Closes the link and waits for the host, as close().
  ~HostSession();

  // Sends `message` to `channel` and waits for its reply (the envelope, or
  // nothing for an empty reply). std::nullopt with `reason` set when the host
  // ended, or broke the link, before replying.
  std::optional<std::vector<uint8_t>> call(const std::string& channel,
                                           const std::vector<uint8_t>& message,
                                           std::string& reason);

  // The two halves of Call, for callers that keep several messages in
  // flight: Send writes one message and returns its id (std::nullopt with
  // `reason` set when the host stopped reading); Receive waits for the next
  // reply, whichever message it answers, until `deadline` when one is given
  // (then std::nullopt with `reason` kNoReplyInTime).
  std::optional<uint32_t> send(const std::string& channel, const std::vector<uint8_t>& message,
                               std::string& reason);
  std::optional<UiLinkReply> receive(std::string& reason, Deadline deadline = std::nullopt);

  // Writes `bytes` to the link as they are (frames of the caller's making);
  // false when the host stopped reading.
  bool write(const std::vector<uint8_t>& bytes);
  // Closes the link's input, which ends the host.
  void closeInput();
  // True once the host's output has ended; and whether it ended inside a
  // frame.
  bool outputEnded() const { return output_ended_; }
  bool insideFrame() const { return parser_.insideFrame(); }

  // Waits for the host to exit and returns its wait status (as from
  // waitpid); after `deadline` the host is killed and the result is
  // std::nullopt. Once known, the status is returned again.
  std::optional<int> wait(Deadline deadline);
  // Closes the link's input, reads the output to its end and waits for the
  // host to exit; its wait status.
  int close();

  pid_t pid() const { return pid_; }

 private:
  HostSession(pid_t pid, UniqueFd to_host, UniqueFd from_host)
      : pid_(pid), to_host_(std::move(to_host)), from_host_(std::move(from_host)) {}

  pid_t pid_;
  UniqueFd to_host_;
  UniqueFd from_host_;
  bool output_ended_ = false;
  uint32_t next_id_ = 1;
  UiLinkFrameParser parser_;
  std::vector<std::vector<uint8_t>> bodies_;
  std::optional<int> wait_status_;
};

}  // namespace corvella
