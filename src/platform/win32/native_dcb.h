#pragma once

#include <windows.h>

#include "settings/port_dcb.h"

namespace platform {

// PortDcb is the DCB member for member; these copy between the two.
inline DCB ToNativeDcb(const PortDcb& from) {
  DCB to{};
  to.DCBlength = sizeof to;
  to.BaudRate = from.BaudRate;
  to.fBinary = from.fBinary & 1;
  to.fParity = from.fParity & 1;
  to.fOutxCtsFlow = from.fOutxCtsFlow & 1;
  to.fOutxDsrFlow = from.fOutxDsrFlow & 1;
  to.fDtrControl = from.fDtrControl & 3;
  to.fDsrSensitivity = from.fDsrSensitivity & 1;
  to.fTXContinueOnXoff = from.fTXContinueOnXoff & 1;
  to.fOutX = from.fOutX & 1;
  to.fInX = from.fInX & 1;
  to.fErrorChar = from.fErrorChar & 1;
  to.fNull = from.fNull & 1;
  to.fRtsControl = from.fRtsControl & 3;
  to.fAbortOnError = from.fAbortOnError & 1;
  to.XonLim = from.XonLim;
  to.XoffLim = from.XoffLim;
  to.ByteSize = from.ByteSize;
  to.Parity = from.Parity;
  to.StopBits = from.StopBits;
  to.XonChar = from.XonChar;
  to.XoffChar = from.XoffChar;
  to.ErrorChar = from.ErrorChar;
  to.EofChar = from.EofChar;
  to.EvtChar = from.EvtChar;
  return to;
}

inline void FromNativeDcb(const DCB& from, PortDcb* to) {
  to->DCBlength = from.DCBlength;
  to->BaudRate = from.BaudRate;
  to->fBinary = from.fBinary;
  to->fParity = from.fParity;
  to->fOutxCtsFlow = from.fOutxCtsFlow;
  to->fOutxDsrFlow = from.fOutxDsrFlow;
  to->fDtrControl = from.fDtrControl;
  to->fDsrSensitivity = from.fDsrSensitivity;
  to->fTXContinueOnXoff = from.fTXContinueOnXoff;
  to->fOutX = from.fOutX;
  to->fInX = from.fInX;
  to->fErrorChar = from.fErrorChar;
  to->fNull = from.fNull;
  to->fRtsControl = from.fRtsControl;
  to->fAbortOnError = from.fAbortOnError;
  to->XonLim = from.XonLim;
  to->XoffLim = from.XoffLim;
  to->ByteSize = from.ByteSize;
  to->Parity = from.Parity;
  to->StopBits = from.StopBits;
  to->XonChar = from.XonChar;
  to->XoffChar = from.XoffChar;
  to->ErrorChar = from.ErrorChar;
  to->EofChar = from.EofChar;
  to->EvtChar = from.EvtChar;
}

}  // namespace platform
