// The removal of the program file and its folder, which the program cannot
// do itself while it runs: a batch file in the temporary folder, started
// through the command interpreter, waits for the program to end and then
// deletes both.
#pragma once

#include <cstddef>

#include "platform/text.h"

constexpr char kBatchFileName[] = "Uninstall_Orv.Bat";

// A path as the batch file holds it: every '%' doubled.
constexpr std::size_t kBatchPathSize = 2 * kPathSize;
// Room for the batch file: a start line, five attempts and the end, none
// holding more than three paths.
constexpr std::size_t kBatchPieceSize = 3 * kBatchPathSize + 64;
constexpr std::size_t kBatchSize = 7 * kBatchPieceSize;

// Composes the batch file for the program at programPath in the folder
// programFolder (no trailing backslash unless it is a drive root), to be
// stored at batchPath; the three paths are given as the batch file holds
// them (BatchFilePath). The 9x family's start line goes through "start
// /wait". A quiet batch file passes the quiet switch on to the instances it
// starts. False when it does not fit.
bool ComposeSelfRemovalBatch(char* batch, std::size_t capacity, const char* programPath,
                             const char* programFolder, const char* batchPath, bool ntFamily,
                             bool quiet = false);

// A path as the command interpreter must read it from a batch file: in the
// OEM code page when every character converts there and back, else in its
// short form when that does, with every '%' doubled so that nothing of it is
// taken for a variable. False, with out emptied, when neither form can be
// written or the result does not fit.
bool BatchFilePath(const char* path, char* out, std::size_t capacity);

// The command line that runs the batch file through interpreter. On the 9x
// family "I /c "B"", B its path. On the NT family the batch file is named
// in the interpreter's current folder, which must be the batch file's own:
// cmd expands a defined %NAME% on its command line (Wine's cmd expands
// again what it put in, so not even a variable holding the path helps),
// and so no part of a path may stand there. /d leaves out the AutoRun
// commands (a "chcp" there would misread the batch file), /v:off the
// delayed expansion that would eat the '!' of a path.
bool ComposeInterpreterCommand(char* command, std::size_t capacity, const char* interpreter,
                               const char* batchPath, bool ntFamily);

enum class SelfRemovalStart {
  Started,
  // Nothing is reported: the batch file could not be composed or written
  // whole, or the interpreter did not start.
  Failed,
  // A path cannot be written in the batch file (BatchFilePath), or the
  // temporary folder cannot be the interpreter's own: a batch file that
  // cannot work is not started, and the program file and its folder stay.
  PathNotWritable,
};

// Writes the batch file to the temporary folder, makes a folder outside the
// program folder the current one (the temporary folder on the NT family,
// the program folder's parent on the 9x family) and starts the batch file
// hidden through the interpreter that "COMSPEC" names, or without it
// through the system's own ("cmd.exe" in the system folder, "COMMAND.COM"
// in the Windows folder on the 9x family). A quiet batch file starts only
// quiet instances.
SelfRemovalStart StartSelfRemoval(const char* programPath, const char* programFolder,
                                  bool quiet = false);
