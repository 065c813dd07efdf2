// A stand-in for the Java runtime's javaw.exe that runs the installer.
//
// It appends what it received to the report file named by the environment
// variable STANDIN_REPORT: its command line as a Windows program reads it
// (GetCommandLineW), how it was asked to show itself (GetStartupInfoW's
// dwFlags and wShowWindow), its working folder, and when it started and ended
// (FILETIME ticks). Copied over system32\cmd.exe, it reports how the
// launcher starts the command interpreter. Like the installer, it writes the log named after
// "-logfile". Words in its arguments steer it:
//   standin:exit=N          end with exit code N
//   standin:sleep=N         run N milliseconds longer
//   standin:no-log          write no log
//   standin:write-script    at its end, write installer.qb.bat into the working
//                           folder; the script runs marker.exe, which notes
//                           "written-script"
//   standin:replace-jre=missing|file
//                           move the folder jre away to jre-moved-away (it
//                           runs from there on) and, for "file", put a file
//                           named jre in its place
//   standin:mark=NAME       only note the time under NAME (for scripts)
//   standin:hang-until=NAME run until a file NAME appears in the working folder
//   standin:needs=PATH      at its end, note whether PATH is still there, as
//                           a runtime that opens a file late would find it
//   standin:detach=PROGRAM  first of all, start PROGRAM and leave it running,
//                           as an installer that restarts itself elevated or
//                           leaves a helper behind does; its command line is
//                           PROGRAM and the words after "standin:--"
//   standin:--              the words after it are the detached program's,
//                           not this one's (they may hold another "--")
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>

namespace {

unsigned long long Now() {
  FILETIME time;
  GetSystemTimePreciseAsFileTime(&time);
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string HexUnits(const wchar_t* text) {
  std::string out;
  char unit[8];
  for (; *text; ++text) {
    snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(*text));
    out += unit;
  }
  return out;
}

// The word that follows key in the command line, up to the next blank.
std::wstring WordAfter(const wchar_t* commandLine, const wchar_t* key) {
  const wchar_t* found = wcsstr(commandLine, key);
  if (found == nullptr) return L"";
  const wchar_t* start = found + wcslen(key);
  const wchar_t* end = start;
  while (*end != 0 && *end != L' ' && *end != L'\t') ++end;
  return std::wstring(start, end);
}

void Append(const std::string& lines) {
  wchar_t path[1024];
  if (GetEnvironmentVariableW(L"STANDIN_REPORT", path, 1024) == 0) return;
  // Several runs may report to one file, one after the other.
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
  CloseHandle(file);
}

void WriteTextFile(const wchar_t* path, const char* text) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  CloseHandle(file);
}

// Starts program with the given words and lets it run on unwatched; 0, or
// the error of the start.
DWORD Detach(const std::wstring& program, const std::wstring& words) {
  std::wstring commandLine = program + L" " + words;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return GetLastError();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  unsigned long long started = Now();
  // Its own words end where the detached program's begin.
  std::wstring ownWords = GetCommandLineW(), childWords;
  const wchar_t kChild[] = L" standin:-- ";
  size_t split = ownWords.find(kChild);
  if (split != std::wstring::npos) {
    childWords = ownWords.substr(split + wcslen(kChild));
    ownWords.resize(split);
  }
  const wchar_t* commandLine = ownWords.c_str();
  std::wstring detach = WordAfter(commandLine, L"standin:detach=");
  DWORD detachError = detach.empty() ? 0 : Detach(detach, childWords);

  std::wstring mark = WordAfter(commandLine, L"standin:mark=");
  if (!mark.empty()) {
    Append("mark=" + std::to_string(started) + " " + HexUnits(mark.c_str()) + "\n");
    return 0;
  }

  wchar_t cwd[MAX_PATH * 2];
  GetCurrentDirectoryW(MAX_PATH * 2, cwd);
  std::string lines = "run\nstart=" + std::to_string(started) + "\n";
  lines += "cmdline-w=" + HexUnits(GetCommandLineW()) + "\n";
  STARTUPINFOW startup;
  GetStartupInfoW(&startup);
  lines += "startup=" + std::to_string(startup.dwFlags) + " " +
           std::to_string(startup.wShowWindow) + "\n";
  lines += "cwd=" + HexUnits(cwd) + "\n";
  if (!detach.empty()) lines += "detached=" + std::to_string(detachError) + "\n";

  std::wstring log = WordAfter(commandLine, L"-logfile ");
  if (!log.empty() && wcsstr(commandLine, L"standin:no-log") == nullptr)
    WriteTextFile(log.c_str(), "stand-in installer log\r\n");
  std::wstring replace = WordAfter(commandLine, L"standin:replace-jre=");
  if (!replace.empty()) {
    MoveFileW(L"jre", L"jre-moved-away");
    if (replace == L"file") WriteTextFile(L"jre", "a file named jre\r\n");
  }
  std::wstring sleep = WordAfter(commandLine, L"standin:sleep=");
  if (!sleep.empty()) Sleep(wcstoul(sleep.c_str(), nullptr, 10));
  std::wstring until = WordAfter(commandLine, L"standin:hang-until=");
  while (!until.empty() && GetFileAttributesW(until.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
  // Just before its end, as an installer writes it last.
  if (wcsstr(commandLine, L"standin:write-script") != nullptr)
    WriteTextFile(L"installer.qb.bat", "@marker.exe standin:mark=written-script\r\n");
  std::wstring needs = WordAfter(commandLine, L"standin:needs=");
  if (!needs.empty())
    lines += std::string("needs=") +
             (GetFileAttributesW(needs.c_str()) != INVALID_FILE_ATTRIBUTES ? "1" : "0") + "\n";
  std::wstring exitCode = WordAfter(commandLine, L"standin:exit=");
  UINT code = exitCode.empty() ? 0 : wcstoul(exitCode.c_str(), nullptr, 10);

  lines += "end=" + std::to_string(Now()) + "\n";
  Append(lines);
  return static_cast<int>(code);
}
