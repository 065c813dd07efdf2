// Win32 calls only: the Windows implementation of platform/platform.h.
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>

#include "platform/platform.h"
#include "platform/process_win32.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 texts are wchar_t on Windows");

static const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

// A function looked up by name in a loaded DLL; null when it is not there.
template <typename Function>
static Function LookUp(HMODULE module, const char* name) {
  FARPROC found = ::GetProcAddress(module, name);
  // Through void (*)(void), the one function type that converts without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(found));
}

// The conversions and path queries take an int-sized room; a larger one is
// never needed.
static int ClampedRoom(size_t room) {
  return room > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(room);
}

namespace platform {

const char16_t* GetCommandLineW() {
  return reinterpret_cast<const char16_t*>(::GetCommandLineW());
}

void RestrictDllSearchToSystemFolder() {
  // SetDefaultDllDirectories came with Windows 8 (and KB2533623 for Windows 7):
  // looked up at run time, so that setup.exe still starts without it.
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  auto setDefaultDllDirectories = LookUp<SetDefaultDllDirectoriesFunction>(
      ::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (setDefaultDllDirectories != nullptr) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// A function of user32.dll, which is loaded only for the first box: loading it
// at start-up costs every run (about 30 ms under Wine), and only diagnostic
// runs show boxes. user32.dll is a known DLL, always taken from the system
// folder. Null when it cannot be had; the box is then not shown.
template <typename Function>
static Function User32Function(const char* name) {
  static HMODULE user32 = nullptr;
  if (user32 == nullptr) user32 = ::LoadLibraryW(L"user32.dll");
  return user32 == nullptr ? nullptr : LookUp<Function>(user32, name);
}

void MessageBoxW(const char16_t* text, const char16_t* caption) {
  typedef int(WINAPI * MessageBoxWFunction)(HWND, LPCWSTR, LPCWSTR, UINT);
  auto messageBox = User32Function<MessageBoxWFunction>("MessageBoxW");
  if (messageBox != nullptr) messageBox(nullptr, Wide(text), Wide(caption), MB_OK);
}

void MessageBoxA(const char* text, const char* caption) {
  typedef int(WINAPI * MessageBoxAFunction)(HWND, LPCSTR, LPCSTR, UINT);
  auto messageBox = User32Function<MessageBoxAFunction>("MessageBoxA");
  if (messageBox != nullptr) messageBox(nullptr, text, caption, MB_OK);
}

bool RunAndWait(const char* applicationName, char* commandLine, bool hidden,
                uint32_t* startError) {
  PROCESS_INFORMATION process;
  DWORD error = 0;
  if (!StartChild(applicationName, commandLine, hidden, &process, &error)) {
    *startError = error;
    return false;
  }
  WaitForChild(process, INFINITE, nullptr);
  CloseChild(&process);
  return true;
}

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

size_t WideCharToMultiByte(const char16_t* text, char* bytes, size_t room) {
  // No flags: WC_NO_BEST_FIT_CHARS is refused where the code page is UTF-8,
  // and the caller converts back to see any character that was not kept.
  int written = ::WideCharToMultiByte(CP_ACP, 0, Wide(text), -1, bytes, ClampedRoom(room),
                                      nullptr, nullptr);
  return written > 0 ? static_cast<size_t>(written) : 0;
}

size_t MultiByteToWideChar(const char* bytes, char16_t* text, size_t room) {
  int written = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, -1,
                                      reinterpret_cast<wchar_t*>(text), ClampedRoom(room));
  return written > 0 ? static_cast<size_t>(written) : 0;
}

uint32_t GetSystemDirectoryA(char* buffer, uint32_t size, uint32_t* error) {
  UINT length = ::GetSystemDirectoryA(buffer, size);
  if (length == 0) {
    *error = ::GetLastError();
    return 0;
  }
  // A result of size or more is the room the path would need.
  if (length >= size) {
    *error = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  return length;
}

void WriteStandardOutput(const char* text) {
  // The C runtime sets stdout up from the handle the process was given, even
  // in a GUI program. Without a usable handle, fputs fails quietly.
  fputs(text, stdout);
}

uint32_t GetFileAttributesW(const char16_t* path) { return ::GetFileAttributesW(Wide(path)); }

bool MoveFileW(const char16_t* existingName, const char16_t* newName) {
  return ::MoveFileW(Wide(existingName), Wide(newName)) != 0;
}

bool DeleteFileW(const char16_t* path) { return ::DeleteFileW(Wide(path)) != 0; }

bool RemoveDirectoryW(const char16_t* path) { return ::RemoveDirectoryW(Wide(path)) != 0; }

// Only the attributes and the long name are handed on, so that FindRecord
// needs no windows.h.
static void CopyRecord(const WIN32_FIND_DATAW& data, FindRecord* record) {
  static_assert(sizeof record->cFileName == sizeof data.cFileName, "same name room");
  record->dwFileAttributes = data.dwFileAttributes;
  memcpy(record->cFileName, data.cFileName, sizeof record->cFileName);
}

FindHandle FindFirstFileW(const char16_t* pattern, FindRecord* record) {
  WIN32_FIND_DATAW data;
  HANDLE enumeration = ::FindFirstFileW(Wide(pattern), &data);
  if (enumeration == INVALID_HANDLE_VALUE) return nullptr;
  CopyRecord(data, record);
  return reinterpret_cast<FindHandle>(enumeration);
}

bool FindNextFileW(FindHandle enumeration, FindRecord* record) {
  WIN32_FIND_DATAW data;
  if (!::FindNextFileW(reinterpret_cast<HANDLE>(enumeration), &data)) return false;
  CopyRecord(data, record);
  return true;
}

void FindClose(FindHandle enumeration) { ::FindClose(reinterpret_cast<HANDLE>(enumeration)); }

size_t GetFinalPath(const char16_t* path, char16_t* finalPath, size_t room) {
  // A folder opens only with backup semantics, a file with or without.
  // Reading its attributes is the least right that still names it, and full
  // sharing hinders nobody, a running program's file included.
  HANDLE folder = ::CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return 0;
  wchar_t* out = reinterpret_cast<wchar_t*>(finalPath);
  DWORD units = static_cast<DWORD>(ClampedRoom(room));
  // The DOS form makes a mapped drive and its UNC path one. A volume that is
  // mounted without a drive letter has no DOS form, only its NT device name.
  // Some file systems and redirectors refuse a normalized name
  // (ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED, ERROR_INVALID_PARAMETER):
  // the name the file was opened by still names it, if less surely.
  const DWORD forms[] = {FILE_NAME_NORMALIZED | VOLUME_NAME_DOS,
                         FILE_NAME_NORMALIZED | VOLUME_NAME_NT,
                         FILE_NAME_OPENED | VOLUME_NAME_DOS, FILE_NAME_OPENED | VOLUME_NAME_NT};
  DWORD length = 0;
  for (size_t form = 0; form < sizeof forms / sizeof forms[0] && length == 0; ++form)
    length = ::GetFinalPathNameByHandleW(folder, out, units, forms[form]);
  ::CloseHandle(folder);
  // A result of room or more is the room the path would need.
  return length < units ? length : 0;
}

Handle CreateMutexW(const char16_t* name, uint32_t* error) {
  // No security attributes: the handle is not inheritable.
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, Wide(name));
  if (mutex == nullptr) *error = ::GetLastError();
  return reinterpret_cast<Handle>(mutex);
}

uint32_t WaitForSingleObject(Handle object, uint32_t milliseconds) {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(object), milliseconds);
}

void CloseHandle(Handle object) { ::CloseHandle(reinterpret_cast<HANDLE>(object)); }

uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

ProcessList CreateProcessSnapshot() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  return snapshot == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<ProcessList>(snapshot);
}

