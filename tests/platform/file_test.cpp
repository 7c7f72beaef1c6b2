// The file object against real files, a named pipe and the NUL device.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

const char kFolder[] = "C:\\KorvikTests\\file-object";
const char kPipeName[] = "\\\\.\\pipe\\korvik-file-object-test";

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
  return bytes;
}

class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    Clean();
    CreateDirectoryA("C:\\KorvikTests", nullptr);
    ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
  }
  void TearDown() override { Clean(); }

  static std::string PathOf(const char* name) { return std::string(kFolder) + "\\" + name; }

  static bool Write(const char* name, const std::string& bytes) {
    return test::WriteWholeFile(PathOf(name), bytes);
  }

 private:
  static void Clean() {
    for (const char* name : {"data.bin", "other.bin", "held.bin"})
      DeleteFileA(PathOf(name).c_str());
    RemoveDirectoryA(kFolder);
  }
};

TEST_F(FileTest, MissingFileLeavesTheObjectClosed) {
  File file;
  EXPECT_FALSE(file.Open(PathOf("missing.bin").c_str()));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_STREQ("", file.Name());
  EXPECT_EQ(-1, file.Tell());
  char buffer[16];
  EXPECT_EQ(-1, file.Read(buffer, sizeof buffer));
  EXPECT_TRUE(file.Seek(10));  // nothing to move
  EXPECT_FALSE(file.IsDevice());
  EXPECT_TRUE(file.Close());
}

TEST_F(FileTest, ReadsBlocksAndGivesZeroAtTheEnd) {
  const std::string bytes = Pattern(10000);
  ASSERT_TRUE(Write("data.bin", bytes));
  File file;
  ASSERT_TRUE(file.Open(PathOf("data.bin").c_str()));
  EXPECT_EQ(PathOf("data.bin"), file.Name());
  std::vector<char> buffer(8192 + 8, test::kGarbage);
  EXPECT_EQ(8192, file.Read(buffer.data(), 8192));
  EXPECT_EQ(0, std::memcmp(bytes.data(), buffer.data(), 8192));
  EXPECT_EQ(test::kGarbage, buffer[8192]);
  EXPECT_EQ(8192, file.Tell());
  EXPECT_EQ(1808, file.Read(buffer.data(), 8192));
  EXPECT_EQ(0, std::memcmp(bytes.data() + 8192, buffer.data(), 1808));
  EXPECT_EQ(0, file.Read(buffer.data(), 8192));
  EXPECT_EQ(10000, file.Tell());
  // Back 16 bytes, as the marker search does between blocks.
  EXPECT_TRUE(file.Seek(8192 - 16));
  EXPECT_EQ(16, file.Read(buffer.data(), 16));
  EXPECT_EQ(0, std::memcmp(bytes.data() + 8176, buffer.data(), 16));
}

TEST_F(FileTest, SeekAndTellCarrySixtyFourBitPositions) {
  ASSERT_TRUE(Write("data.bin", Pattern(100)));
  File file;
  ASSERT_TRUE(file.Open(PathOf("data.bin").c_str()));
  const std::int64_t positions[] = {0,           16,           0x7FFFFFFF, 0xFFFFFFFE,
                                    0xFFFFFFFF,  // its low part is the error value
                                    0x100000000, 5000000000LL, 50};
  for (std::int64_t position : positions) {
    SCOPED_TRACE(position);
    // An error left over from an earlier call must not count as a failure.
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(file.Seek(position));
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(position, file.Tell());
  }
  char byte = test::kGarbage;
  EXPECT_EQ(1, file.Read(&byte, 1));
  EXPECT_EQ(Pattern(100)[50], byte);
  EXPECT_FALSE(file.Seek(-1));
  EXPECT_EQ(51, file.Tell());  // a refused move leaves the position
}

