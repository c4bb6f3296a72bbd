#include "verify/verification.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/file_size_limit.h"
#include "core/lifecycle.h"
#include "core/local_text.h"
#include "core/paths.h"
#include "core/reporting.h"
#include "core/text_field.h"
#include "platform/files.h"
#include "platform/system.h"
#include "transfer/transfer_control.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

constexpr int kLastTempNumber = 10;
// The files are compared a block at a time rather than held whole.
constexpr uint32_t kBlockSize = 1u << 20;
// Report lines reach ErrorsBox in batches of about this size, not one surface call per line.
constexpr size_t kAppendBatch = 64 * 1024;

const char* DifferentSizeText() {
  return LocalText("różna długość\r\n", "different size\r\n");
}

// Report lines gathered in memory and appended to ErrorsBox batch by batch.
class ReportBatch {
 public:
  ReportBatch() {
    text_.reserve(kAppendBatch + 64);
    prefix_ = LocalText("błąd na pozycji:0x", "error:0x");
  }

  void AddDifference(uint64_t offset) {
    char digits[16];
    size_t count = 0;
    do {
      digits[count++] = "0123456789ABCDEF"[offset & 0xF];
      offset >>= 4;
    } while (offset);
    text_ += prefix_;
    while (count) text_ += digits[--count];
    text_ += "\r\n";
    if (text_.size() >= kAppendBatch) Flush();
  }

  void Add(const char* line) { text_ += line; }

  void Flush() {
    if (text_.empty()) return;
    AppendControlText(ErrorsBox, text_.c_str());
    text_.clear();
  }

 private:
  std::string text_;
  const char* prefix_;
};

bool ReadBlock(const std::shared_ptr<platform::File>& file, std::vector<uint8_t>* block,
               uint32_t* got) {
  return file->Read(block->data(), static_cast<uint32_t>(block->size()), got);
}

}  // namespace

void BeginVerification() {
  // Without an open file there is nothing to compare with.
  if (FieldLength(app.openFilePath, kPathWidth) == 0) {
    ErrorReporter(LocalText("brak pliku do weryfikacji", "no file to verify"));
    CheckControl(VerifyButton, false);
    return;
  }

  app.verifyOn = 1;
  app.savedTransferMode = app.transferMode;
  CheckControl(VerifyButton, true);
  app.transferMode = 1;

  app.tempFileNumber = 0;
  CopyText(app.verifyReferencePath, app.openFilePath);
  app.openFile.Close();

  bool created = false;
  for (int number = 0; number <= kLastTempNumber && !created; ++number) {
    app.tempFileNumber = number;
    char name[32];
    std::snprintf(name, sizeof name, "wer%d.tmp", number);
    // A path cut to the field would create a file somewhere else.
    if (!JoinPath(app.openFilePath, app.startDirectory, name)) continue;
    std::shared_ptr<platform::File> file =
        platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteNew);
    if (!file) continue;
    app.openFile.Set(std::move(file));
    created = true;
  }
  if (!created) {
    ErrorReporter(LocalText("nie mozna stworzyc pliku tmp", "can't create tmp file"));
    EndVerification();
    return;
  }
  CopyText(app.tempFilePath, app.openFilePath);

  std::shared_ptr<platform::File> reference =
      platform::File::Open(app.verifyReferencePath, platform::FileMode::kReadWriteExisting);
  // A reference that cannot be held (gone, or in use elsewhere) would be compared as missing
  // data: refuse before anything is received.
  if (!reference) {
    ErrorReporter(LocalText("niewłaściwy plik", "invalid file"));
    EndVerification();
    return;
  }
  uint64_t referenceSize = 0;
  if (reference->Size(&referenceSize) && referenceSize > kLargestFileSize) {
    reference->Close();
    platform::SetLastSystemError(0);
    ErrorReporter(FileTooLargeText());
    EndVerification();
    return;
  }
  app.verifyReferenceFile.Set(std::move(reference));

  CheckControl(VerifyButton, true);
  StartStopTransfer();
}

