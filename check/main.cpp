// setup-check.exe [SETUP_EXE]: checks the setup.exe beside it, or the one
// named, and prints one line per promise. Exit status: 0 when nothing failed,
// 1 when a promise failed, 2 when the check could not run.
#include <stdio.h>
#include <wchar.h>

#include "check/setup_check.h"
#include "platform/platform.h"
#include "version.h"

static int Usage(const wchar_t* problem) {
  wchar_t text[kPathRoom * 2];
  swprintf(text, kPathRoom * 2,
           L"%ls\r\nusage: setup-check.exe [SETUP_EXE]\r\n"
           L"Runs setup.exe (the one beside this program, or SETUP_EXE) through its promises in a "
           L"throw-away folder under %%TEMP%% and prints PASS, FAIL, NOT HERE and FACT lines.\r\n"
           L"Exit status: 0 nothing failed, 1 a promise failed, 2 the check could not run.\r\n"
           L"To keep the lines, for a help desk say: setup-check.exe > result.txt\r\n",
           problem);
  Write(text);
  return 2;
}

int wmain(int argc, wchar_t** argv) {
  // Before anything could load a DLL, as setup.exe does.
  platform::RestrictDllSearchToSystemFolder();
  int roleStatus = 0;
  if (PlayRole(&roleStatus)) return roleStatus;

  wchar_t self[kPathRoom], setupExe[kPathRoom], temp[kPathRoom], work[kPathRoom];
  DWORD selfLength = GetModuleFileNameW(nullptr, self, kPathRoom);
  if (selfLength == 0 || selfLength >= kPathRoom) return Usage(L"this program's path is too long");
  if (argc > 2) return Usage(L"one argument at most");
  if (argc == 2 && (wcscmp(argv[1], L"/?") == 0 || wcscmp(argv[1], L"--help") == 0)) {
    Usage(L"setup-check " SETUP_VERSION_TEXT);
    return 0;
  }
  if (argc == 2) {
    // A path longer than the room gives the length it needs and leaves the
    // buffer unwritten, not 0.
    DWORD full = GetFullPathNameW(argv[1], kPathRoom, setupExe, nullptr);
    if (full == 0 || full >= kPathRoom) return Usage(L"bad path");
  } else {
    wchar_t folder[kPathRoom];
    wcscpy(folder, self);
    wchar_t* name = wcsrchr(folder, L'\\');
    if (name != nullptr) *name = 0;
    if (name == nullptr || !JoinPath(setupExe, folder, L"setup.exe"))
      return Usage(L"this program's path is too long");
  }
  DWORD attributes = GetFileAttributesW(setupExe);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    wchar_t problem[kPathRoom + 32];
    swprintf(problem, kPathRoom + 32, L"no setup.exe at %ls", setupExe);
    return Usage(problem);
  }

  // %TEMP% is often given in 8.3 short form; the long one is what the
  // installer's own path will be compared with.
  DWORD length = GetTempPathW(kPathRoom, temp);
  if (length == 0 || length >= kPathRoom) return Usage(L"no folder for temporary files");
  length = GetLongPathNameW(temp, temp, kPathRoom);
  if (length == 0 || length >= kPathRoom) return Usage(L"no folder for temporary files");
  swprintf(work, kPathRoom, L"%lssetup-check-%lu-%llu", temp, GetCurrentProcessId(),
           static_cast<unsigned long long>(GetTickCount64()));
  if (!CreateDirectoryW(work, nullptr)) return Usage(L"cannot make a folder under %TEMP%");

  wchar_t header[kPathRoom * 2], version[64], named[80] = L"no version resource";
  if (ReadProductVersion(setupExe, version)) swprintf(named, 80, L"version %ls", version);
  swprintf(header, kPathRoom * 2, L"setup-check %ls: %ls (%ls)\r\nin %ls\r\n",
           L"" SETUP_VERSION_TEXT, setupExe, named, work);
  Write(header);
  if (!CheckPromises(CheckSetup{setupExe, self, work})) {
    DWORD error = GetLastError();
    RemoveTree(work);
    wchar_t problem[96];
    swprintf(problem, 96, L"cannot lay out installation folders under %%TEMP%% (error %lu)", error);
    return Usage(problem);
  }

  const int failed = FailedCount();
  if (failed == 0) {
    RemoveTree(work);
    Write(L"Nothing failed.\r\n");
    return 0;
  }
  swprintf(header, kPathRoom * 2, L"%d failed; the folders are kept in %ls\r\n", failed, work);
  Write(header);
  return 1;
}
