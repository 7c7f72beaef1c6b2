// uninstall_bench: how long the uninstall run takes.
//
//   uninstall_bench [--smoke] [--rounds N] [--files N] [--compare-only]
//   uninstall_bench --floor LIST   (the native floor; see below)
//
// 1. The comparison: an installation of 20,000 files in 1,364 folders
//    nested five deep (the number of files can be changed with --files),
//    removed by each contender, N rounds (3), the contenders interleaved
//    and in a turning order, each on a tree made afresh; medians and their
//    ratio to the floor are shown, with every round's time:
//    - the floor: a native program making one DeleteFileA or
//      RemoveDirectoryA call per entry, children first, from a list of full
//      paths made beforehand (this program, run with --floor);
//    - a silent run of the real uninstall.exe ("/s"), the list naming
//      contents before their folders (the installer's order);
//    - the same, the list naming every folder before its contents;
//    - "cmd /c rd /s /q" of the folder.
//    All are started the same way from here and timed from their start to
//    their end. The program prints nothing, so its passes are counted by
//    running the very same pass code (RunDeletionPasses) in this process
//    over an identical tree and list.
// 2. The deletion passes alone, in this process, over generated
//    installations listed in three orders: contents before their folders,
//    folders before their contents and one deep folder chain from the
//    outside in. Each case is built afresh and timed three times; the best
//    time is shown, beside the time it took to create the same files.
// 3. The whole program end to end, silent: from its start to its end, and
//    to the moment the batch file has removed the program and its folder.
//
// --smoke runs small cases once, for the test suite: the benchmark must not
// rot. Prints a table; the exit code is 0 when every case removed
// everything it should.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

bool OnlyEmptyFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool empty = true;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != ".." && name != "uninstall.exe" && name != "Korvik.exe")
      empty = false;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return empty;
}

bool BenchPasses(const Shape& shape, int repeats) {
  const std::string folder = std::string(kBenchRoot) + "\\passes";
  Installation installation = Describe(shape);
  std::size_t entries = installation.files.size() + installation.folders.size();
  double best = 1e30, create = 1e30;
  int passes = 0;
  long tried = 0;
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
    tried = outcome.tried;
    removed = removed && OnlyListLeft(folder) && !outcome.restartNeeded;
  }
  test::RemoveTree(folder);
  std::printf("  %-34s %7zu %6d %7ld %10.1f %10.1f %9.1f  %s\n", shape.name, entries, passes, tried,
              best, create, 1000.0 * best / static_cast<double>(tried),
              removed ? "ok" : "ENTRIES LEFT");
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

// A tree of folders `depth` levels deep, `fanOut` folders in each folder,
// and `files` files dealt out over all the folders in turn.
struct Tree {
  int depth;
  int fanOut;
  int files;
};

// The tree's entries, every folder before its contents: a folder, its
// files, then its subfolders, each in the same way.
void ListTree(const Tree& tree, const std::string& folder, int level,
              const std::vector<int>& filesPerFolder, int& folderIndex,
              std::vector<std::string>& entries, std::vector<bool>& isFolder) {
  entries.push_back(folder);
  isFolder.push_back(true);
  int files = filesPerFolder[static_cast<std::size_t>(folderIndex++)];
  for (int file = 0; file < files; ++file) {
    entries.push_back(folder + "\\file" + std::to_string(file) + ".dat");
    isFolder.push_back(false);
  }
  if (level == tree.depth) return;
  for (int sub = 0; sub < tree.fanOut; ++sub) {
    ListTree(tree, folder + "\\d" + std::to_string(sub), level + 1, filesPerFolder, folderIndex,
             entries, isFolder);
  }
}

struct TreeList {
  std::vector<std::string> entries;  // in list order
  std::vector<bool> isFolder;
  int folders = 0;
};

TreeList DescribeTree(const Tree& tree) {
  int folders = 0;
  for (int level = 1, count = tree.fanOut; level <= tree.depth; ++level, count *= tree.fanOut) {
    folders += count;
  }
  std::vector<int> filesPerFolder(static_cast<std::size_t>(folders), tree.files / folders);
  for (int i = 0; i < tree.files % folders; ++i) ++filesPerFolder[static_cast<std::size_t>(i)];
  TreeList list;
  list.folders = folders;
  int folderIndex = 0;
  for (int top = 0; top < tree.fanOut; ++top) {
    ListTree(tree, "d" + std::to_string(top), 1, filesPerFolder, folderIndex, list.entries,
             list.isFolder);
  }
  return list;
}

