// The test seams of the registry layer.
#pragma once

#include "platform/registry.h"

namespace test {

// Puts every seam of the registry layer back as a process starts with it:
// writes in the process's own view, no write faults, the "W" calls working
// and no hook in DelRegTree's walk. Fixtures call it before and after each
// test, so that a test that stops half-way leaves none of them behind.
inline void ResetRegistrySeams() {
  SetRegView64(false);
  ClearRegWriteFaultsForTest();
  SetRegWideCallsFailForTest(false);
  SetDelRegTreeStepHookForTest(nullptr, nullptr);
}

}  // namespace test
