#include "process/process_runner.h"

#include <chrono>
#include <utility>

#include "process/system_log.h"
#include "text/unicode_text.h"
#include "text/utf8.h"

namespace corvella {
namespace {

std::optional<std::string> DecodeUtf8Text(std::string&& bytes) {
  if (!IsValidUtf8(bytes)) return std::nullopt;
  return std::move(bytes);
}

}  // namespace

std::optional<std::string> ProcessRunner::runShellOut(const std::string& launch_path,
                                                      const std::vector<std::string>& arguments,
                                                      const RunOptions& options) {
  // The step before used up the time: the child that did so was logged.
  if (options.deadline && std::chrono::steady_clock::now() >= *options.deadline) {
    return std::nullopt;
  }
  std::string reason;
  std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
      launch_path, arguments, ChildProcess::Capture::kStandardOutput, reason, nullptr, options);
  if (!outcome) {
    if (!options.quiet) Log("runShellOut error: " + reason);
    return std::nullopt;
  }
  if (outcome->timed_out) {
    if (!options.quiet) Log("runShellOut error: " + launch_path + " timed out and was killed");
    return std::nullopt;
  }
  return DecodeUtf8Text(std::move(outcome->captured));
}

ShellStatus ProcessRunner::runShellStatus(const std::string& launch_path,
                                          const std::vector<std::string>& arguments,
                                          const RunOptions& options) {
  std::string reason;
  std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
      launch_path, arguments, ChildProcess::Capture::kStandardError, reason, nullptr, options);
  if (!outcome) return {-1, std::move(reason)};
  return {outcome->status, DecodeUtf8Text(std::move(outcome->captured))};
}

int32_t ProcessRunner::runShellStatusWithInput(const std::string& launch_path,
                                               const std::vector<std::string>& arguments,
                                               std::string_view input) {
  const ChildProcess::Input whole = [input]() mutable { return std::exchange(input, {}); };
  return runShellStatusWithInput(launch_path, arguments, whole);
}

int32_t ProcessRunner::runShellStatusWithInput(const std::string& launch_path,
                                               const std::vector<std::string>& arguments,
                                               const ChildProcess::Input& input,
                                               const RunOptions& options) {
  std::string reason;
  std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
      launch_path, arguments, ChildProcess::Capture::kStandardError, reason, &input, options);
  if (!outcome) {
    if (!options.quiet) Log("runShellStatusWithInput error: " + reason);
    return -1;
  }
  std::optional<std::string> error_text = DecodeUtf8Text(std::move(outcome->captured));
  if (!options.quiet && error_text && !IsBlank(*error_text)) {
    Log(launch_path + " stdin failed: " + *error_text);
  }
  return outcome->status;
}

}  // namespace corvella
