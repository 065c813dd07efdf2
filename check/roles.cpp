// The children that copies of setup-check.exe play while setup.exe runs. Each
// appends one line to the case's records file: its facts, texts as hex
// UTF-16 units, so that any character, a lone surrogate too, comes back exactly.
#include "check/setup_check.h"
#include "platform/process_win32.h"

#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

static void AppendHex(char* line, size_t room, const wchar_t* text) {
  size_t length = strlen(line);
  for (; *text != 0 && length + 5 < room; ++text, length += 4)
    snprintf(line + length, room - length, "%04x", static_cast<unsigned>(*text));
}

static unsigned long long Ticks(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The system time, on the clock that Windows dates a process's creation by:
// finer than the system timer's tick where Windows can (8 and later).
static unsigned long long Now() {
  // Looked up at each call: a static would bring the C++ runtime's guard of
  // its initialisation into the link.
  using PreciseTime = void(WINAPI*)(FILETIME*);
  const PreciseTime precise = reinterpret_cast<PreciseTime>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME now;
  if (precise != nullptr)
    precise(&now);
  else
    GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

static void Record(const char* line) {
  HANDLE file = CreateFileW(kRecordsFromInstallFolder, FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  CloseHandle(file);
}

// The word after key in the command line, up to the next blank.
static void WordAfter(const wchar_t* commandLine, const wchar_t* key, wchar_t* word, size_t room) {
  word[0] = 0;
  const wchar_t* found = wcsstr(commandLine, key);
  if (found == nullptr) return;
  found += wcslen(key);
  size_t length = 0;
  while (found[length] != 0 && found[length] != L' ' && length + 1 < room) ++length;
  wmemcpy(word, found, length);
  word[length] = 0;
}

// The copy that the installer started from jre\bin: it takes its time, as
// a restarted installer coming up does, then looks for a runtime file that it
// opens only late, and records what it found and when it ended.
static int PlayRestartedInstaller() {
  Sleep(kRestartedRunsMs);
  const char* found = Exists(kLateRuntimeFile) ? "found" : "missing";
  char line[64];
  snprintf(line, sizeof line, "restarted %s %llu\n", found, Now());
  Record(line);
  return 0;
}

// Starts the installer's own program again, left running, and ends.
static int RestartInstaller(const wchar_t* module) {
  wchar_t commandLine[kPathRoom + 64];
  swprintf(commandLine, kPathRoom + 64, L"\"%ls\" %ls", module, kRestarted);
  PROCESS_INFORMATION copy;
  DWORD error = 0;
  if (!StartChild(module, commandLine, nullptr, 0, nullptr, &copy, &error)) {
    char line[64];
    snprintf(line, sizeof line, "restart-failed %lu\n", error);
    Record(line);
    return 1;
  }
  CloseChild(&copy);
  return 0;
}

// javaw.exe: what it was started as, then the log that "-logfile" names.
static int PlayInstaller() {
  static char line[kCommandRoom * 4 + kPathRoom * 4 + 64];
  wchar_t module[kPathRoom];
  GetModuleFileNameW(nullptr, module, kPathRoom);
  const wchar_t* commandLine = GetCommandLineW();
  if (wcsstr(commandLine, kRestarted) != nullptr) return PlayRestartedInstaller();
  STARTUPINFOW startup;
  GetStartupInfoW(&startup);
  strcpy(line, "installer ");
  AppendHex(line, sizeof line, module);
  strcat(line, " ");
  AppendHex(line, sizeof line, commandLine);
  size_t length = strlen(line);
  snprintf(line + length, sizeof line - length, " %lu %u\n", startup.dwFlags,
           startup.wShowWindow);
  Record(line);
  if (wcsstr(commandLine, kRestart) != nullptr) return RestartInstaller(module);

  wchar_t log[kPathRoom];
  WordAfter(commandLine, L"-logfile ", log, kPathRoom);
  if (log[0] != 0) WriteTextFile(log, "setup-check's installer log\r\n");
  wchar_t release[kPathRoom];
  WordAfter(commandLine, kHangUntil, release, kPathRoom);
  // Never longer than two minutes, whatever happens to the check.
  for (int waited = 0; release[0] != 0 && !Exists(release) && waited < 120000; waited += 20)
    Sleep(20);
  // Last of all: the follow-up step must come at least a second after this.
  char end[64];
  snprintf(end, sizeof end, "installer-end %llu\n", Now());
  Record(end);
  return 0;
}

// script-marker.exe, run by the follow-up script: which program ran the
// script (its parent), whether that program's console window shows, and when
// that program was started: the follow-up step's first act. 0 when that
// cannot be read.
static int PlayScriptMarker() {
  DWORD self = GetCurrentProcessId(), parent = 0;
  HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(processes, &entry); more;
       more = Process32NextW(processes, &entry))
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  CloseHandle(processes);
  wchar_t image[kPathRoom] = L"?";
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
  DWORD size = kPathRoom;
  if (process == nullptr || !QueryFullProcessImageNameW(process, 0, image, &size))
    wcscpy(image, L"?");
  FILETIME created = {}, exited, kernel, user;
  if (process != nullptr) GetProcessTimes(process, &created, &exited, &kernel, &user);
  const unsigned long long started = Ticks(created);
  if (process != nullptr) CloseHandle(process);

  HWND console = GetConsoleWindow();
  const char* shows = console == nullptr ? "none" : IsWindowVisible(console) ? "shown" : "hidden";
  char line[kPathRoom * 4 + 64] = "script ";
  AppendHex(line, sizeof line, image);
  snprintf(line + strlen(line), sizeof line - strlen(line), " %s %llu\n", shows, started);
  Record(line);
  return 0;
}

bool PlayRole(int* exitCode) {
  wchar_t module[kPathRoom];
  DWORD length = GetModuleFileNameW(nullptr, module, kPathRoom);
  const wchar_t* name = module + length;
  while (name > module && name[-1] != L'\\' && name[-1] != L'/') --name;
  if (_wcsicmp(name, L"javaw.exe") == 0) {
    *exitCode = PlayInstaller();
  } else if (_wcsicmp(name, L"script-marker.exe") == 0) {
    *exitCode = PlayScriptMarker();
  } else if (_wcsicmp(name, L"cmd.exe") == 0) {
    // Planted beside setup.exe: it must never be the interpreter that runs.
    Record("planted-cmd\n");
    *exitCode = 0;
  } else {
    return false;
  }
  return true;
}