void CompareReceivedFile(const std::function<bool()>& stillWanted) {
  SetControlText(ErrorsBox, "");
  std::shared_ptr<platform::File> reference = app.verifyReferenceFile.Get();
  std::shared_ptr<platform::File> received = app.openFile.Get();
  uint64_t referenceSize = 0;
  uint64_t receivedSize = 0;
  if (!reference || !received || !reference->Size(&referenceSize) ||
      !received->Size(&receivedSize)) {
    // The files are gone: no comparison can be claimed.
    if (!stillWanted()) return;
    ErrorReporter(LocalText("niewłaściwy plik", "invalid file"));
    EndVerification();
    return;
  }
  if (!stillWanted()) return;
  if (referenceSize != receivedSize) {
    AppendControlText(ErrorsBox, DifferentSizeText());
    EndVerification();
    return;
  }

  ReportBatch report;
  uint64_t differences = 0;
  uint64_t compared = 0;
  enum { kCompared, kReadsDisagree, kReadFailed } outcome = kCompared;
  if (!reference->Seek(0) || !received->Seek(0)) outcome = kReadFailed;
  std::vector<uint8_t> referenceBlock(kBlockSize);
  std::vector<uint8_t> receivedBlock(kBlockSize);
  while (outcome == kCompared) {
    uint32_t referenceGot = 0;
    uint32_t receivedGot = 0;
    if (!ReadBlock(reference, &referenceBlock, &referenceGot) ||
        !ReadBlock(received, &receivedBlock, &receivedGot)) {
      outcome = kReadFailed;
      break;
    }
    if (referenceGot != receivedGot) {
      outcome = kReadsDisagree;
      break;
    }
    if (referenceGot == 0) break;
    if (std::memcmp(referenceBlock.data(), receivedBlock.data(), referenceGot) != 0) {
      for (uint32_t i = 0; i < referenceGot; ++i) {
        if (referenceBlock[i] != receivedBlock[i]) {
          ++differences;
          report.AddDifference(compared + i);
        }
      }
    }
    compared += referenceGot;
  }
  referenceBlock = std::vector<uint8_t>();
  receivedBlock = std::vector<uint8_t>();
  // Ended meanwhile: the files were closed under the comparison, and the box is no longer ours.
  if (!stillWanted()) return;

  app.openFile.Close();
  app.verifyReferenceFile.Close();
  app.openFile.Set(
      platform::File::Open(app.verifyReferencePath, platform::FileMode::kReadWriteExisting));

  if (outcome != kCompared) {
    // Lines of a comparison that could not be finished would claim too much: the box keeps only
    // the size line when the reads disagreed, or the failure when a file could not be read.
    SetControlText(ErrorsBox, "");
    if (outcome == kReadsDisagree) {
      AppendControlText(ErrorsBox, DifferentSizeText());
    } else {
      ErrorReporter(LocalText("niewłaściwy plik", "invalid file"));
    }
    return;
  }
  if (compared == 0) return;
  if (differences == 0) {
    report.Add(LocalText("pliki takie same\r\n", "files are similar\r\n"));
  } else {
    report.Add(LocalText("różne znaki: ", "different bytes: "));
    report.Add(std::to_string(differences).c_str());
    report.Add("\r\n");
  }
  report.Flush();
}

void EndVerification() {
  app.transferMode = app.savedTransferMode;
  app.verifyOn = 0;
  CheckControl(VerifyButton, false);

  ResetAfterTransfer(0);

  app.openFile.Close();
  app.verifyReferenceFile.Close();
  DeleteTempFile();

  CopyText(app.openFilePath, app.verifyReferencePath);
  app.openFile.Set(platform::File::Open(app.openFilePath, platform::FileMode::kReadWriteExisting));
  CheckControl(VerifyButton, false);
}
