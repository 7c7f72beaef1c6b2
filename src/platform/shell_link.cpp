#include "platform/shell_link.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "platform/text.h"

namespace {

// The length IShellLinkA::GetDescription takes (INFOTIPSIZE).
constexpr std::size_t kDescriptionSize = 1024;

// A path in UTF-16. MultiByteToWideChar leaves a path that does not fit cut
// and unterminated, and reports that only by its result.
bool ToWidePath(const char* path, WCHAR (&wide)[kLinkPathWideSize]) {
  return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, static_cast<int>(kLinkPathWideSize)) != 0;
}

bool MakeLinkObject(ComInterface<IShellLinkA>& link) {
  return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    link.OutVoid()));
}

}  // namespace

bool CreateShellLink(const char* target, const char* description, const char* linkPath) {
  WCHAR widePath[kLinkPathWideSize];
  if (!ToWidePath(linkPath, widePath)) return false;
  // The link object keeps no longer target: Wine saves a link to the drive
  // root instead, and reports success.
  WCHAR wideTarget[kLinkPathWideSize];
  if (!ToWidePath(target, wideTarget)) return false;

  ComInterface<IShellLinkA> link;
  if (!MakeLinkObject(link)) return false;
  // S_FALSE, for a target that does not exist yet, keeps the path all the
  // same.
  if (FAILED(link->SetPath(target))) return false;
  if (description != nullptr) link->SetDescription(description);

  ComInterface<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid()))) return false;
  return SUCCEEDED(file->Save(widePath, TRUE));
}

bool ReadShellLink(const char* linkPath, char* target, std::size_t targetSize, char* description,
                   std::size_t descriptionSize) {
  if (targetSize > 0) target[0] = '\0';
  if (descriptionSize > 0) description[0] = '\0';

  WCHAR widePath[kLinkPathWideSize];
  if (!ToWidePath(linkPath, widePath)) return false;
  ComInterface<IShellLinkA> link;
  if (!MakeLinkObject(link)) return false;
  ComInterface<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid()))) return false;
  if (FAILED(file->Load(widePath, STGM_READ))) return false;

  // The link object converts with WideCharToMultiByte, which leaves a text
  // that does not fit unterminated: read into room of our own, then copy.
  char path[kPathSize] = {};
  link->GetPath(path, static_cast<int>(kPathSize - 1), nullptr, SLGP_RAWPATH);
  path[kPathSize - 1] = '\0';
  CopyText(target, targetSize, path);

  char text[kDescriptionSize] = {};
  link->GetDescription(text, static_cast<int>(kDescriptionSize - 1));
  text[kDescriptionSize - 1] = '\0';
  CopyText(description, descriptionSize, text);
  return true;
}
