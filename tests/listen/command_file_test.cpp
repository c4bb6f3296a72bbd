#include "listen/command_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "listen/listen_fixture.h"

namespace {

const std::string kSep(1, platform::kPathSeparator);

class CommandFileTest : public ListenTest {
 protected:
  void SetUp() override {
    ListenTest::SetUp();
    CopyText(app.sendFileCommand, "PLIK");
    CopyText(app.sendDirCommand, "KATALOG");
    CopyText(app.changeDirCommand, "ZMIEŃ");
  }

  static int Recognize(const std::string& block) {
    return RecognizeCommandFile(reinterpret_cast<const uint8_t*>(block.data()),
                                static_cast<uint32_t>(block.size()));
  }

  // What the receive engine does with one block: recognise it, then hand over the argument's
  // bytes until one ends it, or a NUL when the block ends first.
  static int Take(const std::string& block) {
    int offset = Recognize(block);
    if (offset == 0) return 0;
    app.commandCursor = 0;
    for (size_t at = static_cast<size_t>(offset); at < block.size(); ++at) {
      if (CollectArgumentByte(static_cast<uint8_t>(block[at]))) return offset;
    }
    EXPECT_TRUE(CollectArgumentByte(0));
    return offset;
  }

  static std::string Flags() {
    return std::to_string(app.sendFileRequested.load()) +
           std::to_string(app.sendDirRequested.load()) +
           std::to_string(app.changeDirRequested.load());
  }
};

TEST_F(CommandFileTest, EachCommandWithEachLineEnd) {
  struct Command {
    const char* name;
    const char* flags;
  };
  const Command commands[] = {{"PLIK", "100"}, {"KATALOG", "010"}, {"ZMIEŃ", "001"}};
  for (const char* lineEnd : {"\n", "\n\r", "\r", "\r\n"}) {
    for (const Command& command : commands) {
      SCOPED_TRACE(std::string(command.name) + " after line end of " +
                   std::to_string(std::string(lineEnd).size()));
      app.sendFileRequested = app.sendDirRequested = app.changeDirRequested = 1;
      std::string head = std::string("%MPF999") + lineEnd + command.name + " ";
      EXPECT_EQ(Recognize(head + "x\r\n"), static_cast<int>(head.size()));
      EXPECT_EQ(Flags(), command.flags);
      EXPECT_EQ(app.commandNameLength, static_cast<int>(std::string(command.name).size()));
    }
  }
}

TEST_F(CommandFileTest, SendFileArgumentIsStoredAndTerminated) {
  CopyText(app.openFilePath, "a much longer name that was there before");
  EXPECT_EQ(Take("%MPF999\r\nPLIK \t  my file .txt \r\nrest"), 17);
  EXPECT_STREQ(app.openFilePath, "my file .txt ");  // inner and trailing blanks belong to it
  EXPECT_EQ(app.commandNameLength, 0);

  // A block that ends with the argument gives the same as one ending in CR LF.
  EXPECT_EQ(Take("%MPF999\r\nPLIK my file .txt "), 14);
  EXPECT_STREQ(app.openFilePath, "my file .txt ");

  // Every other byte is argument, the end-of-file byte included.
  Take("%MPF999\nPLIK a\x03");
  EXPECT_STREQ(app.openFilePath, "a\x03");
}

TEST_F(CommandFileTest, HeaderVariants) {
  EXPECT_EQ(Recognize("%MPF123\nPLIK a"), 13);
  EXPECT_EQ(Recognize("%MPF000 \t \r\nPLIK a"), 17);
  EXPECT_EQ(Recognize("%MPF999\nPLIKa"), 12);  // the argument's first byte, at least 9

  const char* rejected[] = {
      "%mpf999\nPLIK a",    // lower-case signature
      "%MPF99\nPLIK a",     // two digits
      "%MPF9999\nPLIK a",   // four digits
      "%MPF9a9\nPLIK a",    // not a digit
      "%MPF999\r\rPLIK a",  // CR CR: the command line starts with CR
      "%MPF999\n\nPLIK a",  // empty line between header and command
      "%MPF999\n PLIK a",   // blank before the name
      "%MPF999 PLIK a",     // no line end
      "%MPF999\nPLI",       // block ends inside the name
      "%MPF999\nDRUKUJ a",  // no such command
      "",
      "%MPF",
  };
  for (const char* block : rejected) {
    SCOPED_TRACE(block);
    app.sendFileRequested = 1;
    EXPECT_EQ(Recognize(block), 0);
    EXPECT_EQ(Flags(), "100");  // a rejected block leaves the flags alone
  }

  // Every cut of a valid block before the end of its name is no command file.
  const std::string full = "%MPF999\r\nKATALOG";
  for (size_t length = 0; length < full.size(); ++length) {
    EXPECT_EQ(Recognize(full.substr(0, length)), 0) << length;
  }
  EXPECT_EQ(Recognize(full), 16);
}

TEST_F(CommandFileTest, NamesFoldOnlyAsciiLetters) {
  EXPECT_EQ(Recognize("%MPF999\nplik a"), 13);
  EXPECT_EQ(Flags(), "100");
  EXPECT_EQ(Recognize("%MPF999\nKaTaLoG a"), 16);
  EXPECT_EQ(Flags(), "010");
  EXPECT_EQ(Recognize("%MPF999\nzmieŃ a"), 14);
  EXPECT_EQ(Flags(), "001");
  EXPECT_EQ(Recognize("%MPF999\nZMIEń a"), 0);  // the Polish letter in the other case
}

TEST_F(CommandFileTest, FirstMatchingNameInOrderWins) {
  CopyText(app.sendFileCommand, "DIRX");
  CopyText(app.sendDirCommand, "DIR");
  CopyText(app.changeDirCommand, "D");
  EXPECT_EQ(Recognize("%MPF999\nDIRX a"), 13);
  EXPECT_EQ(Flags(), "100");
  EXPECT_EQ(Recognize("%MPF999\nDIRY a"), 11);  // "DIR" as a prefix: the argument is "Y a"
  EXPECT_EQ(Flags(), "010");
  EXPECT_EQ(Recognize("%MPF999\nDOS"), 9);
  EXPECT_EQ(Flags(), "001");
}

TEST_F(CommandFileTest, EmptyNamesRejectEveryBlock) {
  CopyText(app.sendFileCommand, "");
  CopyText(app.sendDirCommand, "");
  CopyText(app.changeDirCommand, "");
  EXPECT_EQ(Recognize("%MPF999\nPLIK a"), 0);
  EXPECT_EQ(Recognize("%MPF999\n"), 0);
  EXPECT_EQ(Recognize(std::string("%MPF999\n\0\0", 10)), 0);
  EXPECT_EQ(Flags(), "000");
}

TEST_F(CommandFileTest, BothSlashesBecomeTheSeparator) {
  Take("%MPF999\nPLIK dir/sub\\x.txt\r\n");
  EXPECT_EQ(std::string(app.openFilePath), "dir" + kSep + "sub" + kSep + "x.txt");
}

TEST_F(CommandFileTest, RelativeDirectoryChangeShowsTheFullPath) {
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir_.File("sub/inner").c_str(), 0755), 0);

  Take("%MPF999\r\nZMIEŃ sub/inner\r\n");
  const std::string expected = dir_.path() + "/sub/inner";
  EXPECT_EQ(app.dirChangeOk, 1);
  EXPECT_EQ(std::string(app.workingDirectory), expected);
  EXPECT_EQ(surface_.GetText(CurrentDirField), expected);
  EXPECT_EQ(CurrentDir(), expected);

  // A directory listing command moves the same way; ".." is taken from where we are.
  Take("%MPF999\nKATALOG ..\n");
  EXPECT_EQ(std::string(app.workingDirectory), dir_.path() + "/sub");
  EXPECT_EQ(CurrentDir(), dir_.path() + "/sub");
}

