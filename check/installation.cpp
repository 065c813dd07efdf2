// One installation folder of the check and the setup.exe run in it: its
// layout, the run with its standard output read, what the run's outcome lets
// a line say, and the records that the roles leave there.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "check/promises.h"
#include "platform/process_win32.h"

CheckSetup check;
wchar_t windowedInstaller[kPathRoom];
static char records[kCommandRoom * 8];

bool LayOut(Case* c, const wchar_t* name, bool withInstaller) {
  *c = Case{};
  wchar_t copy[kPathRoom], bin[kPathRoom], javaw[kPathRoom];
  return JoinPath(c->root, check.work, name) && JoinPath(c->install, c->root, L"install") &&
         JoinPath(c->jre, c->install, L"jre") && JoinPath(c->records, c->root, L"records.txt") &&
         MakeFolders(c->install) && JoinPath(copy, c->install, L"setup.exe") &&
         CopyFileW(check.setupExe, copy, FALSE) &&
         (!withInstaller || (JoinPath(bin, c->jre, L"bin") && MakeFolders(bin) &&
                             JoinPath(javaw, bin, L"javaw.exe") &&
                             CopyFileW(windowedInstaller, javaw, FALSE)));
}

bool Put(const wchar_t* base, const wchar_t* relative, const char* text, DWORD attributes) {
  wchar_t path[kPathRoom];
  if (!JoinPath(path, base, relative)) return false;
  wchar_t* name = wcsrchr(path, L'\\');
  *name = 0;
  bool made = MakeFolders(path);
  *name = L'\\';
  return made && WriteTextFile(path, text) && SetFileAttributesW(path, attributes);
}

bool Holds(const wchar_t* base, const wchar_t* relative, const char* text) {
  wchar_t path[kPathRoom];
  char found[256];
  return JoinPath(path, base, relative) && ReadTextFile(path, found, sizeof found) &&
         strcmp(found, text) == 0;
}

bool There(const wchar_t* base, const wchar_t* relative) {
  wchar_t path[kPathRoom];
  return JoinPath(path, base, relative) && Exists(path);
}

void Launch(Case* c, const wchar_t* argumentText) {
  static wchar_t command[kCommandRoom];
  wchar_t program[kPathRoom];
  JoinPath(program, c->install, L"setup.exe");
  swprintf(command, kCommandRoom, argumentText[0] != 0 ? L"\"%ls\" %ls" : L"\"%ls\"%ls", program,
           argumentText);
  // setup.exe's standard output, for the line of a failed start. Only the
  // write end is inheritable, and only setup.exe inherits it.
  HANDLE write = nullptr;
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  if (CreatePipe(&c->output, &write, &inheritable, 0))
    SetHandleInformation(c->output, HANDLE_FLAG_INHERIT, 0);
  // Without the check's console, as a double-click in Explorer starts it: a
  // console program that setup.exe starts then gets a console of its own.
  c->started = StartChild(program, command, c->install, DETACHED_PROCESS, write, &c->process,
                          &c->startError);
  // Closed at once, so that the pipe ends with setup.exe.
  if (write != nullptr) CloseHandle(write);
  if (!c->started && c->output != nullptr) {
    CloseHandle(c->output);
    c->output = nullptr;
  }
}

void Finish(Case* c) {
  if (!c->started) return;
  size_t kept = 0;
  c->ended = c->output != nullptr
                 ? WaitForChildReading(c->process, c->output, kTimeoutMs, c->printed,
                                       sizeof c->printed, &kept, &c->exitCode)
                 : WaitForChild(c->process, kTimeoutMs, &c->exitCode);
  if (!c->ended) {
    TerminateProcess(c->process.hProcess, 259);
    WaitForSingleObject(c->process.hProcess, INFINITE);
  }
  FILETIME created, ended, kernel, user;
  if (GetProcessTimes(c->process.hProcess, &created, &ended, &kernel, &user))
    c->endTime = (static_cast<unsigned long long>(ended.dwHighDateTime) << 32) | ended.dwLowDateTime;
  CloseChild(&c->process);
  if (c->output != nullptr) {
    CloseHandle(c->output);
    c->output = nullptr;
  }
}

// What Windows says when application control or endpoint protection keeps
// a program from starting; null for any other error.
static const wchar_t* PolicyThatRefuses(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DISABLED_BY_POLICY:
      return L"a software restriction or AppLocker policy";
    case 4551:  // ERROR_SYSTEM_INTEGRITY_POLICY_VIOLATION
      return L"Windows Defender Application Control or Smart App Control";
    case ERROR_ACCESS_DENIED:
      return L"access denied, as endpoint protection may deny it";
    default:
      return nullptr;
  }
}

