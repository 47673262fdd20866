#include "zpl_submission.h"

#include <glib.h>

#include <optional>
#include <vector>

#include "private_file.h"
#include "process_runner.h"
#include "system_log.h"
#include "temporary_directory.h"
#include "zpl_document.h"

namespace corvella {

namespace {

// "<tool>(file) failed (status N): <standard error>", the text given as is.
std::string FileAttemptFailure(const char* tool, const ShellStatus& outcome) {
  return std::string(tool) + "(file) failed (status " + std::to_string(outcome.status) +
         "): " + outcome.text.value_or(std::string());
}

// Writes the normalised document to a new private file at `path` piece by
// piece, so a large document is never held twice. Labels carry names and
// addresses, and the directory is usually the shared /tmp.
bool WriteDocument(const std::string& path, ZplDocumentPieces& document, std::string& reason) {
  std::optional<PrivateFile> file = PrivateFile::create(path, reason);
  if (!file) return false;
  for (std::string_view piece = document.next(); !piece.empty(); piece = document.next()) {
    if (!file->append(piece, reason)) return false;
  }
  return file->finish(reason);
}

}  // namespace

std::string ZplSubmission::randomUuid() {
  g_autofree gchar* text = g_uuid_string_random();
  g_autofree gchar* upper = g_ascii_strup(text, -1);
  return upper;
}

bool ZplSubmission::submitZplToPrinter(const std::string& printerName, std::string_view zpl) const {
  // The document is read where the caller keeps it and normalised afresh,
  // in pieces, for the file and for each standard-input attempt: it is
  // never copied whole, and every attempt gets the same bytes.
  ZplDocumentPieces document(zpl);
  std::string reason;
  std::optional<std::string> path =
      PathInDirectory(TemporaryDirectory(), "corvella_" + uuids_() + ".zpl");
  if (!WriteDocument(*path, document, reason)) {
    Log("ZPL write failed: " + reason);
    path.reset();
  }

  // The four attempts, one after another, until one exits with status 0.
  // The file attempts run only on a file that this call created and wrote
  // whole. Once its write fails the name belongs to nobody: whatever is
  // found there later (a file or a link someone put there) must never be
  // printed, so the two file attempts are logged as not run and the
  // standard-input attempts carry the label. The file stays after the
  // call, whatever the outcome.
  if (path) {
    const ShellStatus lp = runShellStatus(tools_.lp, {"-d", printerName, "-o", "raw", *path});
    if (lp.status == 0) return true;
    Log(FileAttemptFailure("lp", lp));
    const ShellStatus lpr = runShellStatus(tools_.lpr, {"-P", printerName, "-o", "raw", *path});
    if (lpr.status == 0) return true;
    Log(FileAttemptFailure("lpr", lpr));
  } else {
    const ShellStatus skipped{-1, "not run: this call has no label file written whole"};
    Log(FileAttemptFailure("lp", skipped));
    Log(FileAttemptFailure("lpr", skipped));
  }
  const ChildProcess::Input input = [&document] { return document.next(); };
  document.rewind();
  if (runShellStatusWithInput(tools_.lp, {"-d", printerName, "-o", "raw", "-"}, input) == 0) {
    return true;
  }
  document.rewind();
  return runShellStatusWithInput(tools_.lpr, {"-P", printerName, "-o", "raw", "-"}, input) == 0;
}

}  // namespace corvella
