#include "uninstall/self_removal.h"

#include <cstring>

#include "installation/installation.h"
#include "platform/code_page.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "uninstall/uninstall_run.h"

namespace {

constexpr int kDeleteAttempts = 5;
// A path and the quotes around it.
constexpr std::size_t kInterpreterSize = kPathSize + 2;
constexpr std::size_t kCommandLineSize = kInterpreterSize + kPathSize + 16;

// Adds a formatted piece to the batch text; false when it does not fit.
bool AppendPiece(char* batch, std::size_t capacity, bool formatted, const char* piece) {
  return formatted && AppendText(batch, capacity, piece);
}

// The interpreter that "COMSPEC" names, as it stands. Without it (or with
// one too long to hold) the command line would begin with a blank and start
// nothing, leaving the program and its folder; the system's own
// interpreter is taken instead, quoted when its path holds a blank.
bool GetInterpreter(char* interpreter, std::size_t capacity) {
  if (ReadEnvironmentVariable("COMSPEC", interpreter, capacity)) return true;
  char path[kPathSize];
  if (!GetSystemInterpreter(path, kPathSize)) return false;
  return std::strchr(path, ' ') != nullptr ? FormatText(interpreter, capacity, "\"%s\"", path)
                                           : CopyText(interpreter, capacity, path);
}

}  // namespace

bool ComposeSelfRemovalBatch(char* batch, std::size_t capacity, const char* programPath,
                             const char* programFolder, const char* batchPath, bool ntFamily,
                             bool quiet) {
  if (capacity == 0) return false;
  batch[0] = '\0';
  char piece[kBatchPieceSize];
  // Passed on after the switch of each instance the batch file starts.
  char passedOn[1 + sizeof kQuietSwitch] = "";
  if (quiet) FormatText(passedOn, sizeof passedOn, " %s", kQuietSwitch);
  // The second instance pauses until this one has ended and freed its file;
  // the interpreter waits for it before it goes on.
  bool formatted =
      ntFamily ? FormatText(piece, sizeof piece, "\"%s\" /wait%s\r\n", programPath, passedOn)
               : FormatText(piece, sizeof piece, "start /wait \"%s\" /wait%s\r\n", programPath,
                            passedOn);
  if (!AppendPiece(batch, capacity, formatted, piece)) return false;

  formatted = FormatText(piece, sizeof piece,
                         "del \"%s\"\r\n"
                         "rd \"%s\"\r\n"
                         "if not exist \"%s\" goto done\r\n",
                         programPath, programFolder, programPath);
  for (int i = 0; i < kDeleteAttempts; ++i) {
    if (!AppendPiece(batch, capacity, formatted, piece)) return false;
  }

  // The last line has no line end.
  formatted = FormatText(piece, sizeof piece,
                         ":done\r\n"
                         "if exist \"%s\" \"%s\" /warning%s\r\n"
                         "del \"%s\"",
                         programPath, programPath, passedOn, batchPath);
  return AppendPiece(batch, capacity, formatted, piece);
}

bool BatchFilePath(const char* path, char* out, std::size_t capacity) {
  if (capacity == 0) return false;
  out[0] = '\0';
  char oem[kPathSize];
  if (!ConvertToOem(path, oem, kPathSize)) {
    char shortPath[kPathSize];
    if (!GetShortPath(path, shortPath, kPathSize) || !ConvertToOem(shortPath, oem, kPathSize)) {
      return false;
    }
  }
  // Byte by byte: no code page has '%' as the trail byte of a character.
  std::size_t used = 0;
  for (const char* p = oem; *p != '\0'; ++p) {
    std::size_t width = *p == '%' ? 2 : 1;
    if (used + width >= capacity) {
      out[0] = '\0';
      return false;
    }
    out[used++] = *p;
    if (width == 2) out[used++] = '%';
  }
  out[used] = '\0';
  return true;
}

bool ComposeInterpreterCommand(char* command, std::size_t capacity, const char* interpreter,
                               const char* batchPath, bool ntFamily) {
  return ntFamily
             ? FormatText(command, capacity, "%s /d /v:off /c .\\%s", interpreter, kBatchFileName)
             : FormatText(command, capacity, "%s /c \"%s\"", interpreter, batchPath);
}

SelfRemovalStart StartSelfRemoval(const char* programPath, const char* programFolder, bool quiet) {
  char temporaryFolder[kPathSize];
  char batchPath[kPathSize];
  if (!GetTemporaryFolder(temporaryFolder, kPathSize) || !CopyText(batchPath, temporaryFolder) ||
      !AppendText(batchPath, kBatchFileName)) {
    return SelfRemovalStart::Failed;
  }
  // The batch file's own path by its folder's form: the file is not there
  // yet to have a short form of its own, and its name needs none.
  char program[kBatchPathSize];
  char folder[kBatchPathSize];
  char self[kBatchPathSize];
  if (!BatchFilePath(programPath, program, kBatchPathSize) ||
      !BatchFilePath(programFolder, folder, kBatchPathSize) ||
      !BatchFilePath(temporaryFolder, self, kBatchPathSize) ||
      !AppendText(self, kBatchPathSize, kBatchFileName)) {
    return SelfRemovalStart::PathNotWritable;
  }
  bool ntFamily = NtMajorVersion() != 0;
  static char batch[kBatchSize];
  if (!ComposeSelfRemovalBatch(batch, kBatchSize, program, folder, self, ntFamily, quiet) ||
      !WriteWholeFile(batchPath, batch, std::strlen(batch))) {
    return SelfRemovalStart::Failed;
  }

  char interpreter[kInterpreterSize];
  char commandLine[kCommandLineSize];
  if (!GetInterpreter(interpreter, kInterpreterSize) ||
      !ComposeInterpreterCommand(commandLine, kCommandLineSize, interpreter, batchPath, ntFamily)) {
    return SelfRemovalStart::Failed;
  }
  // The interpreter inherits the current folder, which must not be the
  // folder it is to remove. On the NT family it finds the batch file there
  // (a folder the system will not make current, one over 258 characters,
  // say, leaves it nothing to run).
  if (!ntFamily) {
    SetCurrentFolder("..");
  } else if (!SetCurrentFolder(temporaryFolder)) {
    DeleteOneFile(batchPath);
    return SelfRemovalStart::PathNotWritable;
  }
  return StartInBackground(commandLine) ? SelfRemovalStart::Started : SelfRemovalStart::Failed;
}
