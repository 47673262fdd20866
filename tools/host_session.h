#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ui_link_frame.h"

namespace corvella {

// One run of the host, driven over its UI link: the host's standard input
// and output are pipes to this process, its standard error and environment
// are this process's. Messages are sent one at a time, each waiting for its
// reply.
class HostSession {
 public:
  // Starts the program at `host_path` with no arguments; nullptr with
  // `error` set when it cannot be started.
  static std::unique_ptr<HostSession> Start(const std::string& host_path, std::string& error);

  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;
  // Closes the link and waits for the host, as Close.
  ~HostSession();

  // Sends `message` to `channel` and waits for its reply (the envelope, or
  // nothing for an empty reply). std::nullopt with `error` set when the host
  // ended, or broke the link, before replying.
  std::optional<std::vector<uint8_t>> Call(const std::string& channel,
                                           const std::vector<uint8_t>& message, std::string& error);

  // The two halves of Call, for callers that keep several messages in
  // flight: Send writes one message and returns its id (std::nullopt with
  // `error` set when the host stopped reading); Receive waits for the next
  // reply, whichever message it answers.
  std::optional<uint32_t> Send(const std::string& channel, const std::vector<uint8_t>& message,
                               std::string& error);
  std::optional<UiLinkReply> Receive(std::string& error);

  // Closes the link's input, which ends the host, and waits for it to exit.
  // Returns its wait status (as from waitpid). Calling it again returns the
  // same status.
  int Close();

 private:
  HostSession(pid_t pid, int to_host, int from_host)
      : pid_(pid), to_host_(to_host), from_host_(from_host) {}

  pid_t pid_;
  int to_host_;
  int from_host_;
  uint32_t next_id_ = 1;
  UiLinkFrameParser parser_;
  std::vector<std::vector<uint8_t>> bodies_;
  std::optional<int> wait_status_;
};

}  // namespace corvella
