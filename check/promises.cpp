// The promises setup.exe makes, each checked on real installation folders
// below the check's own folder, with copies of setup-check.exe as installer.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "check/setup_check.h"
#include "launcher/launcher.h"
#include "platform/process_win32.h"
#include "platform/sealed_mutex_win32.h"

namespace {

constexpr DWORD kTimeoutMs = 60000;
constexpr char kRefusedLine[] = "CreateProcess failed (183).\r\n";

// One installation folder and the setup.exe run in it.
struct Case {
  wchar_t root[kPathRoom];     // <work>\<name>: the parent folder, where the log moves
  wchar_t install[kPathRoom];  // the installation folder, setup.exe's working folder
  wchar_t jre[kPathRoom];
  wchar_t records[kPathRoom];
  PROCESS_INFORMATION process;
  HANDLE output;  // the read end of setup.exe's standard output, or null
  bool started, ended;
  DWORD startError, exitCode;
  unsigned long long endTime;  // FILETIME ticks of setup.exe's end
  char printed[256];  // what setup.exe wrote to standard output
};

CheckSetup check;
wchar_t windowedInstaller[kPathRoom];  // setup-check as a windowed javaw.exe
char records[kCommandRoom * 8];

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

// A file below base with text, and its folders.
bool Put(const wchar_t* base, const wchar_t* relative, const char* text,
         DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
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
const wchar_t* PolicyThatRefuses(DWORD error) {
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
DWORD PrintedStartError(const Case& c) {
  const char kStart[] = "CreateProcess failed (";
  if (strncmp(c.printed, kStart, sizeof kStart - 1) != 0) return 0;
  return static_cast<DWORD>(strtol(c.printed + sizeof kStart - 1, nullptr, 10));
}

// How the run went, for a line that cannot judge the promise.
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

// Null when the run ended as the check expects, with expectedExit: the line
// may then judge the promise. Otherwise what happened instead, and whether
// that is application control's doing (NOT HERE) or setup.exe's (FAIL).
// needsInstaller: the run starts the check's own copy as the installer, which
// application control may refuse to start: that says nothing of setup.exe.
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

// Reports the line with what happened when the run did not end as expected;
// true when it did, and the line may judge the promise.
bool Ran(const Case& c, const wchar_t* line, DWORD expectedExit = 0, bool needsInstaller = true) {
  Verdict verdict;
  const wchar_t* unexpected = Unexpected(c, expectedExit, needsInstaller, &verdict);
  if (unexpected != nullptr) Report(verdict, line, L"%ls", unexpected);
  return unexpected == nullptr;
}

// --- What the roles recorded (roles.cpp).

void LoadRecords(const Case& c) { ReadTextFile(c.records, records, sizeof records); }

// The start of the index-th line that begins with kind, or null.
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

// One hex field of a record, as UTF-16 units; returns what follows it.
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

// The installer's command line and program of the index-th start, and
// whether it was asked to start hidden; false when it did not start that often.
bool InstallerRun(int index, wchar_t* commandLine, wchar_t (&module)[kPathRoom],
                  bool* hidden = nullptr) {
  const char* fields = FindRecord("installer ", index);
  if (fields == nullptr) return false;
  const char* startup = Unhex(Unhex(fields, module, kPathRoom), commandLine, kCommandRoom);
  unsigned long flags = 0, show = 0;
  sscanf(startup, "%lu %lu", &flags, &show);
  if (hidden != nullptr) *hidden = (flags & STARTF_USESHOWWINDOW) != 0 && show == SW_HIDE;
  return true;
}

// --- The promises.

void CheckInstallerStart(const Case& c) {
  if (!Ran(c, L"installer start")) return;
  LoadRecords(c);
  static wchar_t commandLine[kCommandRoom];
  wchar_t module[kPathRoom], expected[kPathRoom], escaped[kPathRoom];
  JoinPath(expected, c.jre, L"bin\\javaw.exe");
  bool hidden = false;
  bool started = InstallerRun(0, commandLine, module, &hidden);
  Escape(started ? commandLine : L"", escaped, kPathRoom);
  if (!started)
    Report(kFail, L"installer start", L"no installer started, yet setup.exe ended with 0");
  else if (_wcsicmp(module, expected) != 0)
    Report(kFail, L"installer start", L"the installer started was %ls", module);
  else if (wcscmp(commandLine, kInstallerPrefix) != 0)
    Report(kFail, L"installer start", L"its command line was \"%ls\"", escaped);
  else if (hidden)
    Report(kFail, L"installer start", L"the installer was asked to start hidden");
  else
    Report(kPass, L"installer start");
}

void CheckWithoutInstaller(const Case& c) {
  LoadRecords(c);
  if (c.started && CountRecords("installer ") != 0)
    Report(kFail, L"no planted installer", L"the javaw.exe beside setup.exe ran");
  else if (Ran(c, L"no planted installer", 1, false))
    Report(kPass, L"no planted installer");
  if (!Ran(c, L"failed start line", 1, false)) return;
  // "CreateProcess failed (N).", N a signed decimal number, and CR LF.
  const char kStart[] = "CreateProcess failed (";
  const char* number = c.printed + sizeof kStart - 1;
  bool line = strncmp(c.printed, kStart, sizeof kStart - 1) == 0;
  if (line && *number == '-') ++number;
  const char* end = number;
  while (line && *end >= '0' && *end <= '9') ++end;
  line = line && end != number && strcmp(end, ").\r\n") == 0;
  if (line)
    Report(kPass, L"failed start line");
  else
    Report(kFail, L"failed start line", L"without an installer, %ls", Outcome(c));
}

struct Text {
  const wchar_t* name;
  const wchar_t* text;
};

// Each reaches the installer exactly, or not at all.
const Text kTexts[] = {
    {L"ASCII", L"--user=admin \"C:\\Program Files\\Quellbrook\" -q"},
    {L"Latin-1 letters", L"--name=\u00C5ngstr\u00F6m caf\u00E9"},
    {L"U+0080", L"x\u0080y"},
    {L"euro sign and curly quotes", L"\u20AC \u201Cquoted\u201D \u2018single\u2019"},
    {L"full-width quote", L"a\uFF02b\uFF02c"},
    {L"Cyrillic", L"--user=\u0416\u0435\u043D\u044F"},
    {L"CJK", L"--city=\u6771\u4EAC"},
    {L"emoji", L"\xD83D\xDE00"},
    {L"lone surrogate", L"x\xD800y"},
    {L"longer than the room", nullptr},  // 8088 units: more than the command holds
};
constexpr size_t kTextCount = sizeof kTexts / sizeof kTexts[0];

const wchar_t* TextOf(const Text& text) {
  static wchar_t longest[8089];
  if (text.text != nullptr) return text.text;
  wmemset(longest, L'x', 8088);
  longest[8088] = 0;
  return longest;
}

void CheckCharacters(const Case* cases) {
  wchar_t whole[512] = L"", nothing[512] = L"", changed[kPathRoom] = L"";
  static wchar_t commandLine[kCommandRoom], expected[kCommandRoom];
  wchar_t module[kPathRoom], escaped[kPathRoom];
  // The facts come only from runs that all ended as expected; a run that did
  // not says what happened instead, and one that application control kept
  // from its installer says nothing of setup.exe.
  bool allRan = true;
  for (size_t i = 0; i < kTextCount; ++i) {
    Verdict verdict;
    const wchar_t* unexpected = Unexpected(cases[i], 0, true, &verdict);
    if (unexpected != nullptr && verdict == kNotHere) {
      Report(kNotHere, L"characters", L"%ls", unexpected);
      return;
    }
    allRan &= unexpected == nullptr;
  }
  for (size_t i = 0; i < kTextCount; ++i) {
    LoadRecords(cases[i]);
    swprintf(expected, kCommandRoom, L"%ls%ls", kInstallerPrefix, TextOf(kTexts[i]));
    wchar_t* list = nothing;
    if (!InstallerRun(0, commandLine, module)) {
      swprintf(changed + wcslen(changed), kPathRoom - wcslen(changed), L"%ls%ls: %ls",
               changed[0] ? L"; " : L"", kTexts[i].name, Outcome(cases[i]));
      continue;
    }
    if (wcscmp(commandLine, expected) == 0) {
      list = whole;
    } else if (wcscmp(commandLine, kInstallerPrefix) != 0) {
      const size_t prefix = wcslen(kInstallerPrefix);
      bool prefixed = wcsncmp(commandLine, kInstallerPrefix, prefix) == 0;
      Escape(commandLine + (prefixed ? prefix : 0), escaped, 64);
      swprintf(changed + wcslen(changed), kPathRoom - wcslen(changed),
               L"%ls%ls arrived as \"%ls\"", changed[0] ? L"; " : L"", kTexts[i].name, escaped);
      continue;
    }
    swprintf(list + wcslen(list), 512 - wcslen(list), L"%ls%ls", list[0] ? L", " : L"",
             kTexts[i].name);
  }
  if (changed[0] != 0)
    Report(kFail, L"characters", L"%ls", changed);
  else
    Report(kPass, L"characters");
  if (!allRan) return;
  // Cyrillic, CJK and an emoji pass together only in UTF-8.
  bool utf8 = wcsstr(whole, L"Cyrillic") && wcsstr(whole, L"CJK") && wcsstr(whole, L"emoji");
  if (utf8)
    Report(kFact, L"code page", L"UTF-8 (65001)");
  else
    Report(kFact, L"code page", L"the system's (%u)", GetACP());
  Report(kFact, L"characters", L"whole: %ls; as nothing: %ls", whole[0] ? whole : L"none",
         nothing[0] ? nothing : L"none");
}

void CheckFollowUp(const Case& c) {
  if (!Ran(c, L"follow-up script")) {
    Ran(c, L"no planted cmd.exe");
    return;
  }
  LoadRecords(c);
  wchar_t system[kPathRoom], interpreter[kPathRoom], image[kPathRoom];
  GetSystemDirectoryW(system, kPathRoom);
  JoinPath(interpreter, system, L"cmd.exe");
  const char* script = FindRecord("script ", 0);
  const char* shows = script != nullptr ? Unhex(script, image, kPathRoom) : "";
  if (script == nullptr && CountRecords("script-started") != 0)
    Report(kNotHere, L"follow-up script",
           L"the script ran, but Windows refused to start the check's program in it, a copy of "
           L"setup-check.exe; application control may block it");
  else if (script == nullptr)
    Report(kFail, L"follow-up script", L"the script did not run; %ls", Outcome(c));
  else if (_wcsicmp(image, interpreter) != 0)
    Report(kFail, L"follow-up script", L"the script ran through %ls", image);
  else if (strncmp(shows, "shown", 5) == 0)
    Report(kFail, L"follow-up script", L"the command interpreter's window showed");
  else if (!There(c.install, L"quellbrook-install.log") || !There(c.jre, L"bin\\javaw.exe"))
    Report(kFail, L"follow-up script", L"with a script present, the log moved or jre was emptied");
  else
    Report(kPass, L"follow-up script");
  if (CountRecords("planted-cmd") != 0)
    Report(kFail, L"no planted cmd.exe", L"the cmd.exe in the installation folder ran");
  else
    Report(kPass, L"no planted cmd.exe");
}

// The cleanup's tree below jre, besides bin\javaw.exe.
const wchar_t* const kRuntimeFiles[] = {L"lib\\modules", L"lib\\deep\\er\\est\\file.txt",
                                        L"legal\\java.base\\LICENSE"};
const wchar_t* const kCanaryFiles[] = {L"a.txt", L"sub\\b.txt"};
constexpr char kCanary[] = "a file outside jre\r\n";
constexpr char kReadOnly[] = "a read-only file\r\n";

struct Link {
  const wchar_t* name;    // below jre, and its canary folder below the case folder
  const wchar_t* line;
  bool (*make)(const wchar_t*, const wchar_t*, wchar_t (&)[256]);
  bool made;
  wchar_t why[256];
};

Link links[] = {
    {L"junction", L"folder junction", MakeJunction, false, L""},
    {L"symlink", L"folder symbolic link", MakeFolderSymbolicLink, false, L""},
};

bool PrepareCleanup(Case* c, HANDLE* held) {
  bool ready = LayOut(c, L"cleanup", true);
  for (const wchar_t* file : kRuntimeFiles) ready &= Put(c->jre, file, "runtime file\r\n");
  ready &= Put(c->jre, L"lib\\hidden.txt", "hidden\r\n", FILE_ATTRIBUTE_HIDDEN) &&
           Put(c->jre, L"lib\\system.dat", "system\r\n", FILE_ATTRIBUTE_SYSTEM) &&
           Put(c->jre, L"hidden-folder\\inside.txt", "inside\r\n") &&
           Put(c->jre, L"keep\\ro\\readonly.txt", kReadOnly, FILE_ATTRIBUTE_READONLY) &&
           Put(c->jre, L"held\\file.txt", "held open\r\n");
  wchar_t path[kPathRoom], target[kPathRoom];
  ready &= JoinPath(path, c->jre, L"hidden-folder") &&
           SetFileAttributesW(path, FILE_ATTRIBUTE_HIDDEN) &&
           JoinPath(path, c->jre, L"ro-folder") && CreateDirectoryW(path, nullptr) &&
           SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY);
  for (Link& link : links) {
    wchar_t canary[64];
    swprintf(canary, 64, L"%ls-canary", link.name);
    for (const wchar_t* file : kCanaryFiles) {
      JoinPath(path, canary, file);
      ready &= Put(c->root, path, kCanary);
    }
    ready &= JoinPath(path, c->jre, link.name) && JoinPath(target, c->root, canary);
    link.made = ready && link.make(path, target, link.why);
  }
  // Held open as a virus scanner holds a file: deleting it is allowed.
  ready &= JoinPath(path, c->jre, L"held\\file.txt");
  *held = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
  return ready && *held != INVALID_HANDLE_VALUE;
}

void CheckCleanup(const Case& c, HANDLE held) {
  if (!Ran(c, L"cleanup")) {
    // Nothing can be told of what the cleanup does, nor of this Windows.
    for (const Link& link : links) Ran(c, link.line);
    Ran(c, L"log move");
    CloseHandle(held);
    return;
  }
  wchar_t left[kPathRoom] = L"";
  wchar_t pattern[kPathRoom];
  WIN32_FIND_DATAW found;
  JoinPath(pattern, c.jre, L"*");
  HANDLE listing = FindFirstFileW(pattern, &found);
  const wchar_t* expected[] = {L".", L"..", L"keep", L"ro-folder", L"held", L"junction",
                               L"symlink"};
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      bool known = false;
      for (const wchar_t* name : expected) known |= wcscmp(found.cFileName, name) == 0;
      if (!known)
        swprintf(left + wcslen(left), kPathRoom - wcslen(left), L" %ls", found.cFileName);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
  }
  if (!Exists(c.jre))
    Report(kFail, L"cleanup", L"jre itself was removed");
  else if (left[0] != 0)
    Report(kFail, L"cleanup", L"left in jre:%ls", left);
  else if (!Holds(c.jre, L"keep\\ro\\readonly.txt", kReadOnly))
    Report(kFail, L"cleanup", L"the read-only file jre\\keep\\ro\\readonly.txt is gone");
  else
    Report(kPass, L"cleanup");

  for (const Link& link : links) {
    wchar_t canary[kPathRoom];
    bool kept = true;
    for (const wchar_t* file : kCanaryFiles) {
      swprintf(canary, kPathRoom, L"%ls-canary\\%ls", link.name, file);
      kept &= Holds(c.root, canary, kCanary);
    }
    if (!link.made && kept)
      Report(kNotHere, link.line, L"%ls", link.why);
    else if (!kept)
      Report(kFail, link.line, L"files of the folder it pointed at, outside jre, were deleted");
    else if (There(c.jre, link.name))
      Report(kFail, link.line, L"the link is still in jre");
    else
      Report(kPass, link.line);
  }
  Report(kFact, L"read-only folder",
         There(c.jre, L"ro-folder") ? L"stayed (Windows refuses to remove it)"
                                    : L"removed (this Windows removes a read-only folder)");
  Report(kFact, L"folder of a file held open with delete sharing",
         There(c.jre, L"held") ? L"stayed (the file was deleted only when its last handle closed)"
                               : L"removed (the file's name went at once)");
  CloseHandle(held);

  if (!There(c.install, L"quellbrook-install.log") && There(c.root, L"quellbrook-install.log"))
    Report(kPass, L"log move");
  else
    Report(kFail, L"log move", L"the log was not moved one folder up");
}

// An installer that restarts itself from jre\bin and ends at once, as one
// that asks for administrator rights does: setup.exe must wait for the copy,
// and empty jre only after the copy's end.
void CheckInstallerRestart(const Case& c) {
  const wchar_t* line = L"installer restart";
  if (!c.started) {
    Ran(c, line);
    return;
  }
  // The copy runs on, whatever setup.exe did: its record comes at its end.
  LoadRecords(c);
  for (DWORD waited = 0; FindRecord("restarted ", 0) == nullptr &&
                         CountRecords("restart-failed ") == 0 && waited < kTimeoutMs;
       waited += 50) {
    Sleep(50);
    LoadRecords(c);
  }
  const char* restarted = FindRecord("restarted ", 0);
  const char* failed = FindRecord("restart-failed ", 0);
  char found[16] = "";
  unsigned long long restartedEnd = 0;
  unsigned long error = 0;
  if (restarted != nullptr) sscanf(restarted, "%15s %llu", found, &restartedEnd);
  if (failed != nullptr) sscanf(failed, "%lu", &error);
  if (!Ran(c, line)) return;
  if (CountRecords("installer ") == 0)
    Report(kFail, line, L"no installer started, yet setup.exe ended with 0");
  else if (failed != nullptr)
    Report(kNotHere, line, L"the check's installer could not start its copy (error %lu)", error);
  else if (restarted == nullptr)
    Report(kNotHere, line, L"the check's restarted installer never ended");
  else if (strcmp(found, "found") != 0)
    Report(kFail, line, L"jre was emptied under the restarted installer");
  else if (c.endTime < restartedEnd)
    Report(kFail, line, L"setup.exe ended before the restarted installer did");
  else if (There(c.install, kLateRuntimeFile))
    Report(kFail, line, L"jre was not emptied after the restarted installer ended");
  else
    Report(kPass, line);
}

constexpr char kEarlierLog[] = "an earlier installation's log\r\n";

void CheckLogKept(const Case& c) {
  if (!Ran(c, L"log never replaced")) return;
  if (Holds(c.root, L"quellbrook-install.log", kEarlierLog) &&
      There(c.install, L"quellbrook-install.log"))
    Report(kPass, L"log never replaced");
  else
    Report(kFail, L"log never replaced", L"a log already in the parent folder was replaced");
}

// Two launchers in one folder: the second must start, move and delete
// nothing while the first one's installer runs.
void CheckOnePerFolder() {
  static Case first, second;
  const wchar_t* line = L"one installation per folder";
  if (!LayOut(&first, L"one-per-folder", true) || !Put(first.jre, L"lib\\late.txt", "late\r\n")) {
    Report(kNotHere, line, L"the check could not lay out its folder (error %lu)", GetLastError());
    return;
  }
  wchar_t hang[64], release[kPathRoom];
  swprintf(hang, 64, L"%lsrelease.txt", kHangUntil);
  JoinPath(release, first.install, L"release.txt");
  Launch(&first, hang);
  // The second launcher starts only once the first one's installer runs.
  bool running = false;
  for (int waited = 0; first.started && !running && waited < 30000; waited += 20) {
    Sleep(20);
    LoadRecords(first);
    running = CountRecords("installer ") != 0;
  }
  if (!running) {
    // No second launcher: there is nothing to judge the promise by.
    WriteTextFile(release, "");
    Finish(&first);
    if (!Ran(first, line)) return;
    LoadRecords(first);
    if (CountRecords("installer ") != 0)
      Report(kNotHere, line, L"the first installer took longer than 30 s to start here");
    else
      Report(kFail, line, L"the first setup.exe ended with 0 without starting its installer");
    return;
  }
  // The second launcher runs in the same folder.
  second = Case{};
  wcscpy(second.root, first.root);
  wcscpy(second.install, first.install);
  wcscpy(second.jre, first.jre);
  wcscpy(second.records, first.records);
  Launch(&second, L"");
  Finish(&second);
  LoadRecords(first);
  int installers = CountRecords("installer ");
  bool runtime = There(first.jre, L"lib\\late.txt");
  WriteTextFile(release, "");
  Finish(&first);
  if (installers > 1)
    Report(kFail, line, L"a second setup.exe started another installer while the first one's ran");
  else if (!runtime)
    Report(kFail, line, L"a second setup.exe emptied jre under the running installer");
  else if (!second.ended || second.exitCode != 1 || strcmp(second.printed, kRefusedLine) != 0)
    Report(kFail, line, L"the second %ls", Outcome(second));
  else if (Ran(first, line))
    Report(kPass, line);
}

// A launcher elevated, or of another account, holds its guard with an access
// list that grants a launcher of the user nothing: Windows will not even let
// the second one open it. It must be turned away all the same.
void CheckGuardAcrossAccounts() {
  static Case c;
  const wchar_t* line = L"guard across accounts";
  if (!LayOut(&c, L"guard-across-accounts", true)) {
    Report(kNotHere, line, L"the check could not lay out its folder (error %lu)", GetLastError());
    return;
  }
  char16_t name[kGuardNameSize];
  if (!GetGuardName(reinterpret_cast<const char16_t*>(c.install), name)) {
    Report(kNotHere, line, L"the installation folder's final path cannot be read here");
    return;
  }
  HANDLE guard = CreateSealedMutex(reinterpret_cast<const wchar_t*>(name));
  if (guard == nullptr) {
    DWORD error = GetLastError();
    Report(kNotHere, line, L"the check cannot hold a guard here (error %lu)", error);
    return;
  }
  Launch(&c, L"");
  Finish(&c);
  CloseHandle(guard);
  LoadRecords(c);
  if (c.started && CountRecords("installer ") != 0)
    Report(kFail, line, L"setup.exe started its installer while a guard it may not open was held");
  else if (!Ran(c, line, 1, false))
    return;
  else if (strcmp(c.printed, kRefusedLine) != 0)
    Report(kFail, line, L"%ls", Outcome(c));
  else
    Report(kPass, line);
}

}  // namespace

