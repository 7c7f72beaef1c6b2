// The test seams of the localization: the language library of a fixture,
// and memory that runs out on cue.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "localization/language_text.h"
#include "localization/messages.h"
#include "support/test_support.h"

namespace test {

// Loads the language library of a fixture folder (tests/fixtures) as the
// program loads the one beside itself; true when it is loaded.
inline bool LoadFixtureLanguage(const char* folder) {
  extResource.Load(GetModuleHandleA(nullptr), FixtureFile(folder, "anything.txt").c_str());
  return extResource.IsLoaded();
}

// Lets the next `successes` reallocations of the language text succeed and
// fails the rest, for as long as the object lives.
class ScopedReallocationLimit {
 public:
  explicit ScopedReallocationLimit(int successes) {
    Left() = successes;
    languageReallocate = Limited;
  }
  ~ScopedReallocationLimit() {
    languageReallocate = saved_;
    Left() = -1;
  }
  ScopedReallocationLimit(const ScopedReallocationLimit&) = delete;
  ScopedReallocationLimit& operator=(const ScopedReallocationLimit&) = delete;

 private:
  static int& Left() {
    static int left = -1;  // -1: no limit
    return left;
  }
  static void* Limited(void* block, std::size_t size) {
    if (Left() == 0) return nullptr;
    if (Left() > 0) --Left();
    return std::realloc(block, size);
  }
  Reallocator saved_ = languageReallocate;
};

}  // namespace test
