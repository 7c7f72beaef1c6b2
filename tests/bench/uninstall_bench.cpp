// uninstall_bench: how long the uninstall run takes.
//
//   uninstall_bench [--smoke]
//
// 1. The deletion passes alone, in this process, over generated
//    installations listed in three orders: contents before their folders
//    (the installer's order: two passes), folders before their contents
//    (a pass more per folder level) and one deep folder chain from the
//    outside in. Each case is built afresh and timed three times; the best
//    time is shown, beside the time it took to create the same files.
// 2. The whole program end to end, silent: from its start to its end, and
//    to the moment the batch file has removed the program and its folder
//    (which includes the second instance's pause of 2 s).
//
// --smoke runs small cases once, for the test suite: the benchmark must not
// rot. Prints a table; the exit code is 0 when every case removed
// everything it should.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "e2e/sandbox.h"
#include "platform/stream.h"
#include "support/test_support.h"
#include "uninstall/deletion_passes.h"

namespace {

constexpr char kBenchRoot[] = "C:\\KorvikBench";
constexpr int kRepeats = 3;

double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

enum class Order { ContentsFirst, FoldersFirst };

// A generated installation: folders levels deep under each of the top
// folders, files spread over the deepest folders.
struct Shape {
  const char* name;
  int topFolders;
  int depth;
  int filesPerFolder;
  Order order;
};

struct Installation {
  std::vector<std::string> folders;  // outside in
  std::vector<std::string> files;
};

Installation Describe(const Shape& shape) {
  Installation installation;
  for (int top = 0; top < shape.topFolders; ++top) {
    std::string folder = "dir" + std::to_string(top);
    installation.folders.push_back(folder);
    for (int level = 1; level < shape.depth; ++level) {
      folder += "\\level" + std::to_string(level);
      installation.folders.push_back(folder);
    }
    for (int file = 0; file < shape.filesPerFolder; ++file) {
      installation.files.push_back(folder + "\\file" + std::to_string(file) + ".dat");
    }
  }
  return installation;
}

std::string ListText(const Installation& installation, Order order) {
  std::string list;
  if (order == Order::FoldersFirst) {
    for (const std::string& folder : installation.folders) list += folder + "\r\n";
    for (const std::string& file : installation.files) list += file + "\r\n";
  } else {
    for (const std::string& file : installation.files) list += file + "\r\n";
    for (auto it = installation.folders.rbegin(); it != installation.folders.rend(); ++it) {
      list += *it + "\r\n";
    }
  }
  return list;
}

// Creates the files and folders under folder; the milliseconds it took.
double Create(const std::string& folder, const Installation& installation) {
  double start = NowMs();
  for (const std::string& relative : installation.folders) {
    CreateDirectoryA((folder + "\\" + relative).c_str(), nullptr);
  }
  for (const std::string& relative : installation.files) {
    test::WriteWholeFile(folder + "\\" + relative, "Korvik");
  }
  return NowMs() - start;
}

bool OnlyListLeft(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool onlyList = true;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != ".." && name != "Uninstall.lst") onlyList = false;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return onlyList;
}

bool BenchPasses(const Shape& shape, int repeats) {
  const std::string folder = std::string(kBenchRoot) + "\\passes";
  Installation installation = Describe(shape);
  std::size_t entries = installation.files.size() + installation.folders.size();
  double best = 1e30, create = 1e30;
  int passes = 0;
  bool removed = true;
  for (int run = 0; run < repeats; ++run) {
    test::RemoveTree(folder);
    test::MakeFolders(folder);
    create = std::min(create, Create(folder, installation));
    std::string listPath = folder + "\\Uninstall.lst";
    test::WriteWholeFile(listPath, ListText(installation, shape.order));
    ByteStream list;
    list.OpenRead(listPath.c_str());
    double start = NowMs();
    DeletionOutcome outcome =
        RunDeletionPasses(list, (folder + "\\").c_str(), (folder + "\\uninstall.exe").c_str());
    best = std::min(best, NowMs() - start);
    list.Close();
    passes = outcome.passes;
    removed = removed && OnlyListLeft(folder) && !outcome.restartNeeded;
  }
  test::RemoveTree(folder);
  double visits = static_cast<double>(passes) * static_cast<double>(entries);
  std::printf("  %-34s %7zu %6d %10.1f %10.1f %9.1f  %s\n", shape.name, entries, passes, best,
              create, 1000.0 * best / visits, removed ? "ok" : "ENTRIES LEFT");
  return removed;
}