TEST_F(CommandFileTest, FailedChangeKeepsTheOldDirectory) {
  app.dirChangeOk = 1;
  Take("%MPF999\nZMIEŃ no such directory\n");
  EXPECT_EQ(app.dirChangeOk, 0);
  EXPECT_EQ(std::string(app.workingDirectory), dir_.path());
  EXPECT_EQ(CurrentDir(), dir_.path());
  EXPECT_TRUE(Reported("directory not changed"));

  // A file is no directory either.
  dir_.Write("plain.txt", "x");
  app.dirChangeOk = 1;
  Take("%MPF999\nZMIEŃ plain.txt");
  EXPECT_EQ(app.dirChangeOk, 0);
  EXPECT_EQ(std::string(app.workingDirectory), dir_.path());
}

TEST_F(CommandFileTest, EmptyDirectoryArgumentChangesNothing) {
  for (int outcome : {0, 1}) {
    app.dirChangeOk = outcome;
    Take("%MPF999\r\nZMIEŃ   \r\n");
    Take("%MPF999\r\nKATALOG");
    EXPECT_EQ(app.dirChangeOk, outcome);
    EXPECT_EQ(std::string(app.workingDirectory), dir_.path());
    EXPECT_EQ(CurrentDir(), dir_.path());
  }
  EXPECT_EQ(surface_.GetText(ErrorsBox), "");
  EXPECT_EQ(surface_.Read(CurrentDirField).textHistory.size(), 0u);
}

