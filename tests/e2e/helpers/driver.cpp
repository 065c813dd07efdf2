// The end-to-end tests' driver: starts setup.exe with an exact command line
// and a chosen standard output, answers its message boxes, and writes what it
// saw to a report file.
//
//   driver --report FILE --exe PROGRAM --cmdline-file FILE [--cwd FOLDER]
//          [--stdout file:FILE | pipe | none] [--hold FILE]... [--timeout-ms N]
//          [--kill-when FILE] [--shots FOLDER]
//
// The command line file holds UTF-16LE units, so that any text, lone
// surrogates included, reaches the launcher exactly, and a line of any length
// the platform takes fits (it would not on the driver's own). The report has
// one "key=value" line per fact; texts are hex again (UTF-16 units for boxes,
// bytes for standard output), times are FILETIME ticks of 100 ns.
// With --kill-when, the launcher is terminated as soon as FILE exists, as a
// user would end it from the task manager.
// With --shots, each box waits to be photographed before it is answered: the
// driver writes FOLDER\box-N.rect with the box's screen rectangle ("left top
// right bottom") and answers once FOLDER\box-N.done exists.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

struct Options {
  std::wstring report, exe, cwd, stdoutMode = L"none", stdoutFile, killWhen, shots;
  std::wstring commandLine;
  std::vector<std::wstring> holds;
  DWORD timeoutMs = 60000;
};

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "driver: %s (error %lu)\n", what, GetLastError());
  exit(2);
}

unsigned long long Now() {
  FILETIME time;
  GetSystemTimePreciseAsFileTime(&time);
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::wstring ReadUtf16File(const std::wstring& path) {
  FILE* in = _wfopen(path.c_str(), L"rb");
  if (in == nullptr) Fail("cannot read the command line file");
  std::wstring text;
  unsigned char pair[2];
  while (fread(pair, 1, 2, in) == 2) text += static_cast<wchar_t>(pair[0] | pair[1] << 8);
  fclose(in);
  return text;
}

std::string Hex(const wchar_t* text, size_t units) {
  std::string out;
  char unit[8];
  for (size_t i = 0; i < units; ++i) {
    snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(text[i]));
    out += unit;
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char byte[4];
  for (unsigned char c : bytes) {
    snprintf(byte, sizeof byte, "%02x", c);
    out += byte;
  }
  return out;
}

Options Parse(int argc, wchar_t** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (i + 1 >= argc) Fail("an option without its value");
    std::wstring value = argv[++i];
    if (arg == L"--report") options.report = value;
    else if (arg == L"--exe") options.exe = value;
    else if (arg == L"--cmdline-file") options.commandLine = ReadUtf16File(value);
    else if (arg == L"--cwd") options.cwd = value;
    else if (arg == L"--hold") options.holds.push_back(value);
    else if (arg == L"--kill-when") options.killWhen = value;
    else if (arg == L"--shots") options.shots = value;
    else if (arg == L"--timeout-ms") options.timeoutMs = wcstoul(value.c_str(), nullptr, 10);
    else if (arg == L"--stdout") {
      if (value.compare(0, 5, L"file:") == 0) {
        options.stdoutMode = L"file";
        options.stdoutFile = value.substr(5);
      } else {
        options.stdoutMode = value;
      }
    } else Fail("an unknown option");
  }
  if (options.report.empty() || options.exe.empty()) Fail("--report and --exe are needed");
  return options;
}

// A box of the launcher's: the standard dialog class, captioned "Info", owned
// by the launcher's process.
HWND FindLauncherBox(DWORD processId) {
  HWND box = nullptr;
  while ((box = FindWindowExW(nullptr, box, L"#32770", L"Info")) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(box, &owner);
    if (owner == processId && IsWindowVisible(box)) return box;
  }
  return nullptr;
}