void CreateTree(const std::string& folder, const TreeList& list) {
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    std::string path = folder + "\\" + list.entries[i];
    if (list.isFolder[i]) {
      CreateDirectoryA(path.c_str(), nullptr);
    } else {
      test::WriteWholeFile(path, "Korvik");
    }
  }
}

std::string TreeListText(const TreeList& list) {
  std::string text;
  for (const std::string& entry : list.entries) text += entry + "\r\n";
  return text;
}

// Written data of the tree's creation goes to the disk before a removal is
// timed (Wine maps Z: to the Unix root; on Windows this does nothing).
void SettleDisk() { test::RunAndWait("Z:\\bin\\sync", 60000); }

std::string SystemInterpreter() {
  char folder[MAX_PATH];
  GetSystemDirectoryA(folder, sizeof folder);
  return std::string(folder) + "\\cmd.exe";
}

// Starts a program as the benchmark starts both contenders, and gives the
// milliseconds to its end; negative when it failed or did not end.
double TimeProgram(const driver::StartOptions& options) {
  driver::Process process;
  double start = NowMs();
  if (!driver::Start(process, options)) return -1;
  DWORD code = 1;
  if (!driver::WaitForExit(process, 600000, &code) || code != 0) return -1;
  return NowMs() - start;
}

// The tree's entries, contents before their folders and every folder after
// its subfolders: children first.
// Folders marked with a trailing backslash when marked is set.
std::vector<std::string> ChildrenFirst(const TreeList& list, bool marked = false) {
  std::vector<std::string> entries;
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    if (!list.isFolder[i]) entries.push_back(list.entries[i]);
  }
  for (std::size_t i = list.entries.size(); i-- > 0;) {
    if (list.isFolder[i]) entries.push_back(list.entries[i] + (marked ? "\\" : ""));
  }
  return entries;
}

std::string Lines(const std::vector<std::string>& entries, const std::string& prefix = "") {
  std::string text;
  for (const std::string& entry : entries) text += prefix + entry + "\r\n";
  return text;
}

double TimeUninstall(const TreeList& list, const std::string& listText) {
  e2e::Sandbox sandbox("bench-uninstall");
  CreateTree(sandbox.Folder(), list);
  sandbox.WriteFile("Uninstall.lst", listText + "Korvik.exe\r\nuninstall.exe\r\n");
  std::string temp = sandbox.Root() + "\\temp";
  test::MakeFolders(temp);
  driver::StartOptions options = sandbox.Options("/s");
  options.setEnv = {"TEMP=" + temp, "TMP=" + temp};
  options.keepChildren = true;
  SettleDisk();
  double ms = TimeProgram(options);
  // Everything listed went before the program ended: the batch file only
  // removes the program and the emptied folder.
  if (!test::WaitForPath(sandbox.Folder(), false, 120000)) return -1;
  return ms;
}

double TimeRd(const TreeList& list) {
  e2e::Sandbox sandbox("bench-rd");
  CreateTree(sandbox.Folder(), list);
  driver::StartOptions options;
  options.exe = SystemInterpreter();
  options.args = "/c rd /s /q \"" + sandbox.Folder() + "\"";
  options.workDir = sandbox.Root();
  SettleDisk();
  double ms = TimeProgram(options);
  return test::Exists(sandbox.Folder()) ? -1 : ms;
}

std::string ThisProgram() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length < sizeof path ? length : 0);
}

double TimeFloor(const TreeList& list) {
  e2e::Sandbox sandbox("bench-floor");
  CreateTree(sandbox.Folder(), list);
  std::string listPath = sandbox.Root() + "\\floor.lst";
  test::WriteWholeFile(listPath, Lines(ChildrenFirst(list, true), sandbox.Folder() + "\\"));
  driver::StartOptions options;
  options.exe = ThisProgram();
  options.args = "--floor \"" + listPath + "\"";
  options.workDir = sandbox.Root();
  SettleDisk();
  double ms = TimeProgram(options);
  return OnlyEmptyFolder(sandbox.Folder()) ? ms : -1;
}

// The floor itself: one call per line of the list, RemoveDirectoryA for a
// folder (marked with a trailing backslash), else DeleteFileA; the exit
// code is the number of calls that failed.
int RunFloor(const char* listPath) {
  std::FILE* list = std::fopen(listPath, "rb");
  if (!list) return 1;
  int failed = 0;
  char line[2048];
  while (std::fgets(line, sizeof line, list)) {
    std::size_t length = std::strcspn(line, "\r\n");
    line[length] = '\0';
    if (length == 0) continue;
    bool folder = line[length - 1] == '\\';
    if (folder) line[length - 1] = '\0';
    if (!(folder ? RemoveDirectoryA(line) : DeleteFileA(line))) ++failed;
  }
  std::fclose(list);
  return failed;
}

