// The archiver's own program, which lives in this program's folder.
#pragma once

inline constexpr char kArchiverFileName[] = "Korvik.exe";
