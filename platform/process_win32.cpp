// Win32 calls only: child processes for setup.exe and setup-check.exe.
#include "platform/process_win32.h"

// One start for both character widths: the start-up record and the call
// differ only in their types.
template <typename Char, typename StartupInfo, typename CreateProcessFunction>
static bool Start(CreateProcessFunction createProcess, const Char* applicationName,
                  Char* commandLine, bool hidden, const Char* currentFolder,
                  DWORD creationFlags, HANDLE standardOutput, PROCESS_INFORMATION* child,
                  DWORD* error) {
  StartupInfo startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  if (standardOutput != nullptr) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdOutput = standardOutput;
  }
  // A named application is not searched for: CreateProcess completes a
  // relative name against the current folder only. The command line is
  // passed unchanged and its first word is what the child sees as its name.
  if (!createProcess(applicationName, commandLine, nullptr, nullptr, standardOutput != nullptr,
                     creationFlags, nullptr, currentFolder, &startup, child)) {
    *error = ::GetLastError();
    return false;
  }
  return true;
}

bool StartChild(const char* applicationName, char* commandLine, bool hidden,
                PROCESS_INFORMATION* child, DWORD* error) {
  return Start<char, STARTUPINFOA>(::CreateProcessA, applicationName, commandLine, hidden,
                                   nullptr, 0, nullptr, child, error);
}

bool StartChild(const wchar_t* applicationName, wchar_t* commandLine, const wchar_t* currentFolder,
                DWORD creationFlags, HANDLE standardOutput, PROCESS_INFORMATION* child,
                DWORD* error) {
  return Start<wchar_t, STARTUPINFOW>(::CreateProcessW, applicationName, commandLine, false,
                                      currentFolder, creationFlags, standardOutput, child, error);
}

bool WaitForChild(const PROCESS_INFORMATION& child, DWORD milliseconds, DWORD* exitCode) {
  if (::WaitForSingleObject(child.hProcess, milliseconds) != WAIT_OBJECT_0) return false;
  if (exitCode != nullptr && !::GetExitCodeProcess(child.hProcess, exitCode)) *exitCode = 0;
  return true;
}

void CloseChild(PROCESS_INFORMATION* child) {
  ::CloseHandle(child->hProcess);
  ::CloseHandle(child->hThread);
}

size_t ReadToEnd(HANDLE pipe, char* bytes, size_t room) {
  size_t kept = 0;
  char chunk[4096];
  DWORD got = 0;
  // Reading on past the room drains the pipe, so its writer never blocks.
  while (::ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got && kept + 1 < room; ++i) bytes[kept++] = chunk[i];
  }
  if (room > 0) bytes[kept] = 0;
  return kept;
}