TEST_F(FileTest, ReadsAFileThatAnotherHandleWrites) {
  ASSERT_TRUE(Write("data.bin", "first"));
  HANDLE writer = CreateFileA(PathOf("data.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  {
    File file;
    EXPECT_TRUE(file.Open(PathOf("data.bin").c_str()));
    char buffer[8] = {};
    EXPECT_EQ(5, file.Read(buffer, 7));
    EXPECT_STREQ("first", buffer);
  }
  CloseHandle(writer);

  HANDLE holder = CreateFileA(PathOf("data.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  File refused;
  EXPECT_FALSE(refused.Open(PathOf("data.bin").c_str()));
  EXPECT_FALSE(refused.IsOpen());
  CloseHandle(holder);
}

TEST_F(FileTest, NameLongerThanThePathBufferIsRefused) {
  std::string name = std::string(kFolder) + "\\" + std::string(1100, 'n');
  File file;
  EXPECT_FALSE(file.Open(name.c_str()));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_STREQ("", file.Name());
}

TEST_F(FileTest, DestroyingOrReopeningClosesTheFile) {
  ASSERT_TRUE(Write("data.bin", "one"));
  ASSERT_TRUE(Write("other.bin", "two"));
  {
    File file;
    ASSERT_TRUE(file.Open(PathOf("data.bin").c_str()));
    // Not shared for deletion: while it is open the file stays.
    ASSERT_FALSE(DeleteFileA(PathOf("data.bin").c_str()));
    ASSERT_TRUE(file.Open(PathOf("other.bin").c_str()));
    EXPECT_TRUE(DeleteFileA(PathOf("data.bin").c_str())) << "the first file is still open";
    EXPECT_FALSE(DeleteFileA(PathOf("other.bin").c_str()));
  }
  EXPECT_TRUE(DeleteFileA(PathOf("other.bin").c_str())) << "the destructor left it open";
}

TEST_F(FileTest, AClosedObjectKeepsOffAHandleThatTookItsPlace) {
  ASSERT_TRUE(Write("data.bin", "one"));
  ASSERT_TRUE(Write("other.bin", "two"));
  HANDLE other = INVALID_HANDLE_VALUE;
  {
    File file;
    ASSERT_TRUE(file.Open(PathOf("data.bin").c_str()));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.Close());  // again: nothing to close
    // The system hands the freed handle value out again.
    other = CreateFileA(PathOf("other.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
  }
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(other, &flags)) << "the destructor closed a handle not its own";
  EXPECT_EQ(3u, GetFileSize(other, nullptr));
  CloseHandle(other);
}

// A buffer whose first kWritable bytes can be written and the rest cannot:
// a read of more than that fails inside ReadFile, on any kind of handle.
class PartlyWritableBuffer {
 public:
  static constexpr std::size_t kWritable = 20480;
  PartlyWritableBuffer() {
    region_ = static_cast<char*>(VirtualAlloc(nullptr, 131072, MEM_RESERVE, PAGE_NOACCESS));
    if (region_) VirtualAlloc(region_, kWritable, MEM_COMMIT, PAGE_READWRITE);
  }
  ~PartlyWritableBuffer() {
    if (region_) VirtualFree(region_, 0, MEM_RELEASE);
  }
  char* Data() const { return region_; }

 private:
  char* region_ = nullptr;
};

// The server end of a named pipe holding some bytes for its client.
class FilledPipe {
 public:
  FilledPipe() {
    server_ = CreateNamedPipeA(kPipeName, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                               65536, 65536, 0, nullptr);
  }
  ~FilledPipe() {
    if (server_ != INVALID_HANDLE_VALUE) CloseHandle(server_);
  }
  bool Created() const { return server_ != INVALID_HANDLE_VALUE; }
  // After the client has opened its end.
  bool Fill(const std::string& bytes) {
    ConnectNamedPipe(server_, nullptr);  // ERROR_PIPE_CONNECTED: the client is there
    DWORD written = 0;
    return WriteFile(server_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }

 private:
  HANDLE server_ = INVALID_HANDLE_VALUE;
};

TEST_F(FileTest, AFailedDeviceReadIsMadeOnceMoreFor20000Bytes) {
  const std::string bytes = Pattern(30000);
  ASSERT_TRUE(Write("data.bin", bytes));
  struct Row {
    const char* name;
    int count;
    int expected;
  };
  const Row rows[] = {
      {"pipe", 65536, 20000}, {"pipe", PartlyWritableBuffer::kWritable + 1, 20000},
      {"disk", 65536, -1},    {"disk", PartlyWritableBuffer::kWritable + 1, -1},
      {"NUL", 65536, 0},  // the retry reads the device's nothing
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.count));
    PartlyWritableBuffer buffer;
    ASSERT_NE(nullptr, buffer.Data());
    File file;
    FilledPipe pipe;
    std::string kind = row.name;
    if (kind.rfind("pipe", 0) == 0) {
      ASSERT_TRUE(pipe.Created());
      ASSERT_TRUE(file.Open(kPipeName));
      ASSERT_TRUE(pipe.Fill(bytes));
    } else if (kind == "disk") {
      ASSERT_TRUE(file.Open(PathOf("data.bin").c_str()));
    } else {
      ASSERT_TRUE(file.Open("NUL"));
    }
    int read = file.Read(buffer.Data(), row.count);
    EXPECT_EQ(row.expected, read);
    if (read > 0) {
      EXPECT_EQ(0, std::memcmp(bytes.data(), buffer.Data(), read));
    }
  }
}

TEST_F(FileTest, ASmallDeviceReadThatFailsIsNotRetried) {
  // 16,384 writable bytes and a read of 20,000: too small for the retry.
  FilledPipe pipe;
  ASSERT_TRUE(pipe.Created());
  File file;
  ASSERT_TRUE(file.Open(kPipeName));
  ASSERT_TRUE(pipe.Fill(Pattern(30000)));
  char* region = static_cast<char*>(VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(nullptr, region);
  VirtualAlloc(region, 16384, MEM_COMMIT, PAGE_READWRITE);
  EXPECT_EQ(-1, file.Read(region, 20000));
  // The bytes are still in the pipe for a read that fits.
  EXPECT_EQ(16384, file.Read(region, 16384));
  VirtualFree(region, 0, MEM_RELEASE);
}

TEST_F(FileTest, PipesAndCharacterDevicesAreDevices) {
  ASSERT_TRUE(Write("data.bin", "x"));
  File disk;
  ASSERT_TRUE(disk.Open(PathOf("data.bin").c_str()));
  EXPECT_FALSE(disk.IsDevice());
  File nul;
  ASSERT_TRUE(nul.Open("NUL"));
  EXPECT_TRUE(nul.IsDevice());
  FilledPipe pipe;
  ASSERT_TRUE(pipe.Created());
  File client;
  ASSERT_TRUE(client.Open(kPipeName));
  EXPECT_TRUE(client.IsDevice());
  EXPECT_EQ(-1, client.Tell());  // a pipe has no position
  client.Close();
  EXPECT_FALSE(client.IsDevice());
}

}  // namespace
