#include "transfer/line_status.h"

#include "core/app_state.h"
#include "core/local_text.h"
#include "core/reporting.h"
#include "transfer/engine_run.h"
#include "ui/control_ids.h"
#include "ui/surface.h"

namespace {

struct ErrorName {
  uint32_t flag;
  const char* polish;  // null: the same name in both languages
  const char* name;
};

// In the order in which the events are reported.
constexpr ErrorName kErrorNames[] = {
    {platform::kCeDns, nullptr, "DNS"},
    {platform::kCeIoe, nullptr, "IOE"},
    {platform::kCeOop, nullptr, "OOP"},
    {platform::kCePto, nullptr, "PTO"},
    {platform::kCeMode, "Tryb", "Mode"},
    {platform::kCeBreak, "Przerwa", "Break"},
    {platform::kCeFrame, "Ramka", "Frame"},
    {platform::kCeRxOver, nullptr, "Over"},
    {platform::kCeTxFull, nullptr, "Full"},
    {platform::kCeOverrun, nullptr, "Overrun"},
    {platform::kCeRxParity, "Parzystość", "Parity"},
};

}  // namespace

void ShowLineStatusOf(platform::SerialPort* port, uint32_t, uint32_t errors,
                      const platform::ComStat& status) {
  // A port that cannot tell (closed, or no modem lines) shows its lamps off rather than stale.
  uint32_t modem = 0;
  if (port == nullptr || !port->ModemStatus(&modem)) modem = 0;

  CheckControl(CtsLamp, (modem & platform::kMsCtsOn) != 0);
  CheckControl(DsrLamp, (modem & platform::kMsDsrOn) != 0);
  CheckControl(RingLamp, (modem & platform::kMsRingOn) != 0);
  CheckControl(RlsdLamp, (modem & platform::kMsRlsdOn) != 0);
  CheckControl(CtsHoldLamp, (status.bits & platform::kCtsHold) != 0);
  CheckControl(DsrHoldLamp, (status.bits & platform::kDsrHold) != 0);
  CheckControl(RlsdHoldLamp, (status.bits & platform::kRlsdHold) != 0);
  CheckControl(XoffHoldLamp, (status.bits & platform::kXoffHold) != 0);
  CheckControl(XoffSentLamp, (status.bits & platform::kXoffSent) != 0);

  for (const ErrorName& entry : kErrorNames) {
    if ((errors & entry.flag) == 0) continue;
    EventReporter(entry.polish ? LocalText(entry.polish, entry.name) : entry.name);
  }
}

void ShowLineStatus(uint32_t eventMask, uint32_t errors, const platform::ComStat& status) {
  std::shared_ptr<platform::SerialPort> port = app.portHandle.Get();
  ShowLineStatusOf(port.get(), eventMask, errors, status);
}

void TurnLampsOff() {
  for (int lamp : {CtsLamp, DsrLamp, RingLamp, RlsdLamp, CtsHoldLamp, DsrHoldLamp, RlsdHoldLamp,
                   XoffHoldLamp, XoffSentLamp}) {
    CheckControl(lamp, false);
  }
}
