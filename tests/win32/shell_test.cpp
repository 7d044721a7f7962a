// Opening documents: the checks the shell makes before it starts a program, and what is recorded.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

INT_PTR Open(const char* verb, const std::string& file) {
  return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, verb, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

}  // namespace

TEST(ShellExecute, OpensExistingFilesOnlyAndRecordsEachOpening) {
  char dir[] = "/tmp/win32-shell-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/doc.txt";
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  Win32ResetOpenedDocuments();

  EXPECT_EQ(Open("open", std::string(dir) + "/missing.txt"), SE_ERR_FNF);
  EXPECT_EQ(Open("open", std::string(dir) + "/no-folder/doc.txt"), SE_ERR_PNF);
  EXPECT_EQ(Open("print", file), SE_ERR_NOASSOC);
  EXPECT_EQ(Open("open", dir), SE_ERR_NOASSOC) << "a folder is not a document";
  EXPECT_EQ(Win32OpenedDocumentCount(), 0) << "failed requests open nothing";

  // Backslashes, as the plug-in writes paths, reach the same file.
  std::string windowsPath = file;
  for (char& c : windowsPath)
    if (c == '/') c = '\\';
  EXPECT_GT(Open(nullptr, windowsPath), 32);
  EXPECT_GT(Open("open", file), 32);
  EXPECT_EQ(Win32OpenedDocumentCount(), 2);
  EXPECT_EQ(std::string(Win32LastOpenedDocument()), file);

  std::remove(file.c_str());
  std::remove(dir);
}