// The passes the program runs over this tree and list: the same code, in
// this process, over an identical tree.
DeletionOutcome CountPasses(const TreeList& list, const std::string& listText, double& passesMs) {
  e2e::Sandbox sandbox("bench-passes");
  CreateTree(sandbox.Folder(), list);
  std::string listPath = sandbox.Path("Uninstall.lst");
  test::WriteWholeFile(listPath, listText);
  ByteStream stream;
  stream.OpenRead(listPath.c_str());
  SettleDisk();
  double start = NowMs();
  DeletionOutcome outcome =
      RunDeletionPasses(stream, (sandbox.Folder() + "\\").c_str(), sandbox.ProgramPath().c_str());
  passesMs = NowMs() - start;
  stream.Close();
  return outcome;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  if (n == 0) return -1;
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Figures(const std::vector<double>& values) {
  std::string text;
  char one[32];
  for (double value : values) {
    std::snprintf(one, sizeof one, "%s%.0f", text.empty() ? "" : " ", value);
    text += one;
  }
  return text;
}

struct Contender {
  const char* name;
  std::vector<double> ms;
};

bool CompareWithFloor(const Tree& tree, int rounds) {
  TreeList list = DescribeTree(tree);
  std::size_t files = list.entries.size() - static_cast<std::size_t>(list.folders);
  const std::string contentsFirst = Lines(ChildrenFirst(list));
  const std::string foldersFirst = TreeListText(list);
  std::printf(
      "Removal of %zu files in %d folders nested %d deep; contenders interleaved,\n"
      "a new tree each time, median of %d round%s, ms from start to end\n",
      files, list.folders, tree.depth, rounds, rounds == 1 ? "" : "s");
  Contender contenders[] = {{"native floor, one call per entry", {}},
                            {"uninstall.exe /s, contents first", {}},
                            {"uninstall.exe /s, folders first", {}},
                            {"cmd /c rd /s /q", {}}};
  constexpr int kContenders = 4;
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    // A turning order, so that none always runs on a machine another has
    // just stirred.
    for (int turn = 0; turn < kContenders; ++turn) {
      int which = (round + turn) % kContenders;
      double ms = which == 0   ? TimeFloor(list)
                  : which == 1 ? TimeUninstall(list, contentsFirst)
                  : which == 2 ? TimeUninstall(list, foldersFirst)
                               : TimeRd(list);
      ok = ok && ms >= 0;
      contenders[which].ms.push_back(ms);
    }
  }
  double floor = Median(contenders[0].ms);
  std::printf("  %-36s %8s %8s   %s\n", "contender", "median", "/ floor", "rounds");
  for (const Contender& contender : contenders) {
    double median = Median(contender.ms);
    std::printf("  %-36s %8.0f %8.2f   %s\n", contender.name, median, median / floor,
                Figures(contender.ms).c_str());
  }
  bool counted = true;
  for (const std::string* text : {&contentsFirst, &foldersFirst}) {
    double passesMs = 0;
    DeletionOutcome outcome = CountPasses(list, *text, passesMs);
    std::printf("  passes, %s: %d (%ld entries looked at, %ld removed, %.0f ms in this process)\n",
                text == &contentsFirst ? "contents first" : "folders first", outcome.passes,
                outcome.tried, outcome.removed, passesMs);
    counted = counted && outcome.removed == static_cast<long>(list.entries.size()) &&
              !outcome.restartNeeded;
  }
  if (!ok || !counted) std::printf("  NOT REMOVED\n");
  return ok && counted;
}

}  // namespace

int main(int argc, char** argv) {
  bool smoke = false;
  bool compareOnly = false;
  int rounds = 3;
  int files = 20000;
  if (argc == 3 && std::strcmp(argv[1], "--floor") == 0) return RunFloor(argv[2]);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--smoke") == 0) {
      smoke = true;
      rounds = 1;
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
      files = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--compare-only") == 0) {
      compareOnly = true;
    }
  }
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

  const Tree comparison = smoke ? Tree{5, 2, 200} : Tree{5, 4, files};
  bool ok = CompareWithFloor(comparison, rounds);
  if (compareOnly) {
    test::RemoveTree(kBenchRoot);
    return ok ? 0 : 1;
  }

  std::printf("\nDeletion passes (best of %d; ms; us per entry looked at)\n", smoke ? 1 : kRepeats);
  std::printf("  %-34s %7s %6s %7s %10s %10s %9s\n", "case", "entries", "passes", "looked",
              "passes ms", "create ms", "us/look");
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
