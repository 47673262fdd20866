#include "process/process_runner.h"

#include <utility>

#include "process/child_process.h"
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

std::optional<std::string> runShellOut(const std::string& launchPath,
                                       const std::vector<std::string>& arguments,
                                       RunDeadline deadline) {
  // The step before used up the time: the child that did so was logged.
  if (deadline && std::chrono::steady_clock::now() >= *deadline) return std::nullopt;
  std::string reason;
  ChildProcess::Options options;
  options.deadline = deadline;
  std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
      launchPath, arguments, ChildProcess::Capture::kStandardOutput, reason, options);
  if (!outcome) {
    Log("runShellOut error: " + reason);
    return std::nullopt;
  }
  if (outcome->timedOut) {
    Log("runShellOut error: " + launchPath + " timed out and was killed");
    return std::nullopt;
  }
  return DecodeUtf8Text(std::move(outcome->captured));
}

ShellStatus runShellStatus(const std::string& launchPath, const std::vector<std::string>& arguments,
                           ChildStopper* stopper, int passed) {
  ChildProcess::Options options;
  options.stopper = stopper;
  options.passed = passed;
  std::string reason;
  std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
      launchPath, arguments, ChildProcess::Capture::kStandardError, reason, options);
  if (!outcome) return {-1, std::move(reason)};
  return {outcome->status, DecodeUtf8Text(std::move(outcome->captured))};
}

int32_t runShellStatusWithInput(const std::string& launchPath,
                                const std::vector<std::string>& arguments, std::string_view input) {
  const ChildProcess::Input whole = [input]() mutable { return std::exchange(input, {}); };
  return runShellStatusWithInput(launchPath, arguments, whole);
}

int32_t runShellStatusWithInput(const std::string& launchPath,
                                const std::vector<std::string>& arguments,
                                const ChildProcess::Input& input, ChildStopper* stopper) {
  ChildProcess::Options options;
  options.input = &input;
  options.stopper = stopper;
  std::string reason;
  std::optional<ChildProcess::Outcome> outcome = ChildProcess::run(
      launchPath, arguments, ChildProcess::Capture::kStandardError, reason, options);
  if (!outcome) {
    Log("runShellStatusWithInput error: " + reason);
    return -1;
  }
  std::optional<std::string> error_text = DecodeUtf8Text(std::move(outcome->captured));
  if (error_text && !IsBlank(*error_text)) Log(launchPath + " stdin failed: " + *error_text);
  return outcome->status;
}

}  // namespace corvella
