// Tests of the Win32 platform layer (platform/platform_win32.cpp) under Wine,
// and natively on Windows in CI, in the manner of Wine's own
// dlls/kernel32/tests: each promise of
// platform/platform.h that the launcher relies on, checked where a careless
// change could break it unseen by the host tests.
//
//   platform_test FOLDER           runs every case in the throw-away FOLDER;
//                                  exits with the number of failed checks
//   platform_test --child ROLE ... the program's own children (see Child)
//
// The program carries setup.exe's manifest, so it runs with UTF-8 as its code
// page, as setup.exe does. A DLL that lies only beside it,
// platform-test-plant.dll, plays the DLL an attacker plants.
#include <windows.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "launcher/launcher.h"
#include "platform/platform.h"
#include "platform/process_win32.h"
#include "platform/sealed_mutex_win32.h"

namespace {

int checks = 0, failures = 0;

// ok(condition, format, ...): one check; a failure prints where and why.
#define ok(condition, ...) Check(condition, __LINE__, __VA_ARGS__)

void Check(bool condition, int line, const char* format, ...) {
  ++checks;
  if (condition) return;
  ++failures;
  va_list arguments;
  va_start(arguments, format);
  printf("platform_test.cpp:%d: Test failed: ", line);
  vprintf(format, arguments);
  va_end(arguments);
  printf("\n");
}

const char16_t* U(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

std::wstring folder;  // the throw-away folder, with a trailing backslash
wchar_t self[MAX_PATH];

void WriteFileText(const std::wstring& path, const char* text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  CloseHandle(file);
}

std::string ReadFileText(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(missing)";
  char buffer[4096];
  DWORD read = 0;
  ReadFile(file, buffer, sizeof buffer, &read, nullptr);
  CloseHandle(file);
  return std::string(buffer, read);
}

// Waits until the file exists, 30 s at the most.
void WaitForFile(const std::wstring& path) {
  for (int waited = 0; waited < 30000 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
       waited += 20)
    Sleep(20);
}

// --- The program's children: started by the cases below, they report what
// they were given.

// "startup FILE": writes its start-up flags, show state and command line.
int ReportStartup(const wchar_t* report) {
  STARTUPINFOW startup;
  GetStartupInfoW(&startup);
  char line[1024];
  snprintf(line, sizeof line, "%lu %u %ls", startup.dwFlags, startup.wShowWindow,
           GetCommandLineW());
  Sleep(300);  // a child that takes its time: the caller must wait for it
  WriteFileText(report, line);
  return 0;
}

int Child(int argc, wchar_t** argv) {
  if (argc >= 4 && wcscmp(argv[2], L"startup") == 0) return ReportStartup(argv[3]);
  if (argc >= 4 && wcscmp(argv[2], L"guard") == 0) {
    // Takes the guard as the launcher does and ends without letting go of it.
    uint32_t error = 0;
    platform::Handle guard = platform::CreateMutexW(U(argv[3]), &error);
    return guard == nullptr ? 98 : static_cast<int>(platform::WaitForSingleObject(guard, 0));
  }
  if (argc >= 5 && wcscmp(argv[2], L"sealed-guard") == 0) {
    // Holds a guard that nobody else may open, says so with the file
    // argv[4].ready, and holds it until argv[4].release appears.
    HANDLE guard = CreateSealedMutex(argv[3]);
    if (guard == nullptr) return 98;
    std::wstring signal = argv[4];
    WriteFileText(signal + L".ready", "");
    WaitForFile(signal + L".release");
    return 0;
  }
  if (argc >= 4 && wcscmp(argv[2], L"sleep") == 0) {
    Sleep(wcstoul(argv[3], nullptr, 10));
    return 0;
  }
  if (argc >= 3 && wcscmp(argv[2], L"stdout") == 0) {
    platform::WriteStandardOutput("written\n");
    // Given a handle's value: signals it, which only an inherited event lets.
    if (argc >= 4) SetEvent(reinterpret_cast<HANDLE>(wcstoull(argv[3], nullptr, 10)));
    return 0;  // the runtime flushes standard output on the way out
  }
  if (argc >= 3 && wcscmp(argv[2], L"flood") == 0) {
    // A megabyte, far more than a pipe holds.
    for (int i = 0; i < 200000; ++i) platform::WriteStandardOutput("flood");
    return 0;
  }
  return 99;
}

// Starts this program as a child with the given standard output (null: none)
// and returns its exit code.
DWORD RunChild(const wchar_t* arguments, HANDLE output) {
  std::wstring line = std::wstring(L"platform_test --child ") + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(self, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process))
    return 0xFFFFFFFF;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

// --- The cases.

void TestFindFirstFileW() {
  platform::FindRecord record;
  std::wstring missing = folder + L"missing\\*.*";
  platform::FindHandle found = platform::FindFirstFileW(U(missing.c_str()), &record);
  ok(found == nullptr, "a missing folder gave an enumeration %p", static_cast<void*>(found));

  WriteFileText(folder + L"plain-file", "x");
  std::wstring file = folder + L"plain-file\\*.*";
  found = platform::FindFirstFileW(U(file.c_str()), &record);
  ok(found == nullptr, "a file given as a folder gave an enumeration %p",
     static_cast<void*>(found));

  // A folder with one hidden file: ".", ".." and the file's long name.
  CreateDirectoryW((folder + L"listed").c_str(), nullptr);
  WriteFileText(folder + L"listed\\A long name.txt", "x");
  SetFileAttributesW((folder + L"listed\\A long name.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  std::wstring listed = folder + L"listed\\*.*";
  found = platform::FindFirstFileW(U(listed.c_str()), &record);
  ok(found != nullptr, "an existing folder gave no enumeration");
  if (found == nullptr) return;
  int entries = 0;
  bool sawFile = false;
  do {
    ++entries;
    bool file = wcscmp(reinterpret_cast<wchar_t*>(record.cFileName), L"A long name.txt") == 0;
    sawFile |= file;
    // The listing's own attributes come with the name.
    if (file)
      ok((record.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY)) ==
             FILE_ATTRIBUTE_HIDDEN,
         "the hidden file was listed as %lx",
         static_cast<unsigned long>(record.dwFileAttributes));
    else
      ok((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, "a dot entry was listed as %lx",
         static_cast<unsigned long>(record.dwFileAttributes));
  } while (platform::FindNextFileW(found, &record));
  platform::FindClose(found);
  ok(entries == 3, "expected 3 entries, got %d", entries);
  ok(sawFile, "the hidden file's long name was not enumerated");
  // The enumeration is closed: its folder can go.
  DeleteFileW((folder + L"listed\\A long name.txt").c_str());
  ok(RemoveDirectoryW((folder + L"listed").c_str()), "the enumerated folder is still held: %lu",
     GetLastError());
}

void TestRunAndWaitStartErrors() {
  struct {
    const wchar_t* name;
    const char* content;  // null: the file does not exist
    DWORD error;
  } cases[] = {
      {L"missing.exe", nullptr, ERROR_FILE_NOT_FOUND},
      {L"not-a-program.exe", "plain text, not a program\r\n", ERROR_BAD_EXE_FORMAT},
  };
  for (const auto& start : cases) {
    std::wstring path = folder + start.name;
    if (start.content != nullptr) WriteFileText(path, start.content);
    char application[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, application, sizeof application, nullptr,
                        nullptr);
    char commandLine[] = "program --option";
    uint32_t error = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    bool started = platform::RunAndWait(application, commandLine, false, &error);
    ok(!started, "%ls started", start.name);
    ok(error == start.error, "%ls: expected the start's own error %lu, got %u", start.name,
       start.error, error);
  }
}

void TestRunAndWaitShowState() {
  char application[MAX_PATH * 3];
  WideCharToMultiByte(CP_UTF8, 0, self, -1, application, sizeof application, nullptr, nullptr);
  for (bool hidden : {false, true}) {
    std::wstring report = folder + (hidden ? L"startup-hidden.txt" : L"startup-shown.txt");
    char reportUtf8[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, report.c_str(), -1, reportUtf8, sizeof reportUtf8, nullptr,
                        nullptr);
    std::string line = std::string("child --child startup \"") + reportUtf8 + "\" x  \"y z\" ";
    uint32_t error = 0xdeadbeef;
    bool started = platform::RunAndWait(application, &line[0], hidden, &error);
    ok(started, "the child did not start: %u", error);
    // The child writes its report only after a pause: it is there once
    // RunAndWait has returned.
    std::string got = ReadFileText(report);
    unsigned long flags = 0;
    unsigned showState = 0;
    int consumed = 0;
    sscanf(got.c_str(), "%lu %u %n", &flags, &showState, &consumed);
    if (hidden) {
      ok((flags & STARTF_USESHOWWINDOW) != 0, "hidden: no STARTF_USESHOWWINDOW in %lu", flags);
      ok(showState == SW_HIDE, "hidden: show state %u", showState);
    } else {
      ok(flags == 0, "shown: the start-up flags are %lu, not none", flags);
    }
    // The command line reaches the child unchanged, its first word included.
    ok(got.substr(consumed) == line, "the child's command line is \"%s\"",
       got.substr(consumed).c_str());
  }
}

void TestRestrictDllSearchToSystemFolder() {
  // Before: the plant beside the program is found by its name alone, as any
  // program would find it. After: only the system folder counts.
  HMODULE plant = LoadLibraryW(L"platform-test-plant.dll");
  ok(plant != nullptr, "before: the DLL beside the program was not loaded: %lu", GetLastError());
  if (plant != nullptr) FreeLibrary(plant);

  platform::RestrictDllSearchToSystemFolder();
  SetLastError(0xdeadbeef);
  plant = LoadLibraryW(L"platform-test-plant.dll");
  DWORD error = GetLastError();
  ok(plant == nullptr, "after: the DLL beside the program was loaded");
  ok(error == ERROR_MOD_NOT_FOUND, "after: expected ERROR_MOD_NOT_FOUND, got %lu", error);
  if (plant != nullptr) FreeLibrary(plant);
  // System DLLs are still found by name.
  HMODULE system = LoadLibraryW(L"version.dll");
  ok(system != nullptr, "after: a system DLL was not loaded: %lu", GetLastError());
  if (system != nullptr) FreeLibrary(system);
}

void TestGetSystemDirectoryA() {
  char path[MAX_PATH];
  uint32_t error = 0xdeadbeef;
  uint32_t length = platform::GetSystemDirectoryA(path, sizeof path, &error);
  ok(length > 0 && length == strlen(path), "length %u for \"%s\"", length, path);
  ok(length > 0 && path[length - 1] != '\\', "a trailing backslash: \"%s\"", path);
  ok(_stricmp(path + (length > 9 ? length - 9 : 0), "\\system32") == 0, "not system32: \"%s\"",
     path);

  // One byte short of the terminator's place, and no room at all.
  for (uint32_t size : {length, 1u}) {
    char small[MAX_PATH];
    memset(small, 'Z', sizeof small);
    error = 0xdeadbeef;
    uint32_t got = platform::GetSystemDirectoryA(small, size, &error);
    ok(got == 0, "a buffer of %u bytes gave %u", size, got);
    ok(error == ERROR_INSUFFICIENT_BUFFER, "a buffer of %u bytes: error %u", size, error);
    ok(small[size] == 'Z', "a buffer of %u bytes was written past its end", size);
  }
}

void TestWriteStandardOutput() {
  // Without a standard output handle the child writes nothing and ends well.
  DWORD code = RunChild(L"stdout", nullptr);
  ok(code == 0, "without standard output the child ended with %lu", code);

  // With a file: the line, its line feed written as CR LF.
  std::wstring path = folder + L"stdout.txt";
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                            CREATE_ALWAYS, 0, nullptr);
  code = RunChild(L"stdout", file);
  CloseHandle(file);
  ok(code == 0, "with a file the child ended with %lu", code);
  std::string written = ReadFileText(path);
  ok(written == "written\r\n", "the file holds \"%s\"", written.c_str());
}

void TestChildWithPipeAndFolder() {
  // An inheritable handle that is not the pipe: a child that got it could
  // signal the event through it.
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE event = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  wchar_t signal[64];
  swprintf(signal, 64, L"platform_test --child stdout %llu",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(event)));
  // The pipe is read while the child runs; a small room keeps the start and
  // drains the rest, and a child that writes more than the pipe holds ends.
  struct {
    const wchar_t* line;
    size_t room;
    const char* expected;
  } cases[] = {
      {signal, 32, "written\r\n"},
      {signal, sizeof "wri", "wri"},
      {L"platform_test --child flood", 32, "floodfloodfloodfloodfloodfloodf"},
  };
  for (const auto& run : cases) {
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inheritable, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::wstring line = run.line;
    PROCESS_INFORMATION child;
    DWORD error = 0xdeadbeef, code = 0xdeadbeef;
    bool started =
        StartChild(self, &line[0], folder.c_str(), DETACHED_PROCESS, write, &child, &error);
    CloseHandle(write);
    ok(started, "no start: %lu", error);
    if (!started) break;
    char bytes[32];
    size_t kept = 0;
    bool ended = WaitForChildReading(child, read, 30000, bytes, run.room, &kept, &code);
    CloseHandle(read);
    ok(ended && code == 0, "%ls: the child ended %d with %lu", run.line, ended, code);
    if (!ended) TerminateProcess(child.hProcess, 1);
    CloseChild(&child);
    ok(kept == strlen(run.expected) && strcmp(bytes, run.expected) == 0,
       "%ls: kept %u bytes: \"%s\"", run.line, static_cast<unsigned>(kept), bytes);
  }
  ok(WaitForSingleObject(event, 0) == WAIT_TIMEOUT, "a handle beside the pipe was inherited");
  CloseHandle(event);
}

void TestWaitForChildTimesOut() {
  std::wstring report = folder + L"startup-waited.txt";
  std::wstring line = L"platform_test --child startup \"" + report + L"\"";
  PROCESS_INFORMATION child;
  DWORD error = 0, code = 0xdeadbeef;
  if (!StartChild(self, &line[0], nullptr, 0, nullptr, &child, &error)) {
    ok(false, "no start: %lu", error);
    return;
  }
  // The child takes 300 ms: not over at once, then over with its code.
  ok(!WaitForChild(child, 0, &code) && code == 0xdeadbeef, "no wait, yet ended: %lu", code);
  ok(WaitForChild(child, INFINITE, &code) && code == 0, "ended with %lu", code);
  CloseChild(&child);
}

void TestConversions() {
  // UTF-8, as setup.exe runs: a Cyrillic letter takes two bytes.
  const char16_t* text = u"\u0416a";  // 3 bytes and the terminator
  char bytes[8];
  memset(bytes, 'Z', sizeof bytes);
  ok(platform::WideCharToMultiByte(text, bytes, 4) == 4, "4 bytes of room were not enough");
  ok(memcmp(bytes, "\xD0\x96" "a", 4) == 0 && bytes[4] == 'Z', "not the UTF-8 bytes");
  memset(bytes, 'Z', sizeof bytes);
  ok(platform::WideCharToMultiByte(text, bytes, 3) == 0, "3 bytes of room were enough");
  ok(bytes[3] == 'Z', "written past a room of 3 bytes");

  char16_t units[4];
  memset(units, 0x5A, sizeof units);
  ok(platform::MultiByteToWideChar("\xD0\x96" "a", units, 3) == 3, "3 units were not enough");
  ok(units[0] == 0x0416 && units[1] == u'a' && units[2] == 0, "not the letters back");
  ok(platform::MultiByteToWideChar("\xD0\x96" "a", units, 2) == 0, "2 units were enough");
  // Bytes that are not UTF-8 give nothing, not a replacement character.
  ok(platform::MultiByteToWideChar("a\xC3(", units, 4) == 0, "invalid UTF-8 was converted");
}

void TestGetFinalPath() {
  std::wstring plain = folder + L"A folder with a long name";
  CreateDirectoryW(plain.c_str(), nullptr);
  CreateDirectoryW((plain + L"\\inner").c_str(), nullptr);
  wchar_t shortPath[MAX_PATH * 2], upper[MAX_PATH * 2];
  GetShortPathNameW(plain.c_str(), shortPath, MAX_PATH * 2);
  wcscpy(upper, plain.c_str());
  CharUpperW(upper);
  char16_t expected[MAX_PATH * 2], got[MAX_PATH * 2];
  size_t length = platform::GetFinalPath(U(plain.c_str()), expected, MAX_PATH * 2);
  for (const std::wstring& spelling : {std::wstring(upper), std::wstring(shortPath),
                                       plain + L"\\inner\\..\\"}) {
    size_t gotLength = platform::GetFinalPath(U(spelling.c_str()), got, MAX_PATH * 2);
    ok(length > 0 && gotLength == length && memcmp(got, expected, length * 2 + 2) == 0,
       "%ls gave %ls, not %ls", spelling.c_str(), reinterpret_cast<wchar_t*>(got),
       reinterpret_cast<wchar_t*>(expected));
  }
  ok(platform::GetFinalPath(U(plain.c_str()), got, length) == 0,
     "a room without the terminator's place was enough");
  std::wstring missing = folder + L"missing";
  ok(platform::GetFinalPath(U(missing.c_str()), got, MAX_PATH * 2) == 0,
     "a missing folder has a final path");
}

void TestGuardMutex() {
  const wchar_t* name = L"Local\\QuellbrookSetup-platform-test";
  // This process holds a handle but not the guard, as a second launcher would
  // while a first one is killed.
  uint32_t error = 0xdeadbeef;
  platform::Handle mine = platform::CreateMutexW(U(name), &error);
  ok(mine != nullptr && error == 0xdeadbeef, "no mutex: %u", error);
  if (mine == nullptr) return;
  DWORD flags = 0xdeadbeef;
  ok(GetHandleInformation(reinterpret_cast<HANDLE>(mine), &flags) &&
         (flags & HANDLE_FLAG_INHERIT) == 0,
     "the guard's handle is inheritable: flags %lx", flags);

  std::wstring arguments = std::wstring(L"guard ") + name;
  DWORD child = RunChild(arguments.c_str(), nullptr);
  ok(child == WAIT_OBJECT_0, "a free guard was not taken in another process: %lu", child);
  // That process ended holding it.
  uint32_t waited = platform::WaitForSingleObject(mine, 0);
  ok(waited == WAIT_ABANDONED, "an abandoned guard gave %x", waited);
  child = RunChild(arguments.c_str(), nullptr);
  ok(child == WAIT_TIMEOUT, "a held guard gave another process %lu", child);

  platform::CloseHandle(mine);
  child = RunChild(arguments.c_str(), nullptr);
  ok(child == WAIT_OBJECT_0, "a guard let go of by closing was not free: %lu", child);
}

void TestGuardThatMayNotBeOpened() {
  // Another process holds the guard with an access list that grants this one
  // nothing, as an elevated launcher's guard does to a launcher of the user.
  const wchar_t* name = L"Local\\QuellbrookSetup-platform-test-sealed";
  std::wstring signal = folder + L"sealed-guard";
  std::wstring line = std::wstring(L"child --child sealed-guard ") + name + L" \"" + signal + L"\"";
  PROCESS_INFORMATION holder;
  DWORD startError = 0;
  if (!StartChild(self, &line[0], nullptr, 0, nullptr, &holder, &startError)) {
    ok(false, "the holder did not start: %lu", startError);
    return;
  }
  WaitForFile(signal + L".ready");
  uint32_t error = 0xdeadbeef;
  platform::Handle guard = platform::CreateMutexW(U(name), &error);
  ok(guard == nullptr, "a guard that grants nothing was opened");
  ok(error == ERROR_ACCESS_DENIED, "expected ERROR_ACCESS_DENIED, got %u", error);
  WriteFileText(signal + L".release", "");
  DWORD code = 0xdeadbeef;
  ok(WaitForChild(holder, 30000, &code) && code == 0, "the holder ended with %lu", code);
  CloseChild(&holder);
}

// A copy of this program at relative, below the current folder, started with
// "--child sleep milliseconds" and left running.
HANDLE StartSleeper(const wchar_t* relative, const wchar_t* milliseconds) {
  std::wstring copy = folder + L"runtime-wait\\" + relative;
  for (size_t slash = copy.find(L'\\', folder.size()); slash != std::wstring::npos;
       slash = copy.find(L'\\', slash + 1))
    CreateDirectoryW(copy.substr(0, slash).c_str(), nullptr);
  CopyFileW(self, copy.c_str(), FALSE);
  std::wstring line = std::wstring(L"child --child sleep ") + milliseconds;
  PROCESS_INFORMATION child;
  DWORD error = 0;
  if (!StartChild(copy.c_str(), &line[0], nullptr, 0, nullptr, &child, &error)) {
    ok(false, "%ls did not start: %lu", relative, error);
    return nullptr;
  }
  CloseHandle(child.hThread);
  return child.hProcess;
}

void TestWaitForRuntimePrograms() {
  std::wstring installation = folder + L"runtime-wait";
  CreateDirectoryW(installation.c_str(), nullptr);
  // One that has ended, though this process still holds it; one from jre;
  // one from a sibling whose name begins the same; one from outside jre.
  HANDLE ended = StartSleeper(L"jre\\bin\\ended.exe", L"0");
  WaitForSingleObject(ended, INFINITE);
  HANDLE inside = StartSleeper(L"jre\\bin\\java.exe", L"1500");
  HANDLE sibling = StartSleeper(L"jre-old\\bin\\java.exe", L"30000");
  HANDLE outside = StartSleeper(L"viewer.exe", L"30000");
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  SetCurrentDirectoryW(installation.c_str());
  WaitForRuntimePrograms();
  SetCurrentDirectoryW(before);
  ok(WaitForSingleObject(inside, 0) == WAIT_OBJECT_0, "returned while jre\\bin\\java.exe ran");
  ok(WaitForSingleObject(sibling, 0) == WAIT_TIMEOUT, "waited for jre-old\\bin\\java.exe");
  ok(WaitForSingleObject(outside, 0) == WAIT_TIMEOUT, "waited for a program outside jre");
  for (HANDLE child : {ended, inside, sibling, outside}) {
    if (child == nullptr) continue;
    TerminateProcess(child, 0);
    WaitForSingleObject(child, INFINITE);
    CloseHandle(child);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && wcscmp(argv[1], L"--child") == 0) return Child(argc, argv);
  if (argc != 2) {
    printf("usage: platform_test FOLDER\n");
    return 255;
  }
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  folder = argv[1];
  if (folder.back() != L'\\') folder += L'\\';
  CreateDirectoryW(folder.c_str(), nullptr);

  TestFindFirstFileW();
  TestRunAndWaitStartErrors();
  TestRunAndWaitShowState();
  TestGetSystemDirectoryA();
  TestWriteStandardOutput();
  TestChildWithPipeAndFolder();
  TestWaitForChildTimesOut();
  TestConversions();
  TestGetFinalPath();
  TestGuardMutex();
  TestGuardThatMayNotBeOpened();
  TestWaitForRuntimePrograms();
  // Last: it changes where this process looks for DLLs.
  TestRestrictDllSearchToSystemFolder();

  printf("platform_test: %d tests executed, %d failures\n", checks, failures);
  fflush(stdout);
  return failures;
}
