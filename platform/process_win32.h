// Win32 calls only: starting a child process, waiting for it and reading
// what it wrote, shared by setup.exe's platform layer and setup-check.exe.
#pragma once

#include <windows.h>

#include <stddef.h>

// Starts a child with no security attributes, no creation flags and the
// caller's environment and current folder; hidden adds STARTF_USESHOWWINDOW
// with SW_HIDE, otherwise the child shows itself as it decides. No handle is
// inherited. Returns false with the start's own last-error code in *error.
bool StartChild(const char* applicationName, char* commandLine, bool hidden,
                PROCESS_INFORMATION* child, DWORD* error);

// The same in UTF-16, in currentFolder, with creationFlags, and with
// standardOutput (when not null, an inheritable handle) as the child's
// standard output: the one handle it inherits.
bool StartChild(const wchar_t* applicationName, wchar_t* commandLine, const wchar_t* currentFolder,
                DWORD creationFlags, HANDLE standardOutput, PROCESS_INFORMATION* child,
                DWORD* error);

// Waits up to milliseconds (INFINITE: without a limit) for the child's end.
// True when it ended; its exit code then goes to *exitCode unless that is null.
bool WaitForChild(const PROCESS_INFORMATION& child, DWORD milliseconds, DWORD* exitCode);

// Closes the process handle and then the thread handle.
void CloseChild(PROCESS_INFORMATION* child);

// Waits up to milliseconds (INFINITE: without a limit) for the child's end,
// reading meanwhile what it writes to the pipe, so that a child that writes
// more than the pipe holds is never held up by it. Keeps the first room - 1
// bytes, zero-terminated, drains the rest, and sets *kept to the bytes kept.
// True when the child ended in time; its exit code then goes to *exitCode
// unless that is null.
bool WaitForChildReading(const PROCESS_INFORMATION& child, HANDLE pipe, DWORD milliseconds,
                         char* bytes, size_t room, size_t* kept, DWORD* exitCode);
