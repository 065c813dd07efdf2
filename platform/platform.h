// The Windows operations the launcher makes, behind one header.
//
// The launcher's logic includes this header and never windows.h, so the host
// tests can link a recording fake (tests/host/fake_platform.cpp) in place of
// the Win32 implementation (platform/platform_win32.cpp).
//
// UTF-16 texts are char16_t here; on Windows they are the platform's wchar_t.
// Operations keep the platform's own names; each one does what its Win32
// namesake does unless its comment says otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The platform's values, under the platform's names. windows.h defines the
// same macros for the Win32 implementation, which includes it first.
#ifndef MAX_PATH
#define MAX_PATH 260
#endif
#ifndef INVALID_FILE_ATTRIBUTES
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#endif
#ifndef FILE_ATTRIBUTE_DIRECTORY
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#endif
#ifndef FILE_ATTRIBUTE_REPARSE_POINT
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400u
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206u
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5u
#endif
#ifndef ERROR_ALREADY_EXISTS
#define ERROR_ALREADY_EXISTS 183u
#endif
#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0x0u
#endif
#ifndef WAIT_ABANDONED
#define WAIT_ABANDONED 0x80u
#endif
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 0x102u
#endif
#ifndef INFINITE
#define INFINITE 0xFFFFFFFFu
#endif

namespace platform {

// The process command line; null when there is none.
const char16_t* GetCommandLineW();

// Makes every later DLL load search the system folder only, so that a DLL
// planted beside setup.exe or in the working folder is never loaded. Where the
// platform cannot do that (SetDefaultDllDirectories is missing), nothing
// changes.
void RestrictDllSearchToSystemFolder();

// A modal box with no owner window and a single OK button; the button pressed
// is of no interest.
void MessageBoxW(const char16_t* text, const char16_t* caption);
void MessageBoxA(const char* text, const char* caption);

// Starts applicationName with commandLine (8-bit texts), the launcher's own
// environment and current folder, no inherited handles, and the window shown
// as the child decides or, when hidden is set, hidden. Then waits without a
// time limit for the child's end and closes both of its handles. The child's
// exit code is never read.
// Returns false when the start failed; *startError then holds the last-error
// code that the failed start left, taken before any other call.
bool RunAndWait(const char* applicationName, char* commandLine, bool hidden,
                uint32_t* startError);

void Sleep(uint32_t milliseconds);

// Converts the terminated UTF-16 text into bytes of the process's ANSI code
// page (CP_ACP: UTF-8 where the manifest's active code page is honoured, the
// system's own elsewhere). room counts the terminator. Returns the bytes
// written, terminator included, or 0 when the text does not fit; bytes may
// then hold a part of it. A character that the code page lacks comes out
// changed (a look-alike, a default character, U+FFFD for a lone surrogate),
// which only the conversion back shows.
size_t WideCharToMultiByte(const char16_t* text, char* bytes, size_t room);

// Converts the terminated bytes of the process's ANSI code page into UTF-16
// text; room counts the terminator, in units. Returns the units written,
// terminator included, or 0 when the bytes are not valid in the code page
// (MB_ERR_INVALID_CHARS) or do not fit.
size_t MultiByteToWideChar(const char* bytes, char16_t* text, size_t room);

// Copies the system folder's path (no trailing backslash) into buffer and
// returns its length. Returns 0 when that fails or would not fit in size
// bytes, terminator included; *error then tells why.
uint32_t GetSystemDirectoryA(char* buffer, uint32_t size, uint32_t* error);

// Writes text to the runtime's buffered standard output in text mode: a line
// feed goes out as a carriage return and a line feed. Without a usable
// standard output handle the text is dropped silently.
void WriteStandardOutput(const char* text);

// --- File services. Paths are used as given: relative ones are resolved
// against the current folder.

uint32_t GetFileAttributesW(const char16_t* path);
bool MoveFileW(const char16_t* existingName, const char16_t* newName);
bool DeleteFileW(const char16_t* path);
bool RemoveDirectoryW(const char16_t* path);

// One entry of a folder enumeration: its attributes as the folder's listing
// gives them, which needs no right on the entry itself, and its long name.
struct FindRecord {
  uint32_t dwFileAttributes;
  char16_t cFileName[MAX_PATH];
};

// An open enumeration; FindFirstFileW gives null when none could be started.
typedef struct FindEnumeration* FindHandle;

FindHandle FindFirstFileW(const char16_t* pattern, FindRecord* record);
bool FindNextFileW(FindHandle enumeration, FindRecord* record);
void FindClose(FindHandle enumeration);

// --- Final paths and named kernel objects, for the guard of the installation
// folder and the wait for the runtime's programs.

// The final path of the file or folder path, as GetFinalPathNameByHandleW
// gives it for a handle to it: normalized, with the volume's drive letter or
// UNC name (its NT device name where it has neither); where the file system
// or redirector refuses a normalized name, the name it was opened by. Every
// spelling of one file or folder (another letter case, 8.3 short names, a
// link, a mapped drive) gives the same text. Returns its length in units, or
// 0 when it cannot be opened or its path does not fit in room units,
// terminator included.
size_t GetFinalPath(const char16_t* path, char16_t* finalPath, size_t room);

typedef struct KernelObject* Handle;

// A mutex of that name, made or opened, not owned by the caller, with no
// security attributes: its handle is never inherited. Null when it cannot be
// had; *error then holds the last-error code, ERROR_ACCESS_DENIED when the
// mutex exists and its access list does not grant the caller (one made by an
// elevated process, or by another account).
Handle CreateMutexW(const char16_t* name, uint32_t* error);

// WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, or anything else on failure.
uint32_t WaitForSingleObject(Handle object, uint32_t milliseconds);

void CloseHandle(Handle object);

// --- Processes, for the wait on every program that runs from the runtime.

uint32_t GetCurrentProcessId();

// A snapshot of the processes running now (CreateToolhelp32Snapshot); null
// when none can be taken. Only each process's id is handed on.
typedef struct ProcessSnapshot* ProcessList;
struct ProcessRecord {
  uint32_t th32ProcessID;
};
ProcessList CreateProcessSnapshot();
bool Process32FirstW(ProcessList processes, ProcessRecord* record);
bool Process32NextW(ProcessList processes, ProcessRecord* record);
void CloseProcessSnapshot(ProcessList processes);

// The process opened with PROCESS_QUERY_LIMITED_INFORMATION and SYNCHRONIZE,
// the least rights that name its program and wait for its end; null when it
// cannot be opened (another account's process, a protected one, one gone).
Handle OpenProcess(uint32_t processId);

// The full path of the process's program, in Win32 form, and its length in
// units; 0 when it cannot be had or does not fit in room units, terminator
// included. It is spelt as the program was started: only its final path
// (GetFinalPath) tells where it lies.
size_t QueryFullProcessImageNameW(Handle process, char16_t* path, size_t room);

}  // namespace platform
