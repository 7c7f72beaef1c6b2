#include <windows.h>

#include <gtest/gtest.h>

#include "localization/messages.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // As the entry routine does: the program module serves the built-in
  // texts. No language library lies beside the test programs.
  extResource.Load(GetModuleHandleA(nullptr));
  return RUN_ALL_TESTS();
}
