// Shell link files (".lnk") through the shell's link object, IShellLinkA
// with IPersistFile. COM must be initialised on the calling thread.
#pragma once

#include <cstddef>

// Owns one COM interface pointer and releases it when it goes.
template <typename T>
class ComInterface {
 public:
  ComInterface() = default;
  ~ComInterface() { Reset(); }
  ComInterface(const ComInterface&) = delete;
  ComInterface& operator=(const ComInterface&) = delete;

  T* Get() const { return interface_; }
  T* operator->() const { return interface_; }
  explicit operator bool() const { return interface_ != nullptr; }

  // For the calls that hand out an interface; whatever was held goes first.
  T** Out() {
    Reset();
    return &interface_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

  void Reset() {
    if (interface_ == nullptr) return;
    interface_->Release();
    interface_ = nullptr;
  }

 private:
  T* interface_ = nullptr;
};

// The longest link path IPersistFile takes, and the longest target a link
// holds, in UTF-16 units with the terminator.
constexpr std::size_t kLinkPathWideSize = 260;

// Writes a link file to target with the description, when one is given;
// nothing else is set (no arguments, working folder, icon or hotkey). An
// existing file is overwritten. False, with nothing written, when the link
// object cannot be made, takes no target or cannot be saved. A link path or
// target that does not convert whole within kLinkPathWideSize units is
// refused before anything is saved: cut, either would name another file.
bool CreateShellLink(const char* target, const char* description, const char* linkPath);

// Reads a link file back through the same link object: its target path and
// description, each cut to fit and always terminated. False, with both
// emptied, when the file cannot be loaded.
bool ReadShellLink(const char* linkPath, char* target, std::size_t targetSize, char* description,
                   std::size_t descriptionSize);
