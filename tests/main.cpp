#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

// The driver's own tests run with this main too, without the program's code.
#if __has_include("localization/messages.h")
#include "localization/messages.h"
#define KORVIK_TEST_TEXTS 1
#endif

namespace {

constexpr DWORD kThreadStartTimeoutMs = 10000;

std::atomic<HANDLE> threadStarted{nullptr};

// Runs in every new thread of this program once the loader has set it up.
void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID) {
  HANDLE event = threadStarted;
  if (reason == DLL_THREAD_ATTACH && event != nullptr) SetEvent(event);
}

// GoogleTest starts a thread that watches the main thread the first time a
// thread-local value of its own is used (SCOPED_TRACE uses one), and Wine
// now and then crashes a process that ends while a thread is still
// starting. Start that thread here, before any test, and wait until it runs.
void StartGoogleTestWatcher() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return;
  threadStarted = event;
  { SCOPED_TRACE("starts the watcher thread"); }
  WaitForSingleObject(event, kThreadStartTimeoutMs);
  threadStarted = nullptr;
  CloseHandle(event);
}

}  // namespace

// The loader calls the functions of this section for each thread it starts.
extern "C" __attribute__((section(".CRT$XLF"), used))
const PIMAGE_TLS_CALLBACK korvikThreadCallback = OnThreadEvent;

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  StartGoogleTestWatcher();
#ifdef KORVIK_TEST_TEXTS
  // As the entry routine does: the program module serves the built-in
  // texts. No language library lies beside the test programs.
  extResource.Load(GetModuleHandleA(nullptr));
#endif
  return RUN_ALL_TESTS();
}
