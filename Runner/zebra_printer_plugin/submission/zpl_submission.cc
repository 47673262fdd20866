#include "submission/zpl_submission.h"

#include <glib.h>

#include <optional>
#include <vector>

#include "process/child_spawn.h"
#include "process/process_runner.h"
#include "process/system_log.h"
#include "submission/private_file.h"
#include "submission/temporary_directory.h"
#include "submission/zpl_document.h"

namespace corvella {

namespace {

// "<tool>(file) failed (status N): <standard error>", the text given as is.
std::string FileAttemptFailure(const char* tool, const ShellStatus& outcome) {
  return std::string(tool) + "(file) failed (status " + std::to_string(outcome.status) +
         "): " + outcome.text.value_or(std::string());
}

// Writes the normalised document to a new private file at `path` piece by
// piece, so a large document is never held twice, and gives a descriptor
// that reads it. Labels carry names and addresses, and the directory is
// usually the shared /tmp.
std::optional<UniqueFd> WriteDocument(const std::string& path, ZplDocumentPieces& document,
                                      std::string& reason) {
  std::optional<PrivateFile> file = PrivateFile::create(path, reason);
  if (!file) return std::nullopt;
  for (std::string_view piece = document.next(); !piece.empty(); piece = document.next()) {
    if (!file->append(piece, reason)) return std::nullopt;
  }
  return file->finish(reason);
}

// The name under which a file attempt's tool opens the label file: the
// descriptor it is given, not the file's name in the temporary directory.
constexpr const char* kPassedFile = "/dev/fd/3";
static_assert(kPassedDescriptor == 3);

}  // namespace

std::string ZplSubmission::randomUuid() {
  g_autofree gchar* text = g_uuid_string_random();
  g_autofree gchar* upper = g_ascii_strup(text, -1);
  return upper;
}

bool ZplSubmission::submitZplToPrinter(const std::string& printer_name, std::string_view zpl,
                                       ChildStopper* stopper) const {
  // The document is read where the caller keeps it and normalised afresh,
  // in pieces, for the file and for each standard-input attempt: it is
  // never copied whole, and every attempt gets the same bytes.
  ZplDocumentPieces document(zpl);
  std::string reason;
  const std::string path = PathInDirectory(TemporaryDirectory(), "corvella_" + uuids_() + ".zpl");
  std::optional<UniqueFd> file = WriteDocument(path, document, reason);
  if (!file) Log("ZPL write failed: " + reason);
  const auto stopped = [stopper] { return stopper != nullptr && stopper->stopped(); };

  // The four attempts, one after another, until one exits with status 0;
  // none starts once the stopper has stopped. The file attempts run only on
  // a file that this call created and wrote whole, and its tool reads it
  // through the descriptor this call holds: what is found under its name
  // later (a file or a link someone renamed there) is never printed. When
  // there is no such file, the two file attempts are logged as not run and
  // the standard-input attempts carry the label. The file stays after the
  // call, whatever the outcome.
  const struct {
    const std::string& path;
    const char* name;
    const char* queue_option;
  } tools[] = {{tools_.lp, "lp", "-d"}, {tools_.lpr, "lpr", "-P"}};
  RunOptions options;
  options.stopper = stopper;
  for (const auto& tool : tools) {
    if (!file) {
      Log(FileAttemptFailure(tool.name,
                             {-1, "not run: this call has no label file written whole"}));
      continue;
    }
    if (stopped()) return false;
    options.passed = file->get();
    const ShellStatus attempt = ProcessRunner::runShellStatus(
        tool.path, {tool.queue_option, printer_name, "-o", "raw", kPassedFile}, options);
    if (attempt.status == 0) return true;
    Log(FileAttemptFailure(tool.name, attempt));
  }
  const ChildProcess::Input input = [&document] { return document.next(); };
  options.passed = -1;
  for (const auto& tool : tools) {
    if (stopped()) return false;
    document.rewind();
    const std::vector<std::string> arguments = {tool.queue_option, printer_name, "-o", "raw", "-"};
    if (ProcessRunner::runShellStatusWithInput(tool.path, arguments, input, options) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace corvella
