// setup-check.exe [SETUP_EXE]: checks the setup.exe beside it, or the one
// named, and prints one line per promise. Exit status: 0 when nothing failed,
// 1 when a promise failed, 2 when the check could not run.
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include "check/setup_check.h"
#include "version.h"

static int failed = 0;

static void Write(const wchar_t* text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(output, &mode)) {
    WriteConsoleW(output, text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
    return;
  }
  // Redirected: UTF-8, whatever the system's code page.
  static char bytes[kCommandRoom * 3];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
  if (length > 1) WriteFile(output, bytes, static_cast<DWORD>(length - 1), &written, nullptr);
}

void Escape(const wchar_t* text, wchar_t* out, size_t room) {
  size_t length = 0;
  for (; *text != 0 && length + 7 < room; ++text) {
    if (*text >= 0x20 && *text < 0x7F)
      out[length++] = *text;
    else
      length += swprintf(out + length, room - length, L"\\u%04X", static_cast<unsigned>(*text));
  }
  out[length] = 0;
}

void Report(Verdict verdict, const wchar_t* name, const wchar_t* format, ...) {
  static const wchar_t* const kWords[] = {L"PASS", L"FAIL", L"NOT HERE", L"FACT"};
  static wchar_t line[kCommandRoom];
  int length = swprintf(line, kCommandRoom, L"%ls %ls", kWords[verdict], name);
  if (format != nullptr && length > 0) {
    length += swprintf(line + length, kCommandRoom - length, L": ");
    va_list arguments;
    va_start(arguments, format);
    int added = vswprintf(line + length, kCommandRoom - length, format, arguments);
    va_end(arguments);
    if (added > 0) length += added;
  }
  if (length > 0) swprintf(line + length, kCommandRoom - length, L"\r\n");
  Write(line);
  if (verdict == kFail) ++failed;
}

static int Usage(const wchar_t* problem) {
  wchar_t text[kPathRoom * 2];
  swprintf(text, kPathRoom * 2,
           L"%ls\r\nusage: setup-check.exe [SETUP_EXE]\r\n"
           L"Runs setup.exe (the one beside this program, or SETUP_EXE) through its promises in a "
           L"throw-away folder under %%TEMP%% and prints PASS, FAIL, NOT HERE and FACT lines.\r\n"
           L"Exit status: 0 nothing failed, 1 a promise failed, 2 the check could not run.\r\n",
           problem);
  Write(text);
  return 2;
}

int wmain(int argc, wchar_t** argv) {
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

  wchar_t header[kPathRoom * 2];
  swprintf(header, kPathRoom * 2, L"setup-check %ls: %ls\r\nin %ls\r\n",
           L"" SETUP_VERSION_TEXT, setupExe, work);
  Write(header);
  CheckPromises(CheckSetup{setupExe, self, work});

  if (failed == 0) {
    RemoveTree(work);
    Write(L"Nothing failed.\r\n");
    return 0;
  }
  swprintf(header, kPathRoom * 2, L"%d failed; the folders are kept in %ls\r\n", failed, work);
  Write(header);
  return 1;
}