// Process32FirstW and Process32NextW want the record's size set before each call.
template <typename Step>
static bool NextProcess(Step step, ProcessList processes, ProcessRecord* record) {
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  if (!step(reinterpret_cast<HANDLE>(processes), &entry)) return false;
  record->th32ProcessID = entry.th32ProcessID;
  return true;
}

bool Process32FirstW(ProcessList processes, ProcessRecord* record) {
  return NextProcess(::Process32FirstW, processes, record);
}

bool Process32NextW(ProcessList processes, ProcessRecord* record) {
  return NextProcess(::Process32NextW, processes, record);
}

void CloseProcessSnapshot(ProcessList processes) {
  ::CloseHandle(reinterpret_cast<HANDLE>(processes));
}

Handle OpenProcess(uint32_t processId) {
  // Rights that a process elevated from the same account still grants a
  // standard one; a process of another account grants them to nobody else.
  return reinterpret_cast<Handle>(
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
}

size_t QueryFullProcessImageNameW(Handle process, char16_t* path, size_t room) {
  DWORD units = static_cast<DWORD>(ClampedRoom(room));
  if (!::QueryFullProcessImageNameW(reinterpret_cast<HANDLE>(process), 0,
                                    reinterpret_cast<wchar_t*>(path), &units))
    return 0;
  return units;
}

}  // namespace platform