// Lets the box at its place on the screen be photographed, and waits until
// it has been.
void WaitForShot(const std::wstring& folder, int number, HWND box) {
  RECT place;
  GetWindowRect(box, &place);
  std::wstring name = folder + L"\\box-" + std::to_wstring(number);
  FILE* out = _wfopen((name + L".rect").c_str(), L"wb");
  if (out == nullptr) Fail("cannot write a box's rectangle");
  fprintf(out, "%ld %ld %ld %ld\n", place.left, place.top, place.right, place.bottom);
  fclose(out);
  for (int waited = 0; GetFileAttributesW((name + L".done").c_str()) == INVALID_FILE_ATTRIBUTES;
       waited += 20) {
    if (waited > 60000) Fail("a box was never photographed");
    Sleep(20);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options = Parse(argc, argv);
  std::string report;

  // Wine makes the desktop on demand, in a process of its own, for the first
  // caller that needs it. Make it here, before the launcher starts: if the
  // launcher's first box and this driver's first search both asked at once,
  // the box could fail to appear.
  GetDesktopWindow();

  // Files held open without delete sharing for the launcher's whole run, as
  // another program would hold them.
  std::vector<HANDLE> held;
  for (const std::wstring& path : options.holds) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot hold a file open");
    held.push_back(file);
  }

  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE childStdout = nullptr, pipeRead = nullptr;
  if (options.stdoutMode == L"file") {
    childStdout = CreateFileW(options.stdoutFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                              &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (childStdout == INVALID_HANDLE_VALUE) Fail("cannot create the standard output file");
  } else if (options.stdoutMode == L"pipe") {
    if (!CreatePipe(&pipeRead, &childStdout, &inheritable, 0)) Fail("cannot create a pipe");
    SetHandleInformation(pipeRead, HANDLE_FLAG_INHERIT, 0);
  } else if (options.stdoutMode != L"none") {
    Fail("--stdout takes file:FILE, pipe or none");
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = childStdout;  // null for "none": no handle at all
  PROCESS_INFORMATION process;
  std::vector<wchar_t> commandLine(options.commandLine.begin(), options.commandLine.end());
  commandLine.push_back(0);
  report += "started=" + std::to_string(Now()) + "\n";
  if (!CreateProcessW(options.exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &process))
    Fail("cannot start the launcher");
  CloseHandle(process.hThread);
  if (childStdout != nullptr) CloseHandle(childStdout);

  ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
  bool timedOut = false, killed = false;
  std::vector<wchar_t> text(65536);
  int boxes = 0;
  for (;;) {
    HWND box = FindLauncherBox(process.dwProcessId);
    if (box != nullptr) {
      unsigned long long seen = Now();
      // 0xFFFF is the id of a message box's text.
      UINT units = GetDlgItemTextW(box, 0xFFFF, text.data(), static_cast<int>(text.size()));
      report += "box=" + std::to_string(seen) + " " + Hex(text.data(), units) + "\n";
      if (!options.shots.empty()) WaitForShot(options.shots, boxes, box);
      ++boxes;
      DWORD_PTR ignored;
      SendMessageTimeoutW(box, WM_COMMAND, IDOK, 0, SMTO_BLOCK, 5000, &ignored);
      // The box goes once its modal loop has ended; never read it twice.
      while (IsWindow(box) && GetTickCount64() < deadline) Sleep(1);
      continue;
    }
    if (WaitForSingleObject(process.hProcess, 2) == WAIT_OBJECT_0) break;
    killed = !options.killWhen.empty() &&
             GetFileAttributesW(options.killWhen.c_str()) != INVALID_FILE_ATTRIBUTES;
    timedOut = !killed && GetTickCount64() >= deadline;
    if (killed || timedOut) {
      TerminateProcess(process.hProcess, 259);
      WaitForSingleObject(process.hProcess, INFINITE);
      break;
    }
  }
  report += "ended=" + std::to_string(Now()) + "\n";

  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  report += "exit=" + std::to_string(exitCode) + "\n";
  report += std::string("timed-out=") + (timedOut ? "1" : "0") + "\n";
  report += std::string("killed=") + (killed ? "1" : "0") + "\n";

  if (pipeRead != nullptr) {
    std::string bytes;
    char chunk[4096];
    DWORD got;
    while (ReadFile(pipeRead, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(pipeRead);
    report += "stdout=" + Hex(bytes) + "\n";
  }
  for (HANDLE file : held) CloseHandle(file);

  FILE* out = _wfopen(options.report.c_str(), L"wb");
  if (out == nullptr) Fail("cannot write the report");
  fwrite(report.data(), 1, report.size(), out);
  fclose(out);
  return 0;
}
