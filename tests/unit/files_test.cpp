// The POSIX file layer: no open ever blocks, and paths cross between Windows-1250 and UTF-8.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <set>
#include <string>

#include "core/code_page.h"
#include "platform/files.h"
#include "platform/win32/device_names.h"
#include "support/pty_pair.h"

namespace {

// "ŻÓŁW.NC" as the program holds it and as the file system spells it.
const std::string kPolishName = "\xAF\xD3\xA3W.NC";
const std::string kPolishNameUtf8 = "\xC5\xBB\xC3\x93\xC5\x81W.NC";

TEST(FilesTest, PipesAndDevicesAreRefusedAtOnceInEveryMode) {
  TempDir dir;
  const std::string pipe = dir.File("pipe.nc");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const platform::FileMode modes[] = {
      platform::FileMode::kReadShared,      platform::FileMode::kReadHoldingNobody,
      platform::FileMode::kReadExclusive,   platform::FileMode::kReadWriteExisting,
      platform::FileMode::kReadWriteCreate, platform::FileMode::kWriteOpenAlways,
      platform::FileMode::kWriteCreate,
  };
  for (const char* path : {pipe.c_str(), "/dev/zero"}) {
    for (platform::FileMode mode : modes) {
      // Run aside: an open that blocks fails the test by its deadline instead of hanging it.
      auto opened = std::async(
          std::launch::async, [path, mode] { return platform::File::Open(path, mode) == nullptr; });
      ASSERT_EQ(opened.wait_for(std::chrono::seconds(10)), std::future_status::ready)
          << path << " mode " << static_cast<int>(mode);
      EXPECT_TRUE(opened.get()) << path << " mode " << static_cast<int>(mode);
    }
  }
  // A regular file still opens, for reading and writing.
  dir.Write("part.nc", "G01\r\n");
  auto file = platform::File::Open(dir.File("part.nc").c_str(), platform::FileMode::kReadShared);
  ASSERT_TRUE(file);
  char buffer[8];
  uint32_t got = 0;
  EXPECT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 5u);
}

TEST(FilesTest, PolishNamesCrossTheFileSystemBoundary) {
  TempDir dir;
  const std::string directory = dir.File("KATALOG_\xB9");  // "ą" in Windows-1250
  ASSERT_EQ(mkdir((dir.File("KATALOG_\xC4\x85")).c_str(), 0755), 0);
  const std::string path = directory + "/" + kPolishName;

  auto created = platform::File::Open(path.c_str(), platform::FileMode::kWriteCreate);
  ASSERT_TRUE(created);
  created->Close();
  struct stat info {};
  EXPECT_EQ(stat((dir.File("KATALOG_\xC4\x85") + "/" + kPolishNameUtf8).c_str(), &info), 0);
  EXPECT_TRUE(platform::PathExists(path.c_str()));

  // Names read back are Windows-1250 again; one that Windows-1250 cannot spell is still listed.
  dir.Write("KATALOG_\xC4\x85/\xE6\x97\xA5.nc", "x");  // a CJK character
  ASSERT_TRUE(platform::SetCurrentDir(directory.c_str()));
  char current[4096];
  ASSERT_TRUE(platform::GetCurrentDir(current, sizeof current));
  const std::string shown = current;
  EXPECT_EQ(shown.substr(shown.size() - 9), "KATALOG_\xB9");
  platform::DirectorySearch search;
  ASSERT_TRUE(search.Open(directory.c_str()));
  std::set<std::string> names;
  platform::DirectoryEntry entry;
  while (search.Next(&entry)) names.insert(entry.name);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", kPolishName, "?.nc"}));
  EXPECT_TRUE(platform::SetCurrentDir(dir.path().c_str()));

  // A byte that Windows-1250 leaves undefined names no file.
  EXPECT_FALSE(
      platform::File::Open((dir.path() + "/a\x81").c_str(), platform::FileMode::kWriteCreate));
  EXPECT_TRUE(platform::DeleteFilePath(path.c_str()));
}

// The Windows program refuses these before it opens anything; the rule is plain text.
TEST(FilesTest, WindowsDeviceNamesAreKnownInEverySpelling) {
  for (const char* device : {"CON",
                             "nul",
                             "Prn",
                             "aux",
                             "COM1",
                             "com9",
                             "LPT1",
                             "lpt9",
                             "CONIN$",
                             "conout$",
                             "nul.txt",
                             "C:\\dir\\COM1.nc",
                             "d:/a/b/com3.tar.gz",
                             "COM1.",
                             "COM1 ",
                             "COM1 .txt",
                             "nul:stream",
                             "COM1:",
                             "C:COM1",
                             "..\\LPT2.x",
                             "\\\\.\\COM12",
                             "//./com1",
                             "\\\\?\\C:\\part.nc",
                             "\\??\\COM1",
                             "\\\\.\\pipe\\x"}) {
    EXPECT_TRUE(platform::NamesWindowsDevice(device)) << device;
  }
  for (const char* file :
       {"part.nc", "COM10", "COM12.nc", "COM0", "LPT", "console.txt", "nuls", "CON1", "COM1x.nc",
        "C:\\COM1\\part.nc", "x.COM1", "\\\\server\\share\\a.nc", "", "C:", " COM1a"}) {
    EXPECT_FALSE(platform::NamesWindowsDevice(file)) << file;
  }
}

TEST(CodePageTest, EveryDefinedByteRoundTripsAndForeignTextIsRefused) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) {
    if (byte == 0x81 || byte == 0x83 || byte == 0x88 || byte == 0x90 || byte == 0x98) continue;
    all.push_back(static_cast<char>(byte));
  }
  std::string back;
  ASSERT_TRUE(Utf8ToCp1250(Cp1250ToUtf8(all), &back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(Cp1250ToUtf8("\x81"), "\xEF\xBF\xBD");
  EXPECT_EQ(Cp1250ToUtf8("\x80\x9A"), "\xE2\x82\xAC\xC5\xA1");  // euro sign, "š"

  EXPECT_FALSE(Utf8ToCp1250("\xE6\x97\xA5", &back));  // no Windows-1250 form
  EXPECT_FALSE(Utf8ToCp1250("\xC5", &back));          // cut short
  EXPECT_FALSE(Utf8ToCp1250("\xC0\xAF", &back));      // overlong "/"
  EXPECT_FALSE(Utf8ToCp1250("\xED\xA0\x80", &back));  // a surrogate
  EXPECT_FALSE(Utf8ToCp1250("\xEF\xBF\xBD", &back));  // U+FFFD stands for no byte
}

}  // namespace
