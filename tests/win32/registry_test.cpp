// The registry: keys and dispositions, values and the size protocol of RegQueryValueExA, access rights and
// read-only hives, handles, the file that keeps it across a reload, damaged files, and two threads at once.
#include <windows.h>

#include <gtest/gtest.h>

#include "largest_alloc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* kProduct = "SOFTWARE\\Quillory Software\\Wake Weave";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { Win32ResetRegistry(); }
  void TearDown() override {
    Win32ResetRegistry();
    for (const std::string& f : files_) {
      std::remove(f.c_str());
      std::remove((f + ".damaged").c_str());
      std::remove((f + ".tmp").c_str());
    }
  }

  // A registry file of this test's own, not yet existing.
  std::string File(const char* stem) {
    std::string path = ::testing::TempDir() + "wwreg-" + std::to_string(getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" + stem;
    std::remove(path.c_str());
    files_.push_back(path);
    return path;
  }

  static HKEY Create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    DWORD d = 0;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, &d),
              ERROR_SUCCESS)
        << path;
    if (disposition) *disposition = d;
    return key;
  }
  static LONG Set(HKEY key, const char* name, const std::string& bytes) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()));
  }
  // The value's bytes, or "<error N>".
  static std::string Get(HKEY key, const char* name) {
    DWORD size = 0;
    LONG r = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    if (r != ERROR_SUCCESS) return "<error " + std::to_string(r) + ">";
    std::string out(size, '?');
    r = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(out.data()), &size);
    if (r != ERROR_SUCCESS) return "<error " + std::to_string(r) + ">";
    return out.substr(0, size);
  }

 private:
  std::vector<std::string> files_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// ---- Keys -------------------------------------------------------------------

TEST_F(Registry, CreateMakesEveryMissingKeyAndReportsWhetherItWasNew) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_LOCAL_MACHINE, kProduct, KEY_ALL_ACCESS, &disposition);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // Names compare without regard to case; a trailing backslash names the same key.
  key = Create(HKEY_LOCAL_MACHINE, "software\\QUILLORY SOFTWARE\\wake weave\\", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // The keys on the way were made too, and only in this hive.
  HKEY parent = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quillory Software", 0, KEY_READ, &parent), ERROR_SUCCESS);
  HKEY child = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &child), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(child, nullptr) << "a failed open leaves no handle behind";

  // Relative to an open key, and the key itself again for an empty path.
  key = Create(parent, "Wake Weave", KEY_READ, &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  HKEY same = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &same), ERROR_SUCCESS);
  EXPECT_NE(same, key) << "a second handle of its own";
  for (HKEY h : {parent, key, same}) EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST_F(Registry, PathsWindowsRefusesAreRefused) {
  HKEY key = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BAD_PATHNAME);
  const std::string longName(256, 'n');
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, "A", 0, nullptr, 1 /* volatile */, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_INVALID_PARAMETER);
  // None of them made a key.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// ---- Values -----------------------------------------------------------------

TEST_F(Registry, QueryFollowsTheSizeProtocol) {
  HKEY key = Create(HKEY_CURRENT_USER, kProduct);
  ASSERT_EQ(Set(key, "path", std::string("C:\\Help", 8)), ERROR_SUCCESS);  // with its zero

  DWORD type = 77, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "PATH", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 8u) << "a null buffer asks for the size, zero included";

  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  size = 7;
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u) << "the size needed";
  EXPECT_EQ(buffer[0], '#') << "a buffer too small is left as it was";

  size = 8;
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(std::string(buffer, 8), std::string("C:\\Help", 8));
  EXPECT_EQ(buffer[8], '#') << "nothing written past the value";

  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "help", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
            ERROR_INVALID_PARAMETER)
      << "a buffer without a size";
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key, "path", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(Registry, ValuesKeepTheirBytesAndAreReplacedByName) {
  HKEY key = Create(HKEY_CURRENT_USER, kProduct);
  // No terminating zero, and a zero inside: kept exactly.
  ASSERT_EQ(Set(key, "raw", std::string("ab\0cd", 5)), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "raw"), std::string("ab\0cd", 5));
  ASSERT_EQ(Set(key, "RAW", "x"), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "raw"), "x") << "one value whatever the case of its name";
  ASSERT_EQ(Set(key, "empty", ""), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "empty"), "");
  ASSERT_EQ(Set(key, nullptr, "default"), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, ""), "default") << "null and \"\" both name the default value";

  EXPECT_EQ(RegSetValueExA(key, "n", 0, 3 /* REG_BINARY */, reinterpret_cast<const BYTE*>("1"), 1),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "n", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Get(key, "n"), "<error 2>");

  // A value of one key is not a value of another, nor of the same path in the other hive.
  HKEY other = Create(HKEY_LOCAL_MACHINE, kProduct);
  EXPECT_EQ(Get(other, "raw"), "<error 2>");
  RegCloseKey(other);
  RegCloseKey(key);
}