TEST_F(CommandFileTest, OverlongArgumentIsNoCommandFile) {
  const std::string head = "%MPF999\r\nPLIK ";
  const std::string fits(kPathWidth - 1, 'a');
  EXPECT_EQ(Take(head + fits + "\r\n"), static_cast<int>(head.size()));
  EXPECT_EQ(std::string(app.openFilePath), fits);

  CopyText(app.openFilePath, "kept.txt");
  app.sendFileRequested = 0;
  app.changeDirRequested = 1;
  app.commandNameLength = 7;
  for (const std::string& block :
       {head + fits + "b", head + fits + "b\r\n", "%MPF999\nZMIEŃ " + fits + "/"}) {
    EXPECT_EQ(Recognize(block), 0);
    EXPECT_EQ(Flags(), "001");
    EXPECT_EQ(app.commandNameLength, 7);
    EXPECT_STREQ(app.openFilePath, "kept.txt");
    EXPECT_EQ(std::string(app.workingDirectory), dir_.path());
  }
}

TEST_F(CommandFileTest, ArgumentBytesNeverPassTheField) {
  // Given more than a field holds, CollectArgumentByte stores what fits and refuses the rest:
  // no name for a file, no change for a directory.
  app.sendFileRequested = 1;
  app.commandCursor = 0;
  for (int i = 0; i < 1000; ++i) ASSERT_FALSE(CollectArgumentByte('a'));
  EXPECT_LT(FieldLength(app.openFilePath, kPathWidth), kPathWidth);
  EXPECT_TRUE(CollectArgumentByte('\n'));
  EXPECT_STREQ(app.openFilePath, "");

  app.sendFileRequested = 0;
  app.changeDirRequested = 1;
  app.dirChangeOk = 1;
  app.commandCursor = 0;
  for (int i = 0; i < 300; ++i) ASSERT_FALSE(CollectArgumentByte('.'));
  EXPECT_LT(FieldLength(app.workingDirectory, kPathWidth), kPathWidth);
  EXPECT_TRUE(CollectArgumentByte('\r'));
  EXPECT_EQ(app.dirChangeOk, 0);
  EXPECT_EQ(std::string(app.workingDirectory), dir_.path());
  EXPECT_EQ(CurrentDir(), dir_.path());
}

}  // namespace
