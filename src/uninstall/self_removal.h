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
// /wait". False when it does not fit.
bool ComposeSelfRemovalBatch(char* batch, std::size_t capacity, const char* programPath,
                             const char* programFolder, const char* batchPath, bool ntFamily);

// A path as the command interpreter must read it from a batch file: in the
// OEM code page when every character converts there and back, else in its
// short form when that does, with every '%' doubled so that nothing of it is
// taken for a variable. False, with out emptied, when neither form can be
// written or the result does not fit.
bool BatchFilePath(const char* path, char* out, std::size_t capacity);

// The command line that runs the batch file at batchPath through
// interpreter: "I /c "B"" on the 9x family; on the NT family the command
// in a second pair of quotes, "I /c ""B""", which the interpreter strips,
// so that a path holding & ( ) ^ @ < > | and a blank is still one name.
bool ComposeInterpreterCommand(char* command, std::size_t capacity, const char* interpreter,
                               const char* batchPath, bool ntFamily);

enum class SelfRemovalStart {
  Started,
  // Nothing is reported: the batch file could not be composed or written
  // whole, or the interpreter did not start.
  Failed,
  // A path cannot be written in the batch file (BatchFilePath): a batch
  // file that cannot work is not started, and the program file and its
  // folder stay.
  PathNotWritable,
};

// Writes the batch file to the temporary folder, makes the parent of the
// program folder the current folder and starts the batch file hidden
// through the interpreter that "COMSPEC" names, or without it through the
// system's own ("cmd.exe" in the system folder, "COMMAND.COM" in the
// Windows folder on the 9x family).
SelfRemovalStart StartSelfRemoval(const char* programPath, const char* programFolder);
