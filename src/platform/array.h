// A growable array of plain values, with no Windows header: the language
// text's code, which uses it, is also built natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Gets and grows a block as std::realloc does; a test stands in one that
// fails. Blocks are given back with std::free.
using Reallocator = void* (*)(void* block, std::size_t size);

// Growing never throws: Append reports a reallocation that failed, and the
// array is then unchanged. The memory comes from whatever reallocate holds
// at the time.
template <typename T, Reallocator& reallocate>
class Array {
 public:
  Array() = default;
  ~Array() { Clear(); }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;

  // When full, grows to capacity + capacity / 4 + 32 elements.
  bool Append(T value) {
    if (count == capacity && !Grow(count + 1)) return false;
    storage[count++] = value;
    return true;
  }
  // Frees the storage.
  void Clear() {
    std::free(storage);
    storage = nullptr;
    count = 0;
    capacity = 0;
  }

  int Count() const { return count; }
  int Capacity() const { return capacity; }
  T* begin() { return storage; }
  T* end() { return storage + count; }
  const T* begin() const { return storage; }
  const T* end() const { return storage + count; }
  const T& operator[](int index) const { return storage[index]; }

 private:
  bool Grow(int needed) {
    long long grown = static_cast<long long>(capacity) + capacity / 4 + 32;
    if (grown < needed) grown = needed;
    if (grown > static_cast<long long>(INT32_MAX / sizeof(T))) return false;
    void* moved = reallocate(storage, static_cast<std::size_t>(grown) * sizeof(T));
    if (!moved) return false;
    storage = static_cast<T*>(moved);
    capacity = static_cast<int>(grown);
    return true;
  }

  T* storage = nullptr;
  int count = 0;
  int capacity = 0;
};
