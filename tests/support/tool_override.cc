#include "tests/support/tool_override.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "tests/support/file_util.h"
#include "tests/support/scratch_directory.h"

namespace corvella::testing {
namespace {

bool entered = false;

bool OverrideRequired() {
  const char* value = std::getenv("CORVELLA_REQUIRE_TOOL_OVERRIDE");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

NamespaceResult NotPermitted(std::string message) {
  if (OverrideRequired()) {
    return {NamespaceStatus::kFailed, message + " (CORVELLA_REQUIRE_TOOL_OVERRIDE=1)"};
  }
  return {NamespaceStatus::kNotPermitted, std::move(message)};
}

int ThreadCount() {
  auto status = ReadFile("/proc/self/status");
  if (!status) return -1;
  size_t at = status->find("\nThreads:");
  if (at == std::string::npos) return -1;
  return std::atoi(status->c_str() + at + 9);
}

// The steps that move the calling process into a private mount namespace.
struct NamespaceSteps {
  bool as_root = ::geteuid() == 0;
  std::string uid_map = std::to_string(::geteuid()) + " " + std::to_string(::geteuid()) + " 1\n";
  std::string gid_map = std::to_string(::getegid()) + " " + std::to_string(::getegid()) + " 1\n";

  static int WriteProc(const char* path, const std::string& text) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    ssize_t n;
    do {
      n = ::write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    int error = n < 0 ? errno : 0;
    ::close(fd);
    return error;
  }

  // 0, or the errno of the step that failed; `step` names it.
  int run(const char** step) const {
    *step = "unshare";
    if (::unshare(as_root ? CLONE_NEWNS : (CLONE_NEWUSER | CLONE_NEWNS)) != 0) return errno;
    if (!as_root) {
      *step = "writing the user namespace maps";
      // The kernel refuses a gid map from an unprivileged writer until
      // setgroups is denied.
      int error = WriteProc("/proc/self/setgroups", "deny");
      if (error == 0) error = WriteProc("/proc/self/uid_map", uid_map);
      if (error == 0) error = WriteProc("/proc/self/gid_map", gid_map);
      if (error != 0) return error;
    }
    *step = "making / private";
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return errno;
    return 0;
  }
};

std::string Explain(const char* step, int error, bool as_root) {
  std::string text = std::string("cannot make a private mount namespace (") + step + ": " +
                     std::strerror(error) + ")";
  text += as_root ? "; running as root without CAP_SYS_ADMIN?"
                  : "; not root, and user namespaces are not available";
  return text;
}

bool IsPermissionError(int error) {
  return error == EPERM || error == EACCES || error == ENOSPC || error == EUSERS;
}

}  // namespace

NamespaceResult ToolOverride::EnterPrivateMountNamespace() {
  if (entered) return {NamespaceStatus::kEntered, "already in a private mount namespace"};
  int threads = ThreadCount();
  if (threads != 1) {
    return {NamespaceStatus::kFailed,
            "a private mount namespace must be entered while the process has one thread; it has " +
                std::to_string(threads)};
  }
  NamespaceSteps steps;
  const char* step = "";
  int error = steps.run(&step);
  if (error != 0) {
    // A failed unshare leaves the process where it was; a later step failing
    // leaves it in a namespace that is not usable, which is a failure.
    if (std::strcmp(step, "unshare") == 0 && IsPermissionError(error)) {
      return NotPermitted(Explain(step, error, steps.as_root));
    }
    return {NamespaceStatus::kFailed, Explain(step, error, steps.as_root)};
  }
  entered = true;
  return {NamespaceStatus::kEntered, ""};
}

ToolOverride::~ToolOverride() {
  for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it) {
    ::umount2(it->c_str(), MNT_DETACH);
  }
}

bool ToolOverride::replace(const std::string& tool, const std::string& script) {
  if (!entered) {
    error_ = "replace(" + tool + ") needs EnterPrivateMountNamespace() first";
    return false;
  }
  struct stat info;
  if (::stat(tool.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error_ = tool + " is not an existing file, so nothing can be mounted over it";
    return false;
  }
  if (scripts_.empty() && !scripts_.create("corvella-tools", &error_)) return false;
  const std::string path = scripts_.path() + "/tool-" + std::to_string(mounted_.size());
  if (!WriteFile(path, script, 0755)) {
    error_ = "cannot write " + path;
    return false;
  }
  if (::mount(path.c_str(), tool.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    error_ = "cannot bind-mount " + path + " over " + tool + ": " + std::strerror(errno);
    return false;
  }
  mounted_.push_back(tool);
  return true;
}

}  // namespace corvella::testing
