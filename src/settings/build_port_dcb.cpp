#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/app_state.h"
#include "core/text_field.h"
#include "platform/mode_string.h"
#include "settings/port_dcb.h"

namespace {

// Sets `member` to the value listed for `index`. The index is compared as a signed byte: 128 to
// 255 are negative and, like values past the end of the list, leave the member as it was (the
// parser's value, or the previous build's). Returns whether it was listed.
template <typename Member, size_t N>
bool SetIfListed(Member& member, uint8_t index, const Member (&values)[N]) {
  const int8_t signedIndex = static_cast<int8_t>(index);
  if (signedIndex < 0 || static_cast<size_t>(signedIndex) >= N) return false;
  member = values[signedIndex];
  return true;
}

constexpr uint32_t kDtrModes[] = {dcb::kDtrDisable, dcb::kDtrEnable, dcb::kDtrHandshake};
constexpr uint32_t kRtsModes[] = {dcb::kRtsDisable, dcb::kRtsEnable, dcb::kRtsHandshake,
                                  dcb::kRtsToggle};
constexpr uint8_t kParities[] = {dcb::kEvenParity, dcb::kMarkParity, dcb::kNoParity,
                                 dcb::kOddParity, dcb::kSpaceParity};
constexpr uint8_t kStopBits[] = {dcb::kOneStopBit, dcb::kOne5StopBits, dcb::kTwoStopBits};

}  // namespace

int BuildPortDcb() {
  PortDcb& target = app.portDcb;

  // The baud text as far as its field goes, then the placeholders that the steps below replace.
  char baud[kBaudTextWidth + 1] = {};
  std::memcpy(baud, app.baudText, kBaudTextWidth);
  CopyText(app.modeText, baud);
  AppendText(app.modeText, ",N,8,1");
  if (!platform::ParseModeString(app.modeText, &target)) return 0;

  target.fOutxCtsFlow = app.ctsFlow & 1u;
  target.fOutxDsrFlow = app.dsrFlow & 1u;
  target.fNull = 1;
  target.fDsrSensitivity = app.dsrSensitivity & 1u;

  const bool xonXoff = app.xonXoff != 0;
  target.fOutX = xonXoff ? 1 : 0;
  target.fInX = xonXoff ? 1 : 0;
  target.XonChar = 17;
  target.XoffChar = 19;
  target.fTXContinueOnXoff = xonXoff ? 0 : 1;
  target.XonLim = 80;
  target.XoffLim = 100;

  SetIfListed(target.fDtrControl, app.dtrControl, kDtrModes);
  SetIfListed(target.fRtsControl, app.rtsControl, kRtsModes);
  // No range check: index 255 gives 3 data bits, which the port then refuses.
  target.ByteSize = static_cast<uint8_t>(app.byteSizeIndex + 4);
  if (SetIfListed(target.Parity, app.parityIndex, kParities)) {
    target.fParity = target.Parity == dcb::kNoParity ? 0 : 1;
  }
  SetIfListed(target.StopBits, app.stopBitsIndex, kStopBits);

  target.EvtChar = 3;
  return 1;
}