bool BenchWholeRun(const Shape& shape) {
  e2e::Sandbox sandbox("bench-run");
  Installation installation = Describe(shape);
  Create(sandbox.Folder(), installation);
  std::string list = ListText(installation, shape.order) + "Korvik.exe\r\nuninstall.exe\r\n";
  sandbox.WriteFile("Uninstall.lst", list);
  std::string temp = sandbox.Root() + "\\temp";
  test::MakeFolders(temp);

  driver::StartOptions options = sandbox.Options("/s");
  options.setEnv = {"TEMP=" + temp, "TMP=" + temp};
  options.keepChildren = true;
  driver::Process process;
  double start = NowMs();
  if (!driver::Start(process, options)) return false;
  DWORD code = 1;
  bool ended = driver::WaitForExit(process, 120000, &code);
  double runMs = NowMs() - start;
  bool gone = test::WaitForPath(sandbox.Folder(), false, 120000);
  double goneMs = NowMs() - start;
  std::size_t entries = installation.files.size() + installation.folders.size() + 2;
  std::printf("  %-34s %7zu %13.0f %18.0f  %s\n", shape.name, entries, runMs, goneMs,
              ended && code == 0 && gone ? "ok" : "NOT REMOVED");
  return ended && code == 0 && gone;
}

}  // namespace

int main(int argc, char** argv) {
  bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
  const Shape smallShapes[] = {
      {"contents first, 2 levels", 5, 2, 10, Order::ContentsFirst},
      {"folders first, 2 levels", 5, 2, 10, Order::FoldersFirst},
  };
  const Shape shapes[] = {
      {"contents first, 100 x 2 levels", 100, 2, 20, Order::ContentsFirst},
      {"folders first, 100 x 2 levels", 100, 2, 20, Order::FoldersFirst},
      {"contents first, 50 x 8 levels", 50, 8, 40, Order::ContentsFirst},
      {"folders first, 50 x 8 levels", 50, 8, 40, Order::FoldersFirst},
      {"one chain of 25 levels, outside in", 1, 25, 100, Order::FoldersFirst},
      {"contents first, 10000 files", 100, 1, 100, Order::ContentsFirst},
  };

  bool ok = true;
  std::printf("Deletion passes (best of %d; ms; us per entry per pass)\n", smoke ? 1 : kRepeats);
  std::printf("  %-34s %7s %6s %10s %10s %9s\n", "case", "entries", "passes", "passes ms",
              "create ms", "us/visit");
  if (smoke) {
    for (const Shape& shape : smallShapes) ok = BenchPasses(shape, 1) && ok;
  } else {
    for (const Shape& shape : shapes) ok = BenchPasses(shape, kRepeats) && ok;
  }

  std::printf("\nWhole program, silent (ms from start)\n");
  std::printf("  %-34s %7s %13s %18s\n", "case", "entries", "program ended", "folder removed");
  const Shape runShapes[] = {
      {"contents first, 100 x 2 levels", 100, 2, 20, Order::ContentsFirst},
      {"folders first, 50 x 8 levels", 50, 8, 40, Order::FoldersFirst},
  };
  if (smoke) {
    ok = BenchWholeRun(smallShapes[0]) && ok;
  } else {
    for (const Shape& shape : runShapes) ok = BenchWholeRun(shape) && ok;
  }
  test::RemoveTree(kBenchRoot);
  return ok ? 0 : 1;
}
