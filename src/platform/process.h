// Starting another program.
#pragma once

// Starts the command line with no window, inheriting handles, the
// environment and the current folder, and does not wait for it. The NT
// family shows it hidden; the 9x family runs it detached from any console
// with its standard input, output and error on "NUL". False when it did not
// start; the caller is given no handle.
bool StartInBackground(const char* commandLine);