// The N of setup.exe's line "CreateProcess failed (N).", or 0 without one.
static DWORD PrintedStartError(const Case& c) {
  const char kStart[] = "CreateProcess failed (";
  if (strncmp(c.printed, kStart, sizeof kStart - 1) != 0) return 0;
  return static_cast<DWORD>(strtol(c.printed + sizeof kStart - 1, nullptr, 10));
}

const wchar_t* Outcome(const Case& c) {
  static wchar_t text[512];
  wchar_t printed[256], escaped[300];
  const wchar_t* policy = PolicyThatRefuses(c.startError);
  if (!c.started && policy != nullptr) {
    swprintf(text, 512, L"Windows refused to start the copy of setup.exe under %%TEMP%% (error %lu: %ls)",
             c.startError, policy);
  } else if (!c.started) {
    swprintf(text, 512, L"setup.exe could not be started (error %lu)", c.startError);
  } else if (!c.ended) {
    swprintf(text, 512, L"setup.exe did not end within %lu s", kTimeoutMs / 1000);
  } else {
    MultiByteToWideChar(CP_UTF8, 0, c.printed, -1, printed, 256);
    Escape(printed, escaped, 300);
    swprintf(text, 512, L"setup.exe ended with %lu and wrote \"%ls\"", c.exitCode, escaped);
  }
  return text;
}

const wchar_t* Unexpected(const Case& c, DWORD expectedExit, bool needsInstaller,
                          Verdict* verdict) {
  static wchar_t text[640];
  *verdict = kFail;
  if (!c.started) {
    if (PolicyThatRefuses(c.startError) != nullptr) *verdict = kNotHere;
    return Outcome(c);
  }
  if (c.ended && c.exitCode == expectedExit) return nullptr;
  const DWORD startError = PrintedStartError(c);
  const wchar_t* policy = PolicyThatRefuses(startError);
  if (c.ended && needsInstaller && c.exitCode == 1 && policy != nullptr) {
    *verdict = kNotHere;
    swprintf(text, 640,
             L"Windows refused to start the check's installer, a copy of setup-check.exe under "
             L"%%TEMP%% (error %lu: %ls); this says nothing of setup.exe",
             startError, policy);
    return text;
  }
  return Outcome(c);
}

bool Ran(const Case& c, const wchar_t* line, DWORD expectedExit, bool needsInstaller) {
  Verdict verdict;
  const wchar_t* unexpected = Unexpected(c, expectedExit, needsInstaller, &verdict);
  if (unexpected != nullptr) Report(verdict, line, L"%ls", unexpected);
  return unexpected == nullptr;
}

// --- What the roles recorded (roles.cpp).

void LoadRecords(const Case& c) { ReadTextFile(c.records, records, sizeof records); }

const char* FindRecord(const char* kind, int index) {
  size_t length = strlen(kind);
  for (const char* line = records; *line != 0; line = strchr(line, '\n') + 1) {
    if (strncmp(line, kind, length) == 0 && index-- == 0) return line + length;
    if (strchr(line, '\n') == nullptr) break;
  }
  return nullptr;
}

int CountRecords(const char* kind) {
  int count = 0;
  while (FindRecord(kind, count) != nullptr) ++count;
  return count;
}

const char* Unhex(const char* hex, wchar_t* text, size_t room) {
  size_t length = 0;
  for (; hex[0] > ' ' && hex[1] > ' ' && hex[2] > ' ' && hex[3] > ' ' && length + 1 < room;
       hex += 4) {
    char unit[5] = {hex[0], hex[1], hex[2], hex[3], 0};
    text[length++] = static_cast<wchar_t>(strtoul(unit, nullptr, 16));
  }
  text[length] = 0;
  while (*hex > ' ') ++hex;  // what did not fit, or a broken unit
  return *hex == ' ' ? hex + 1 : hex;
}

bool InstallerRun(int index, wchar_t* commandLine, wchar_t (&module)[kPathRoom], bool* hidden) {
  const char* fields = FindRecord("installer ", index);
  if (fields == nullptr) return false;
  const char* startup = Unhex(Unhex(fields, module, kPathRoom), commandLine, kCommandRoom);
  unsigned long flags = 0, show = 0;
  sscanf(startup, "%lu %lu", &flags, &show);
  if (hidden != nullptr) *hidden = (flags & STARTF_USESHOWWINDOW) != 0 && show == SW_HIDE;
  return true;
}
