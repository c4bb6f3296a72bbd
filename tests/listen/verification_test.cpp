#include "verify/verification.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "listen/listen_fixture.h"
#include "platform/system.h"

namespace {

class VerificationTest : public ListenTest {
 protected:
  // The state BeginVerification leaves while the reception runs: the reference held, the received
  // data in the temporary file "wer0.tmp" that openFilePath names.
  void Prepare(const std::vector<uint8_t>& reference, const std::vector<uint8_t>& received) {
    dir_.Write("ref.bin", reference);
    dir_.Write("wer0.tmp", received);
    app.verifyOn = 1;
    app.savedTransferMode = 0;
    app.transferMode = 1;
    CopyText(app.verifyReferencePath, dir_.File("ref.bin").c_str());
    CopyText(app.openFilePath, dir_.File("wer0.tmp").c_str());
    CopyText(app.tempFilePath, app.openFilePath);
    app.verifyReferenceFile.Set(
        platform::File::Open(app.verifyReferencePath, platform::FileMode::kReadWriteExisting));
    app.openFile.Set(
        platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteExisting));
    ASSERT_TRUE(app.verifyReferenceFile.IsOpen());
    ASSERT_TRUE(app.openFile.IsOpen());
    surface_.SetText(ErrorsBox, "lines of an earlier transfer\r\n");
  }

  std::string Compare(const std::vector<uint8_t>& reference, const std::vector<uint8_t>& received) {
    Prepare(reference, received);
    CompareReceivedFile();
    return surface_.GetText(ErrorsBox);
  }

  // The reference is open again in openFile (held without sharing) for the reset that follows.
  void ExpectReferenceReopened() {
    EXPECT_TRUE(app.openFile.IsOpen());
    EXPECT_FALSE(app.verifyReferenceFile.IsOpen());
    EXPECT_EQ(platform::File::Open(dir_.File("ref.bin").c_str(), platform::FileMode::kReadShared),
              nullptr);
    EXPECT_NE(platform::File::Open(dir_.File("wer0.tmp").c_str(), platform::FileMode::kReadShared),
              nullptr);
  }

  void WaitForEngines() {
    ASSERT_TRUE(surface_.WaitUntil([] { return platform::RunningDetachedThreads() == 0; },
                                   std::chrono::seconds(30)));
  }
};

TEST_F(VerificationTest, IdenticalFiles) {
  std::vector<uint8_t> bytes = RandomBytes(5000, 1);
  EXPECT_EQ(Compare(bytes, bytes), "files are similar\r\n");
  ExpectReferenceReopened();
}

TEST_F(VerificationTest, WorkedExampleAndHexOffsets) {
  EXPECT_EQ(Compare(Bytes("ABCD"), Bytes("ABXY")),
            "error:0x2\r\nerror:0x3\r\ndifferent bytes: 2\r\n");
  ExpectReferenceReopened();

  app.openFile.Close();
  std::vector<uint8_t> reference(300, 0x55), received = reference;
  received[16] = 0;
  received[255] = 0;
  app.language = 0;
  EXPECT_EQ(Compare(reference, received),
            "błąd na pozycji:0x10\r\nbłąd na pozycji:0xFF\r\nróżne znaki: 2\r\n");
}

TEST_F(VerificationTest, DifferentSizeEndsVerification) {
  std::vector<uint8_t> reference = Bytes("0123456789");
  std::vector<uint8_t> received = Bytes("012345678");
  EXPECT_EQ(Compare(reference, received), "different size\r\n");
  EXPECT_EQ(app.verifyOn.load(), 0);
  EXPECT_EQ(app.transferMode.load(), 0);
  EXPECT_FALSE(dir_.Exists("wer0.tmp"));
  EXPECT_EQ(std::string(app.openFilePath), dir_.File("ref.bin"));
  EXPECT_TRUE(app.openFile.IsOpen());
  EXPECT_EQ(dir_.Read("ref.bin"), reference);
}

TEST_F(VerificationTest, TwoEmptyFilesGiveNoLine) {
  EXPECT_EQ(Compare({}, {}), "");
  ExpectReferenceReopened();
}