bool CheckPromises(const CheckSetup& setup) {
  check = setup;
  ReportWindows();
  static Case cleanup, without, followUp, logKept, restart, characters[kTextCount];
  HANDLE held = INVALID_HANDLE_VALUE;
  wchar_t path[kPathRoom];
  bool ready = JoinPath(windowedInstaller, check.work, L"javaw.exe") &&
               CopyAsWindowedProgram(check.self, windowedInstaller) &&
               PrepareCleanup(&cleanup, &held) &&
               LayOut(&without, L"without-installer", false) &&
               JoinPath(path, without.install, L"javaw.exe") &&
               CopyFileW(windowedInstaller, path, FALSE) &&
               LayOut(&followUp, L"follow-up", true) &&
               // The first line tells a script that ran from one whose
               // program application control kept from starting.
               Put(followUp.install, L"installer.qb.bat",
                   "@echo script-started>>..\\records.txt\r\n@script-marker.exe\r\n") &&
               JoinPath(path, followUp.install, L"script-marker.exe") &&
               CopyFileW(check.self, path, FALSE) &&
               JoinPath(path, followUp.install, L"cmd.exe") &&
               CopyFileW(check.self, path, FALSE) &&
               LayOut(&logKept, L"log-kept", true) &&
               Put(logKept.root, L"quellbrook-install.log", kEarlierLog) &&
               LayOut(&restart, L"installer-restart", true) &&
               Put(restart.install, kLateRuntimeFile, "opened late by the runtime\r\n");
  for (size_t i = 0; i < kTextCount; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"characters-%u", static_cast<unsigned>(i + 1));
    ready &= LayOut(&characters[i], name, true);
  }
  if (!ready) return false;

  // The folders are independent: their launchers run side by side.
  Launch(&cleanup, L"");
  Launch(&without, L"");
  Launch(&followUp, L"");
  Launch(&logKept, L"");
  Launch(&restart, kRestart);
  for (size_t i = 0; i < kTextCount; ++i) Launch(&characters[i], TextOf(kTexts[i]));
  Finish(&cleanup);
  Finish(&without);
  Finish(&followUp);
  Finish(&logKept);
  Finish(&restart);
  for (Case& c : characters) Finish(&c);

  CheckInstallerStart(cleanup);
  CheckWithoutInstaller(without);
  CheckCharacters(characters);
  CheckFollowUp(followUp);
  CheckCleanup(cleanup, held);
  CheckLogKept(logKept);
  CheckInstallerRestart(restart);
  CheckOnePerFolder();
  CheckGuardAcrossAccounts();
  return true;
}
