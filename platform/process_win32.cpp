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
  if (standardOutput == nullptr)
    return Start<wchar_t, STARTUPINFOW>(::CreateProcessW, applicationName, commandLine, false,
                                        currentFolder, creationFlags, nullptr, child, error);
  // Handle inheritance hands the child every inheritable handle of this
  // process, not only the pipe; the handle list narrows it to the pipe.
  STARTUPINFOEXW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = standardOutput;
  alignas(8) char room[256];  // a list of one attribute takes far less
  SIZE_T size = sizeof room;
  auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(room);
  if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
    *error = ::GetLastError();
    return false;
  }
  bool started = false;
  if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &standardOutput,
                                   sizeof standardOutput, nullptr, nullptr)) {
    *error = ::GetLastError();
  } else {
    startup.lpAttributeList = attributes;
    started = ::CreateProcessW(applicationName, commandLine, nullptr, nullptr, TRUE,
                               creationFlags | EXTENDED_STARTUPINFO_PRESENT, nullptr, currentFolder,
                               &startup.StartupInfo, child) != 0;
    if (!started) *error = ::GetLastError();
  }
  ::DeleteProcThreadAttributeList(attributes);
  return started;
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

// Reads whatever the pipe holds now, without waiting for more: the first
// room - 1 bytes are kept, the rest drained.
static void ReadAvailable(HANDLE pipe, char* bytes, size_t room, size_t* kept) {
  char chunk[4096];
  DWORD available = 0, got = 0;
  // Once the writer is gone and the pipe is empty, PeekNamedPipe fails.
  while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
         ::ReadFile(pipe, chunk, available < sizeof chunk ? available : DWORD{sizeof chunk}, &got,
                    nullptr) &&
         got > 0) {
    for (DWORD i = 0; i < got && *kept + 1 < room; ++i) bytes[(*kept)++] = chunk[i];
  }
}

bool WaitForChildReading(const PROCESS_INFORMATION& child, HANDLE pipe, DWORD milliseconds,
                         char* bytes, size_t room, size_t* kept, DWORD* exitCode) {
  *kept = 0;
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  bool ended = false;
  for (;;) {
    ReadAvailable(pipe, bytes, room, kept);
    // What the child wrote before its end is still in the pipe: read once more.
    if (ended) break;
    ended = ::WaitForSingleObject(child.hProcess, 10) == WAIT_OBJECT_0;
    if (!ended && milliseconds != INFINITE && ::GetTickCount64() >= deadline) break;
  }
  if (room > 0) bytes[*kept] = 0;
  if (ended && exitCode != nullptr && !::GetExitCodeProcess(child.hProcess, exitCode)) *exitCode = 0;
  return ended;
}
