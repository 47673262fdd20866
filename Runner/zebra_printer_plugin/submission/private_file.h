#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "process/unique_fd.h"

namespace corvella {

// A new file that only its owner may read and write (mode 0600, whatever
// the umask), written front to back. Nothing that already exists at its
// path is ever opened, a symbolic link included, so a name planted in a
// shared directory can neither redirect the write nor expose the bytes.
// Every byte is written, across short writes and interrupted calls.
//
// A file that is not finished (a write failed, or the object went away
// before finish()) is removed again, so no reader ever takes a part of the
// bytes for the whole. A finished file is handed on as an open descriptor,
// so that its reader gets these bytes even where others may rename or
// replace files in the directory (one that is world-writable without the
// sticky bit).
class PrivateFile {
 public:
  // Creates the file; nothing, with `reason` set ("cannot create PATH:
  // ..."), when it cannot.
  static std::optional<PrivateFile> create(const std::string& path, std::string& reason);

  PrivateFile(PrivateFile&& other) noexcept = default;
  PrivateFile& operator=(PrivateFile&&) = delete;
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;
  ~PrivateFile();

  // Adds `bytes` at the end. Small pieces are gathered into large writes.
  // False, with `reason` set ("cannot write PATH: ..."), when a write failed;
  // the file is then removed and takes nothing more.
  bool append(std::string_view bytes, std::string& reason);

  // Writes what is gathered and closes the file for writing. A descriptor
  // that reads the file from its start; nothing, with `reason` set, when a
  // write failed (the file is then removed) or it cannot be opened again.
  std::optional<UniqueFd> finish(std::string& reason);

 private:
  PrivateFile(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  bool writeOut(std::string_view bytes, std::string& reason);
  bool fail(int error, std::string& reason);

  std::string path_;
  UniqueFd fd_;
  std::string pending_;
};

// Creates a private file at `path` holding `bytes`, as PrivateFile does.
// False, with `reason` set, when it cannot be created or written whole.
bool WriteNewPrivateFile(const std::string& path, std::string_view bytes, std::string& reason);

}  // namespace corvella
