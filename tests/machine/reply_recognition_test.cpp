// The machine's reading of what the program answers, on bytes recorded from the program.

#include <gtest/gtest.h>

#include <string>

#include "machine/machine_text.h"
#include "machine/replies.h"

using machine::RecognizeReply;
using machine::Reply;
using machine::ReplyKind;

TEST(ReplyRecognition, ListingsInBothLanguages) {
  // English, right after start-up: the not-changed line, then the entries in search order.
  Reply english = RecognizeReply(
      "%MPF998\r\nDirectory not changed\r\nCurrent directory: /tmp/s1\r\nback.nc [size: 8]\r\n"
      ". [DIR]\r\nsub dir [DIR]\r\n.. [DIR]\r\nbig [1].nc [size: 4294967296]");
  ASSERT_EQ(english.kind, ReplyKind::kListing) << english.problem;
  EXPECT_TRUE(english.changeFailed);
  EXPECT_FALSE(english.polish);
  EXPECT_EQ(english.currentDirectory, "/tmp/s1");
  ASSERT_EQ(english.entries.size(), 5u);
  EXPECT_EQ(english.entries[0].name, "back.nc");
  EXPECT_EQ(english.entries[0].size, 8u);
  EXPECT_EQ(english.entries[2].name, "sub dir");
  EXPECT_TRUE(english.entries[2].directory);
  EXPECT_EQ(english.entries[4].name, "big [1].nc");
  EXPECT_EQ(english.entries[4].size, 4294967296u);

  // Polish, after a change ("Bieżący katalog: ", "rozmiar"), and its own not-changed line.
  Reply polish = RecognizeReply(
      "%MPF998\r\nBie\xBF\xB9"
      "cy katalog: /tmp/\xB3\xF3"
      "d\r\n. [DIR]\r\n"
      "a.nc [rozmiar: 1234]");
  ASSERT_EQ(polish.kind, ReplyKind::kListing) << polish.problem;
  EXPECT_TRUE(polish.polish);
  EXPECT_FALSE(polish.changeFailed);
  EXPECT_EQ(machine::Cp1250ToUtf8(polish.currentDirectory), u8"/tmp/łód");
  ASSERT_EQ(polish.entries.size(), 2u);
  EXPECT_EQ(polish.entries[1].size, 1234u);
  EXPECT_TRUE(RecognizeReply("%MPF998\r\nKatalog nie zostal zmieniony\r\nBie\xBF\xB9"
                             "cy katalog: C:")
                  .changeFailed);

  // A listing line that is neither a directory nor a size is not passed off as one.
  EXPECT_EQ(RecognizeReply("%MPF998\r\nCurrent directory: /x\r\nodd line").kind,
            ReplyKind::kUnknown);
}

TEST(ReplyRecognition, ConfirmationsFailureRepliesAndPlainFiles) {
  // The English not-changed line opens both a confirmation and a listing: the end tells.
  EXPECT_EQ(RecognizeReply("%MPF998\r\nDirectory not changed\r\nCurrent directory: /a\r\n").kind,
            ReplyKind::kDirectoryNotChanged);
  EXPECT_EQ(RecognizeReply("%MPF998\r\nDirectory not changed\r\nCurrent directory: /a").kind,
            ReplyKind::kListing);
  Reply changed = RecognizeReply(
      "%MPF998\r\nKatalog zmieniony\r\nBie\xBF\xB9"
      "cy katalog: /a/b\r\n");
  EXPECT_EQ(changed.kind, ReplyKind::kDirectoryChanged);
  EXPECT_EQ(changed.currentDirectory, "/a/b");
  EXPECT_EQ(RecognizeReply("%MPF998\r\nNieudana zmiana katalogu\r\nBie\xBF\xB9"
                           "cy katalog: /a\r\n")
                .kind,
            ReplyKind::kDirectoryNotChanged);
  EXPECT_EQ(RecognizeReply("%MPF998\r\nFile not sent\r\n").kind, ReplyKind::kFileNotSent);
  EXPECT_EQ(RecognizeReply("%MPF998\r\nNieudane wys\xB3"
                           "anie pliku\r\n")
                .kind,
            ReplyKind::kFileNotSent);
  // A requested file is sent without a header; a file that merely mentions one is no reply.
  EXPECT_EQ(RecognizeReply("%\r\nO0001\r\n%MPF998\r\n").kind, ReplyKind::kNoHeader);
  EXPECT_EQ(RecognizeReply("%MPF998\r\n").kind, ReplyKind::kUnknown);
  EXPECT_EQ(RecognizeReply("%MPF998\r\nFile not sent\r\nmore").kind, ReplyKind::kUnknown);
}

TEST(ReplyRecognition, CommandFilesAndTextsOnTheLine) {
  EXPECT_EQ(machine::CommandFile("SENDFILE", "part.nc"), "%MPF999\r\nSENDFILE part.nc\r\n\x03");
  EXPECT_EQ(machine::CommandFile("DIR", ""), "%MPF999\r\nDIR\r\n\x03");

  std::string bytes;
  std::string error;
  ASSERT_TRUE(machine::DecodeText(u8"łódź\\r\\n\\x03\\\\", &bytes, &error));
  EXPECT_EQ(bytes,
            "\xB3\xF3"
            "d\x9F\r\n\x03\\");
  EXPECT_FALSE(machine::DecodeText("bad \\q", &bytes, &error));
  EXPECT_FALSE(machine::DecodeText("short \\x4", &bytes, &error));
  EXPECT_EQ(machine::Readable("\xB3"
                              "a\r\n\x03\x81",
                              "  "),
            u8"ła<0D><0A>\n  <03><81>");
}
