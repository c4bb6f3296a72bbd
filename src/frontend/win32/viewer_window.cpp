#include <climits>
#include <string>

#include "core/app_state.h"
#include "frontend/win32/win32_windows.h"
#include "platform/win32/wide_text.h"
#include "viewer/viewer.h"

namespace {

ViewerState* StateOf(HWND window) {
  return reinterpret_cast<ViewerState*>(GetWindowLongPtrW(window, 0));
}

int ClampToInt(int64_t value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < 0) return 0;
  return static_cast<int>(value);
}

// The scroll state as window properties as well: another process (a test driver, an automation
// tool) cannot read a window's scroll bars under every Windows runtime, properties it can.
void PublishScrollState(HWND window, const ViewerState& viewer) {
  auto publish = [window](const wchar_t* name, int64_t value) {
    SetPropW(window, name, reinterpret_cast<HANDLE>(static_cast<intptr_t>(value) + 1));
  };
  publish(L"ViewerTopLine", viewer.topLine);
  publish(L"ViewerMaxTopLine", viewer.maxTopLine);
  publish(L"ViewerLeftColumn", viewer.leftColumn);
  publish(L"ViewerMaxLeftColumn", viewer.maxLeftColumn);
}

void SetBar(HWND window, int bar, int64_t max, int64_t position) {
  SetScrollRange(window, bar, 0, ClampToInt(max), FALSE);
  SetScrollPos(window, bar, ClampToInt(position), TRUE);
}

void ShowScroll(HWND window, const ViewerState& viewer, const ScrollOutcome& outcome) {
  if (!outcome.changed) return;
  PublishScrollState(window, viewer);
  if (outcome.repaintAll) {
    InvalidateRect(window, nullptr, TRUE);
  } else {
    ScrollWindow(window, 0, static_cast<int>(outcome.scrollPixels), nullptr, nullptr);
  }
  SetScrollPos(window, outcome.vertical ? SB_VERT : SB_HORZ, ClampToInt(outcome.position), TRUE);
  UpdateWindow(window);
}

void Paint(HWND window, ViewerState* viewer) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  const LineRange lines = ViewerPaintRange(*viewer, paint.rcPaint.top, paint.rcPaint.bottom);
  const size_t columns = ViewerVisibleColumns(*viewer);
  for (int64_t line = lines.first; line <= lines.last; ++line) {
    const std::string text = FormatViewerLine(viewer, line, columns);
    // The bytes are Windows-1250 characters, whatever the system's code page.
    const std::wstring wide = platform::Cp1250ToWide(text.data(), text.size());
    TextOutW(dc, static_cast<int>(ViewerLineX()), static_cast<int>(ViewerLineY(*viewer, line)),
             wide.c_str(), static_cast<int>(wide.size()));
  }
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  EndPaint(window, &paint);
}

}  // namespace

void OpenFileViewer(HWND owner, std::shared_ptr<platform::File> file, const char* title, int mode) {
  auto* viewer = new ViewerState();
  if (!OpenViewerState(viewer, std::move(file), mode)) {
    delete viewer;
    ShowMessageBox(owner, kViewerOpenFailedText, kViewerOpenFailedCaption, MB_OK);
    return;
  }
  const std::wstring caption = platform::Cp1250ToWide(title);
  HWND window = CreateWindowExW(
      0, L"MemWnd", caption.c_str(),
      WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL, 0, 0,
      kViewerInitialWidth, kViewerInitialHeight, owner, nullptr, programInstance, viewer);
  if (!window) {
    ShowMessageBox(owner, kViewerOpenFailedText, kViewerOpenFailedCaption, MB_OK);
    return;
  }
  app.viewerWindow = window;
  UpdateWindow(window);
  ShowWindow(window, SW_SHOWNORMAL);
}

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ViewerState* viewer = StateOf(window);
  switch (message) {
    case WM_CREATE: {
      viewer = static_cast<ViewerState*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(viewer));
      if (viewer->file) viewer->file->Seek(0);
      MeasureViewerLines(viewer);
      SetWindowPos(window, nullptr, kViewerMovedX, kViewerMovedY, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    }
    case WM_DESTROY:
      for (const wchar_t* name :
           {L"ViewerTopLine", L"ViewerMaxTopLine", L"ViewerLeftColumn", L"ViewerMaxLeftColumn"}) {
        RemovePropW(window, name);
      }
      if (viewer) {
        CloseViewerState(viewer);
        delete viewer;
        SetWindowLongPtrW(window, 0, 0);
      }
      if (app.viewerWindow == window) app.viewerWindow = nullptr;
      return 0;
    case WM_SIZE:
      if (viewer) {
        const ScrollBars bars = ResizeViewer(viewer, LOWORD(lParam), HIWORD(lParam));
        SetBar(window, SB_VERT, bars.verticalMax, bars.verticalPosition);
        SetBar(window, SB_HORZ, bars.horizontalMax, bars.horizontalPosition);
        PublishScrollState(window, *viewer);
      }
      return 0;
    case WM_PAINT:
      if (viewer) {
        Paint(window, viewer);
        return 0;
      }
      break;
    case WM_KEYDOWN:
      for (const ViewerKey& key : ViewerKeyTable) {
        if (key.key == static_cast<int>(wParam)) {
          SendMessageW(window, key.vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(key.request, 0),
                       0);
          break;
        }
      }
      return 0;
    case WM_VSCROLL:
      if (viewer) {
        ShowScroll(window, *viewer, ScrollViewerVertically(viewer, LOWORD(wParam), HIWORD(wParam)));
      }
      return 0;
    case WM_HSCROLL:
      if (viewer) {
        ShowScroll(window, *viewer,
                   ScrollViewerHorizontally(viewer, LOWORD(wParam), HIWORD(wParam)));
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
