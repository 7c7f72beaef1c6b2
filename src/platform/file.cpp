#include "platform/file.h"

File::~File() {
  if (IsOpen()) Close();
}

bool File::Open(const char* fileName) {
  Close();
  name[0] = '\0';
  char wanted[kPathSize];
  if (!CopyText(wanted, fileName)) return false;  // a cut name is another file
  handle = CreateFileA(wanted, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CopyText(name, wanted);
  return true;
}

std::int64_t File::Tell() {
  if (!IsOpen()) return -1;
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
  // A low part of all ones is also a valid position; only the error says.
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return (static_cast<std::int64_t>(high) << 32) | low;
}

bool File::Seek(std::int64_t position) {
  if (!IsOpen()) return true;
  LONG high = static_cast<LONG>(position >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle, static_cast<LONG>(position & 0xFFFFFFFF), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

int File::Read(void* buffer, int count) { return DirectRead(buffer, count); }

int File::DirectRead(void* buffer, int count) {
  if (!IsOpen() || count < 0) return -1;
  DWORD read = 0;
  if (ReadFile(handle, buffer, static_cast<DWORD>(count), &read, nullptr)) {
    return static_cast<int>(read);
  }
  if (!IsDevice() || count <= kDeviceReadRetrySize) return -1;
  read = 0;
  if (!ReadFile(handle, buffer, kDeviceReadRetrySize, &read, nullptr)) return -1;
  return static_cast<int>(read);
}

bool File::IsDevice() const {
  if (!IsOpen()) return false;
  DWORD type = GetFileType(handle);
  return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

bool File::Close() {
  if (!IsOpen()) return true;
  BOOL closed = CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
  return closed != FALSE;
}
