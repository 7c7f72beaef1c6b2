// The integration choices of a setup run and the fixed table of archive
// types. A record of all zeros stands for "remove every integration".
#pragma once

#include <cstddef>

constexpr std::size_t kTypeFlagCount = 20;  // 0 to 13 in use
constexpr std::size_t kArchiveTypeCount = 14;

struct IntegrationSettings {
  unsigned char TypeFlags[kTypeFlagCount];
  unsigned char Desktop;
  unsigned char StartMenu;
  unsigned char Programs;
  unsigned char ShellExt;
  unsigned char CascadedMenu;
  unsigned char MenuIcons;
};
static_assert(sizeof(IntegrationSettings) == 26, "26 one-byte flags");

struct ArchiveType {
  int checkBox;             // 5101 + row
  const char* label;        // check box text
  const char* settingsKey;  // under the product key
  const char* extensions;   // dot-led, one after the other
};

// Rows in the fixed order: the row index is the index into TypeFlags.
constexpr ArchiveType kArchiveTypes[kArchiveTypeCount] = {
    {5101, "&ORV", "Setup\\.orv", ".orv"},
    {5102, "&ZIP", "Setup\\.zip", ".zip"},
    {5103, "CAB", "Setup\\.cab", ".cab"},
    {5104, "ARJ", "Setup\\.arj", ".arj"},
    {5105, "LZH", "Setup\\.lzh", ".lzh.lha"},
    {5106, "ACE", "Setup\\.ace", ".ace"},
    {5107, "7-Zip", "Setup\\.7z", ".7z"},
    {5108, "TAR", "Setup\\.tar", ".tar"},
    {5109, "GZip", "Setup\\.gz", ".gz.tgz"},
    {5110, "UUE", "Setup\\.uue", ".uue.xxe.uu"},
    {5111, "BZ2", "Setup\\.bz2", ".bz2.tbz2.bz.tbz"},
    {5112, "JAR", "Setup\\.jar", ".jar"},
    {5113, "ISO", "Setup\\.iso", ".iso"},
    {5114, "Z", "Setup\\.z", ".z.taz"},
};

constexpr std::size_t kTypeOrv = 0;
constexpr std::size_t kTypeZip = 1;
constexpr std::size_t kTypeJar = 11;
constexpr std::size_t kTypeIso = 12;
