// The removal of the program file and its folder, which the program cannot
// do itself while it runs: a batch file in the temporary folder, started
// through the command interpreter, waits for the program to end and then
// deletes both.
#pragma once

#include <cstddef>

#include "platform/text.h"

constexpr char kBatchFileName[] = "Uninstall_Orv.Bat";

// Room for the batch file: a start line, five attempts and the end, none
// holding more than three paths.
constexpr std::size_t kBatchPieceSize = 3 * kPathSize + 64;
constexpr std::size_t kBatchSize = 7 * kBatchPieceSize;

// Composes the batch file for the program at programPath in the folder
// programFolder (no trailing backslash unless it is a drive root), to be
// stored at batchPath. The 9x family's start line goes through "start
// /wait". False when it does not fit.
bool ComposeSelfRemovalBatch(char* batch, std::size_t capacity, const char* programPath,
                             const char* programFolder, const char* batchPath, bool ntFamily);

// Writes the batch file to the temporary folder, makes the parent of the
// program folder the current folder and starts the batch file hidden
// through the interpreter that "COMSPEC" names, or without it through the
// system's own ("cmd.exe" in the system folder, "COMMAND.COM" in the
// Windows folder on the 9x family). Nothing is reported: when the batch
// file cannot be composed or written whole, or the interpreter does not
// start, the program file and its folder stay.
void StartSelfRemoval(const char* programPath, const char* programFolder);
