// The installed program as a user meets it: the Start-menu shortcut and its working folder with the
// help file, the version in the program's properties, the set-up of the folder for another user,
// and a start from the shortcut's folder that shows the window and leaves its settings there.
// place.exe is the shortcut, place.directory the user's folder, place.extra the version.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

#include "scenarios.h"

namespace {

struct Shortcut {
  std::wstring target;
  std::wstring workingFolder;
};

bool ReadShortcut(const std::wstring& path, Shortcut* shortcut) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  wchar_t text[MAX_PATH] = {};
  bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH));
  if (ok) shortcut->target = text;
  ok = ok && SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH));
  if (ok) shortcut->workingFolder = text;
  if (file) file->Release();
  link->Release();
  return ok;
}

std::wstring Expanded(const std::wstring& text) {
  wchar_t expanded[2 * MAX_PATH] = {};
  return ExpandEnvironmentStringsW(text.c_str(), expanded, 2 * MAX_PATH) ? expanded : L"";
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The file's version as Explorer shows it ("1.0.0.0") and one string of its first translation.
struct VersionResource {
  std::wstring fixed;
  std::vector<BYTE> data;
  std::wstring String(const wchar_t* name) {
    struct Translation {
      WORD language, codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation)) {
      return L"";
    }
    wchar_t path[80];
    swprintf(path, 80, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
             translation->codePage, name);
    wchar_t* value = nullptr;
    return VerQueryValueW(data.data(), path, reinterpret_cast<void**>(&value), &length) ? value
                                                                                        : L"";
  }
};

bool ReadVersion(const std::wstring& exe, VersionResource* version) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  version->data.resize(size);
  if (!size || !GetFileVersionInfoW(exe.c_str(), 0, size, version->data.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(version->data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    return false;
  }
  version->fixed = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                   std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                   std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                   std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  return true;
}

// Runs the per-user set-up that Windows runs at another user's first logon, with the folder moved
// aside: it must make the folder with the help file in it.
void CheckSetUpForAnotherUser(const std::wstring& folder, long long helpSize, Report* report) {
  wchar_t stub[1024] = {};
  DWORD size = sizeof stub;
  if (!report->Check(
          RegGetValueW(HKEY_LOCAL_MACHINE,
                       L"Software\\Microsoft\\Active Setup\\Installed Components\\tazo",
                       L"StubPath", RRF_RT_REG_SZ, nullptr, stub, &size) == ERROR_SUCCESS,
          L"the per-user set-up is registered")) {
    return;
  }
  const std::wstring aside = folder + L".aside";
  if (!report->Check(MoveFileW(folder.c_str(), aside.c_str()) != 0, L"the folder moved aside")) {
    return;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (report->Check(CreateProcessW(nullptr, stub, nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                   nullptr, nullptr, &startup, &process) != 0,
                    L"the per-user set-up starts")) {
    report->Check(WaitForSingleObject(process.hProcess, kDeadlineMs) == WAIT_OBJECT_0,
                  L"the per-user set-up ends");
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  report->Equal(FileSizeOf(folder + L"\\pomoc.txt"), helpSize,
                L"the per-user set-up makes the folder with the help file");
  DeleteFileW((folder + L"\\pomoc.txt").c_str());
  RemoveDirectoryW(folder.c_str());
  report->Check(MoveFileW(aside.c_str(), folder.c_str()) != 0, L"the folder moved back");
}

}  // namespace

void RunInstalledScenario(const ScenarioPlace& place, Report* report) {
  CoInitialize(nullptr);
  Shortcut shortcut;
  const bool read = report->Check(ReadShortcut(place.exe, &shortcut), L"the shortcut reads");
  CoUninitialize();
  if (!read) return;
  const std::wstring installed = Expanded(L"%ProgramFiles%\\tazo");
  const std::wstring exe = Expanded(shortcut.target);
  const std::wstring folder = Expanded(shortcut.workingFolder);
  report->Check(SamePath(exe, installed + L"\\tazo.exe"),
                L"the shortcut starts " + installed + L"\\tazo.exe: " + shortcut.target);
  report->Check(SamePath(folder, place.directory),
                L"the shortcut's working folder is the user's: " + shortcut.workingFolder);
  report->Check(shortcut.workingFolder.find(L'%') != std::wstring::npos,
                L"the working folder is that of whoever starts it");
  const long long helpSize = FileSizeOf(installed + L"\\pomoc.txt");
  report->Check(helpSize > 0, L"the help file is installed");
  report->Equal(FileSizeOf(folder + L"\\pomoc.txt"), helpSize, L"the help file in the folder");

  VersionResource version;
  if (report->Check(ReadVersion(exe, &version), L"tazo.exe has a version resource")) {
    report->Equal(version.fixed, place.extra + L".0", L"file version");
    report->Equal(version.String(L"FileVersion"), place.extra, L"FileVersion");
    report->Equal(version.String(L"ProductVersion"), place.extra, L"ProductVersion");
    report->Equal(version.String(L"ProductName"), L"tazo", L"ProductName");
    report->Equal(version.String(L"FileDescription"), L"tazo – przesyłanie plików przez RS-232",
                  L"FileDescription");
  }

  CheckSetUpForAnotherUser(folder, helpSize, report);

  Program program;
  if (!report->Check(program.Start(exe, folder), L"the installed tazo.exe starts")) return;
  HWND main = WaitMainWindow(program);
  if (!report->Check(main != nullptr, L"its main window opens")) {
    program.Kill();
    return;
  }
  report->Equal(CloseProgram(program, main, report), 1, L"exit status after Yes");
  report->Equal(FileSizeOf(folder + L"\\tazo.ini"), 347, L"tazo.ini in the user's folder");
}
