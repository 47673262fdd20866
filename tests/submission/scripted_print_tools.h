#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cups/print_tools.h"
#include "test_print_system/file_util.h"
#include "test_print_system/scoped_environment.h"
#include "test_print_system/scratch_directory.h"

namespace corvella::testing {

// Stand-ins for lp and lpr in a private scratch directory, with TMPDIR
// pointed at a private temporary directory for the duration of a test.
//
// Each tool appends one line per run to calls(): its name and every argument
// in brackets, e.g. "lp [-d] [Q] [-o] [raw] [-]". When its last argument is
// "-" it is in stdin mode, else in file mode. By default it then keeps what
// it was asked to print (the file named last, or all of its standard input)
// as a job in printed(), and exits 0; in file mode it exits 1 with a message
// when the file cannot be read. Per tool and mode the test may set another
// exit status (a tool that fails keeps no job), a text for standard error,
// and that the tool takes nothing at all.
class ScriptedPrintTools {
 public:
  enum class Mode { kFile, kStdin };

  ScriptedPrintTools() {
    std::string error;
    if (!scratch_.create("corvella-submission", error)) {
      ADD_FAILURE() << error;
      return;
    }
    root_ = scratch_.path();
    for (const char* directory : {"tmp", "printed", "bin"})
      std::filesystem::create_directories(root_ / directory);
    writeTool("lp");
    writeTool("lpr");
    tmpdir_.set(temporaryDirectory().c_str());
  }
  ScriptedPrintTools(const ScriptedPrintTools&) = delete;
  ScriptedPrintTools& operator=(const ScriptedPrintTools&) = delete;

  PrintTools tools() const {
    PrintTools tools;
    tools.lp = (root_ / "bin" / "lp").string();
    tools.lpr = (root_ / "bin" / "lpr").string();
    return tools;
  }
  // The directory TMPDIR names while this object lives.
  std::filesystem::path temporaryDirectory() const { return root_ / "tmp"; }
  std::filesystem::path root() const { return root_; }

  void setStatus(const std::string& tool, Mode mode, int status) {
    std::ofstream(behaviour(tool, mode) + ".status") << status << "\n";
  }
  void setStandardError(const std::string& tool, Mode mode, const std::string& text) {
    std::ofstream(behaviour(tool, mode) + ".stderr", std::ios::binary) << text;
  }
  // The tool exits without reading its file or its standard input.
  void takeNothing(const std::string& tool, Mode mode) {
    std::ofstream(behaviour(tool, mode) + ".take-nothing");
  }

  // Before a tool in file mode reads its file, `bytes` are put at that name
  // when nothing is there: someone who plants a file at a name the host
  // gave up.
  void plantAtMissingFile(const std::string& bytes) {
    std::ofstream(root_ / "plant", std::ios::binary) << bytes;
  }
  // Before a tool in file mode reads its file, another user (nobody)
  // renames a file of their own over `path`: one holding `bytes`, or, when
  // `link_to` is given, a symbolic link to it. Needs root and setpriv.
  void swapBeforeRead(const std::filesystem::path& path, const std::string& bytes,
                      const std::filesystem::path& link_to) {
    std::ofstream(root_ / "swap") << path.string();
    std::ofstream(root_ / "swap.bytes", std::ios::binary) << bytes;
    std::ofstream(root_ / "swap.link") << link_to.string();
  }
  // Every run so far, one line each, in the order they ended.
  std::string calls() const { return ReadFile(root_ / "calls").value_or(""); }

  // The bytes of every job kept, by the name "TOOL.MODE.PID".
  std::vector<std::pair<std::string, std::string>> printed() const {
    std::vector<std::pair<std::string, std::string>> jobs;
    for (const auto& entry : std::filesystem::directory_iterator(root_ / "printed")) {
      jobs.emplace_back(entry.path().filename().string(), ReadFile(entry.path()).value_or(""));
    }
    return jobs;
  }

  // The files in the temporary directory.
  std::vector<std::filesystem::path> temporaryFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(temporaryDirectory())) {
      files.push_back(entry.path());
    }
    return files;
  }

 private:
  std::string behaviour(const std::string& tool, Mode mode) const {
    return (root_ / (tool + (mode == Mode::kFile ? ".file" : ".stdin"))).string();
  }

  void writeTool(const std::string& tool) {
    const std::filesystem::path path = root_ / "bin" / tool;
    std::ofstream script(path);
    script << "#!/bin/sh\n"
           << "root='" << root_.string() << "'\n"
           << "tool=" << tool << "\n"
           << R"sh(ulimit -f unlimited 2>/dev/null
line=$tool; last=
for a in "$@"; do line="$line [$a]"; last=$a; done
if [ "$last" = - ]; then mode=stdin; else mode=file; fi
b="$root/$tool.$mode"
job="$root/printed/$tool.$mode.$$"
if [ $mode = file ] && [ -e "$root/plant" ] && [ ! -e "$last" ]; then cp "$root/plant" "$last"; fi
if [ $mode = file ] && [ -e "$root/swap" ]; then
  setpriv --reuid=65534 --regid=65534 --clear-groups -- /bin/sh -c \
    'if [ -n "$2" ]; then ln -s "$2" "$1.x"; else cat > "$1.x"; fi && mv -f "$1.x" "$1"' \
    sh "$(cat "$root/swap")" "$(cat "$root/swap.link")" < "$root/swap.bytes"
fi
if [ -e "$b.take-nothing" ]; then :
elif [ $mode = stdin ]; then cat > "$job"
elif ! cat -- "$last" > "$job" 2>/dev/null; then
  rm -f "$job"; printf '%s\n' "$line" >> "$root/calls"
  echo "$tool: cannot read $last" >&2; exit 1
fi
printf '%s\n' "$line" >> "$root/calls"
if [ -e "$b.stderr" ]; then cat "$b.stderr" >&2; fi
status=0
if [ -e "$b.status" ]; then status=$(cat "$b.status"); fi
if [ "$status" != 0 ]; then rm -f "$job"; fi
exit "$status"
)sh";
    script.close();
    chmod(path.c_str(), 0755);
  }

  ScratchDirectory scratch_;
  std::filesystem::path root_;
  ScopedEnvironment tmpdir_{"TMPDIR", getenv("TMPDIR")};
};

}  // namespace corvella::testing