TEST_F(VerificationTest, DifferencesAcrossBlocksAndBatches) {
  // Larger than one comparison block, with differences at the block edges and enough lines to
  // fill several batches of ErrorsBox.
  const size_t size = (3u << 20) + 17;
  std::vector<uint8_t> reference = RandomBytes(size, 7), received = reference;
  std::string expected;
  uint64_t count = 0;
  auto differ = [&](size_t offset) {
    received[offset] ^= 0xFF;
    char line[32];
    std::snprintf(line, sizeof line, "error:0x%zX\r\n", offset);
    expected += line;
    ++count;
  };
  differ(0);
  for (size_t offset = 100000; offset < 120000; ++offset) differ(offset);
  differ((1u << 20) - 1);
  differ(1u << 20);
  differ(size - 1);
  expected += "different bytes: " + std::to_string(count) + "\r\n";
  EXPECT_EQ(Compare(reference, received), expected);
}

TEST_F(VerificationTest, BeginUsesTheFirstFreeTemporaryName) {
  dir_.Write("part.nc", "G01\r\n");
  dir_.Write("wer0.tmp", "not ours");
  CopyText(app.openFilePath, dir_.File("part.nc").c_str());
  app.transferMode = 0;
  BeginVerification();
  EXPECT_EQ(app.tempFileNumber, 1);
  EXPECT_EQ(std::string(app.verifyReferencePath), dir_.File("part.nc"));

  // However the reception ended (or still waits), ending verification restores the open file.
  WaitForEngines();
  if (app.verifyOn) EndVerification();
  EXPECT_EQ(app.verifyOn.load(), 0);
  EXPECT_EQ(app.transferMode.load(), 0);
  EXPECT_FALSE(surface_.IsChecked(VerifyButton));
  EXPECT_EQ(std::string(app.openFilePath), dir_.File("part.nc"));
  EXPECT_TRUE(app.openFile.IsOpen());
  EXPECT_FALSE(dir_.Exists("wer1.tmp"));
  EXPECT_EQ(Text(dir_.Read("wer0.tmp")), "not ours");
  EXPECT_EQ(Text(dir_.Read("part.nc")), "G01\r\n");
}

TEST_F(VerificationTest, FileShownInTheViewerCanBeVerified) {
  dir_.Write("part.nc", "G01\r\n");
  CopyText(app.openFilePath, dir_.File("part.nc").c_str());
  std::shared_ptr<platform::File> viewer =
      platform::File::Open(app.openFilePath, platform::FileMode::kReadHoldingNobody);
  ASSERT_NE(viewer, nullptr);
  BeginVerification();
  EXPECT_FALSE(Reported("invalid file")) << surface_.GetText(ErrorsBox);
  EXPECT_EQ(std::string(app.verifyReferencePath), dir_.File("part.nc"));
  WaitForEngines();
  if (app.verifyOn) EndVerification();
  uint64_t size = 0;
  EXPECT_TRUE(viewer->Size(&size));
  EXPECT_EQ(size, 5u);
}

TEST_F(VerificationTest, RefusedWithoutAFileOrATemporaryName) {
  app.transferMode = 0;
  BeginVerification();
  EXPECT_TRUE(Reported("no file to verify"));
  EXPECT_EQ(app.verifyOn.load(), 0);
  EXPECT_EQ(app.transferMode.load(), 0);
  EXPECT_EQ(platform::RunningDetachedThreads(), 0);
  EXPECT_FALSE(dir_.Exists("wer0.tmp"));

  dir_.Write("part.nc", "G01\r\n");
  for (int number = 0; number <= 10; ++number) {
    dir_.Write("wer" + std::to_string(number) + ".tmp", "taken");
  }
  CopyText(app.openFilePath, dir_.File("part.nc").c_str());
  BeginVerification();
  EXPECT_TRUE(Reported("can't create tmp file"));
  EXPECT_EQ(app.verifyOn.load(), 0);
  EXPECT_EQ(app.transferMode.load(), 0);
  EXPECT_EQ(std::string(app.openFilePath), dir_.File("part.nc"));
  EXPECT_EQ(platform::RunningDetachedThreads(), 0);
  for (int number = 0; number <= 10; ++number) {
    EXPECT_EQ(Text(dir_.Read("wer" + std::to_string(number) + ".tmp")), "taken");
  }
}

}  // namespace