// ---- Access -----------------------------------------------------------------

TEST_F(Registry, HandlesDoOnlyWhatTheyWereOpenedFor) {
  RegCloseKey(Create(HKEY_CURRENT_USER, kProduct));
  HKEY reader = Create(HKEY_CURRENT_USER, kProduct, KEY_READ);
  EXPECT_EQ(Set(reader, "path", "x"), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(reader, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);

  HKEY writer = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kProduct, 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  EXPECT_EQ(Set(writer, "path", "x"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(writer, "path", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Get(reader, "path"), "x");
  RegCloseKey(writer);
  RegCloseKey(reader);
}

TEST_F(Registry, ReadOnlyHiveRefusesWritingAccessButStillReads) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, kProduct);
  ASSERT_EQ(Set(key, "path", "C:\\Help"), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(Win32SetHiveReadOnly(HKEY_LOCAL_MACHINE, TRUE));

  key = reinterpret_cast<HKEY>(0x1);
  DWORD disposition = 0;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProduct, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_ACCESS_DENIED)
      << "even for a key that exists";
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProduct, 0, KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED)
      << "no key is created, whatever the access asked for";
  EXPECT_EQ(Set(HKEY_LOCAL_MACHINE, "root", "x"), ERROR_ACCESS_DENIED) << "the hive's own handle";

  key = Create(HKEY_LOCAL_MACHINE, kProduct, KEY_READ);
  EXPECT_EQ(Get(key, "path"), "C:\\Help");
  RegCloseKey(key);
  // The other hive is untouched by the switch.
  RegCloseKey(Create(HKEY_CURRENT_USER, kProduct));

  ASSERT_TRUE(Win32SetHiveReadOnly(HKEY_LOCAL_MACHINE, FALSE));
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, kProduct));
  HKEY fake = reinterpret_cast<HKEY>(0x12345678);
  EXPECT_FALSE(Win32SetHiveReadOnly(fake, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- Handles ----------------------------------------------------------------

TEST_F(Registry, ClosedAndUnknownHandlesAreRefusedEverywhere) {
  HKEY key = Create(HKEY_CURRENT_USER, kProduct);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  HKEY fake = reinterpret_cast<HKEY>(0x5000abcd);
  for (HKEY bad : {key, static_cast<HKEY>(nullptr), fake}) {
    EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Set(bad, "v", "x"), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(bad, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    HKEY sub = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(RegCreateKeyExA(bad, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(sub, nullptr);
    EXPECT_EQ(RegOpenKeyExA(bad, nullptr, 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(Win32OpenRegistryKeyCount(), 0);
  // A closed handle's number is not handed out again.
  HKEY again = Create(HKEY_CURRENT_USER, kProduct);
  EXPECT_NE(again, key);
  EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
  // The hives' own handles are never closed.
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(Set(HKEY_CURRENT_USER, "top", "x"), ERROR_SUCCESS);
  EXPECT_EQ(Get(HKEY_CURRENT_USER, "top"), "x");
}

TEST_F(Registry, ResetEmptiesBothHivesClosesKeysAndMakesHivesWritable) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, kProduct);
  Set(key, "path", "x");
  Win32SetHiveReadOnly(HKEY_CURRENT_USER, TRUE);
  Win32ResetRegistry();
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  DWORD disposition = 0;
  key = Create(HKEY_LOCAL_MACHINE, kProduct, KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  RegCloseKey(Create(HKEY_CURRENT_USER, kProduct));
}

// ---- The file ---------------------------------------------------------------

TEST_F(Registry, FileKeepsKeysAndValuesAcrossAReload) {
  const std::string path = File("keep");
  Win32SetRegistryFile(path.c_str());
  HKEY key = Create(HKEY_LOCAL_MACHINE, kProduct);
  ASSERT_EQ(Set(key, "path", std::string("C:\\Help\0", 8)), ERROR_SUCCESS);
  ASSERT_EQ(Set(key, "help", "noterm"), ERROR_SUCCESS);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Empty Key"));
  EXPECT_TRUE(Exists(path));
  EXPECT_FALSE(Exists(path + ".tmp")) << "the temporary file is renamed over the file";

  Win32SetRegistryFile(path.c_str());  // read again from the file
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "keys open before the reload are closed by it";
  DWORD disposition = 0;
  key = Create(HKEY_LOCAL_MACHINE, "software\\quillory software\\wake weave", KEY_READ, &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(Get(key, "PATH"), std::string("C:\\Help\0", 8));
  EXPECT_EQ(Get(key, "help"), "noterm");
  RegCloseKey(key);
  HKEY empty = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\EMPTY KEY", 0, KEY_READ, &empty), ERROR_SUCCESS)
      << "an empty key is kept too";
  RegCloseKey(empty);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kProduct, 0, KEY_READ, &empty), ERROR_FILE_NOT_FOUND);

  // Memory only: a change no longer reaches the file.
  const std::string before = ReadAll(path);
  Win32SetRegistryFile(nullptr);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Elsewhere"));
  EXPECT_EQ(ReadAll(path), before);
}

TEST_F(Registry, ChangeThatCannotBeSavedIsRefusedAndUndone) {
  const std::string dir = File("no-such-dir");
  const std::string path = dir + "/registry";
  Win32SetRegistryFile(path.c_str());
  HKEY key = reinterpret_cast<HKEY>(0x1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kProduct, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_WRITE_FAULT);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
      << "the key made in memory is gone again";
  Win32SetRegistryFile(nullptr);
}

TEST_F(Registry, DamagedFileIsReportedOnceKeptAsideAndReadAsEmpty) {
  const std::string path = File("damaged");
  WriteAll(path, "this is not a registry\n");
  Win32SetRegistryFile(path.c_str());
  ::testing::internal::CaptureStderr();
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  DWORD disposition = 0;
  key = Create(HKEY_LOCAL_MACHINE, kProduct, KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  Set(key, "path", "x");
  RegCloseKey(key);
  const std::string err = ::testing::internal::GetCapturedStderr();
  const size_t first = err.find("damaged");
  ASSERT_NE(first, std::string::npos) << err;
  EXPECT_NE(err.find(path), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "reported once: " << err;
  EXPECT_EQ(ReadAll(path + ".damaged"), "this is not a registry\n") << "what it held is not overwritten";

  // The file written since is a good one.
  Win32SetRegistryFile(path.c_str());
  ::testing::internal::CaptureStderr();
  key = Create(HKEY_LOCAL_MACHINE, kProduct, KEY_READ);
  EXPECT_EQ(Get(key, "path"), "x");
  RegCloseKey(key);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(Registry, EveryTruncationOfAGoodFileLoadsEmpty) {
  const std::string good = File("good");
  Win32SetRegistryFile(good.c_str());
  HKEY key = Create(HKEY_CURRENT_USER, kProduct);
  Set(key, "path", std::string("C:\\Help\0", 8));
  Set(key, "help", "wakeweave.chm");
  RegCloseKey(key);
  const std::string bytes = ReadAll(good);
  ASSERT_GT(bytes.size(), 40u);

  const std::string cut = File("cut");
  for (size_t n = 1; n < bytes.size(); ++n) {
    WriteAll(cut, bytes.substr(0, n));
    Win32SetRegistryFile(cut.c_str());
    ::testing::internal::CaptureStderr();
    HKEY k = nullptr;
    const LONG r = RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &k);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, ERROR_FILE_NOT_FOUND) << "cut at " << n;
    EXPECT_NE(err.find("damaged"), std::string::npos) << "cut at " << n;
  }
  // An empty file is an empty registry, not a damaged one.
  WriteAll(cut, "");
  Win32SetRegistryFile(cut.c_str());
  ::testing::internal::CaptureStderr();
  RegCloseKey(Create(HKEY_CURRENT_USER, "x"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// The file's lengths are checked before they are trusted: a record that claims four gigabytes (in a file
// whose checksum is right) makes nothing larger than the file.
TEST_F(Registry, LengthsInTheFileNeverSizeAnAllocation) {
  const std::string path = File("lengths");
  Win32SetRegistryFile(path.c_str());
  HKEY key = Create(HKEY_CURRENT_USER, kProduct);
  const std::string data(3000, 'd');
  Set(key, "big", data);
  RegCloseKey(key);
  std::string bytes = ReadAll(path);
  const size_t at = bytes.find(data);
  ASSERT_NE(at, std::string::npos);
  for (int i = 0; i < 4; ++i) bytes[at - 4 + i] = static_cast<char>(0xF0);
  // The checksum (FNV-1a of all before it, little-endian) made right again, so the lengths are what is read.
  uint32_t h = 2166136261u;
  for (size_t i = 0; i + 4 < bytes.size(); ++i) h = (h ^ static_cast<unsigned char>(bytes[i])) * 16777619u;
  for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<char>((h >> (8 * i)) & 0xFF);
  WriteAll(path, bytes);

  Win32SetRegistryFile(path.c_str());
  ::testing::internal::CaptureStderr();
  size_t largest = 0;
  LONG r;
  {
    LargestAlloc meter;
    HKEY k = nullptr;
    r = RegOpenKeyExA(HKEY_CURRENT_USER, kProduct, 0, KEY_READ, &k);
    largest = meter.Bytes();
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
  EXPECT_NE(err.find("truncated value"), std::string::npos) << err;
  EXPECT_LE(largest, bytes.size());
}

// ---- Threads ----------------------------------------------------------------

TEST_F(Registry, TwoThreadsChangeItAtOnceAndTheFileHoldsBoth) {
  const std::string path = File("threads");
  Win32SetRegistryFile(path.c_str());
  constexpr int kEach = 40;
  auto work = [&](const char* root, std::vector<std::string>* failures) {
    for (int i = 0; i < kEach; ++i) {
      const std::string sub = std::string(root) + "\\K" + std::to_string(i);
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
          ERROR_SUCCESS) {
        failures->push_back("create " + sub);
        continue;
      }
      const std::string value = sub + " value";
      if (Set(key, "v", value) != ERROR_SUCCESS || Get(key, "v") != value) failures->push_back("value " + sub);
      if (RegCloseKey(key) != ERROR_SUCCESS) failures->push_back("close " + sub);
    }
  };
  std::vector<std::string> failuresA, failuresB;
  std::thread a(work, "Software\\A", &failuresA), b(work, "Software\\B", &failuresB);
  a.join();
  b.join();
  EXPECT_TRUE(failuresA.empty()) << failuresA.front();
  EXPECT_TRUE(failuresB.empty()) << failuresB.front();

  Win32SetRegistryFile(path.c_str());
  for (const char* root : {"Software\\A", "Software\\B"})
    for (int i = 0; i < kEach; ++i) {
      const std::string sub = std::string(root) + "\\K" + std::to_string(i);
      HKEY key = nullptr;
      ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << sub;
      EXPECT_EQ(Get(key, "v"), sub + " value");
      RegCloseKey(key);
    }
}

}  // namespace
