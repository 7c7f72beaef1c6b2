#include "uninstall/self_removal.h"

#include <cstring>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/stream.h"
#include "platform/text.h"

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
                             const char* programFolder, const char* batchPath, bool ntFamily) {
  if (capacity == 0) return false;
  batch[0] = '\0';
  char piece[kBatchPieceSize];
  // The second instance pauses until this one has ended and freed its file;
  // the interpreter waits for it before it goes on.
  bool formatted = ntFamily
                       ? FormatText(piece, sizeof piece, "\"%s\" /wait\r\n", programPath)
                       : FormatText(piece, sizeof piece, "start /wait \"%s\" /wait\r\n", programPath);
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
                         "if exist \"%s\" \"%s\" /warning\r\n"
                         "del \"%s\"",
                         programPath, programPath, batchPath);
  return AppendPiece(batch, capacity, formatted, piece);
}

void StartSelfRemoval(const char* programPath, const char* programFolder) {
  char batchPath[kPathSize];
  if (!GetTemporaryFolder(batchPath, kPathSize) || !AppendText(batchPath, kBatchFileName)) return;

  static char batch[kBatchSize];
  if (!ComposeSelfRemovalBatch(batch, kBatchSize, programPath, programFolder, batchPath,
                               NtMajorVersion() != 0) ||
      !WriteWholeFile(batchPath, batch, std::strlen(batch))) {
    return;
  }

  char interpreter[kInterpreterSize];
  if (!GetInterpreter(interpreter, kInterpreterSize)) return;
  char commandLine[kCommandLineSize];
  if (!FormatText(commandLine, kCommandLineSize, "%s /c \"%s\"", interpreter, batchPath)) return;

  // The interpreter inherits the current folder, which must not be the
  // folder it is to remove.
  SetCurrentFolder("..");
  StartInBackground(commandLine);
}
