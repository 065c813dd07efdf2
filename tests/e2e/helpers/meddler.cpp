// Another program at work in the installation folder while the launcher runs,
// for the end-to-end tests of hostile installation folders.
//
//   meddler attributes HEX PATH...    sets the attributes HEX on every PATH
//   meddler race TRIGGER FOLDER N     waits until TRIGGER exists, then goes
//                                     through FOLDER\f0000 .. f(N-1) from the
//                                     last, renaming every even one to
//                                     <name>.moved and deleting every odd one
//   meddler processes                 prints the name of every running process
//   meddler short PATH                prints PATH's 8.3 short form
//   meddler sealed-guard FOLDER SIGNAL
//                                     holds FOLDER's guard with an access list
//                                     that grants nobody anything, as an
//                                     elevated launcher's guard looks to the
//                                     user's: writes SIGNAL.ready once it
//                                     holds it, lets go when SIGNAL.release
//                                     appears
//
// "race" prints what it did: renamed=, deleted=, gone= (the launcher was
// first) and failed= (any other error, with the last code in error=).
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>

#include "launcher/launcher.h"
#include "platform/sealed_mutex_win32.h"

namespace {

int SetAttributes(int count, wchar_t** paths, DWORD attributes) {
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    if (!SetFileAttributesW(paths[i], attributes)) {
      DWORD error = GetLastError();
      fwprintf(stderr, L"SetFileAttributesW(%ls) failed: %lu\n", paths[i], error);
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}

int Race(const wchar_t* trigger, const wchar_t* folder, int count) {
  // The trigger is the log moved one folder up: the cleanup starts right after.
  for (int waited = 0; GetFileAttributesW(trigger) == INVALID_FILE_ATTRIBUTES; ++waited) {
    if (waited > 120000) {
      fprintf(stderr, "the trigger never came\n");
      return 1;
    }
    Sleep(1);
  }
  int renamed = 0, deleted = 0, gone = 0, failed = 0;
  DWORD lastError = 0;
  for (int index = count - 1; index >= 0; --index) {
    wchar_t path[MAX_PATH], moved[MAX_PATH];
    swprintf(path, MAX_PATH, L"%ls\\f%04d", folder, index);
    swprintf(moved, MAX_PATH, L"%ls.moved", path);
    BOOL done = index % 2 == 0 ? MoveFileW(path, moved) : DeleteFileW(path);
    DWORD error = done ? 0 : GetLastError();
    if (done) {
      ++(index % 2 == 0 ? renamed : deleted);
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      ++gone;
    } else {
      ++failed;
      lastError = error;
    }
  }
  printf("renamed=%d\ndeleted=%d\ngone=%d\nfailed=%d\nerror=%lu\n", renamed, deleted, gone, failed,
         lastError);
  return 0;
}

int Processes() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    wprintf(L"%ls\n", entry.szExeFile);
  CloseHandle(snapshot);
  return 0;
}

int Short(const wchar_t* path) {
  wchar_t shortPath[MAX_PATH * 2];
  DWORD length = GetShortPathNameW(path, shortPath, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return 1;
  wprintf(L"%ls\n", shortPath);
  return 0;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int SealedGuard(const wchar_t* folder, const std::wstring& signal) {
  char16_t name[kGuardNameSize];
  if (!GetGuardName(reinterpret_cast<const char16_t*>(folder), name)) {
    fprintf(stderr, "no final path for %ls\n", folder);
    return 1;
  }
  HANDLE guard = CreateSealedMutex(reinterpret_cast<const wchar_t*>(name));
  if (guard == nullptr) {
    DWORD error = GetLastError();
    fprintf(stderr, "cannot hold the guard: %lu\n", error);
    return 1;
  }
  HANDLE ready = CreateFileW((signal + L".ready").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
  CloseHandle(ready);
  for (int waited = 0; !Exists(signal + L".release") && waited < 120000; waited += 20) Sleep(20);
  CloseHandle(guard);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && wcscmp(argv[1], L"attributes") == 0)
    return SetAttributes(argc - 3, argv + 3, wcstoul(argv[2], nullptr, 16));
  if (argc == 5 && wcscmp(argv[1], L"race") == 0)
    return Race(argv[2], argv[3], _wtoi(argv[4]));
  if (argc == 2 && wcscmp(argv[1], L"processes") == 0) return Processes();
  if (argc == 3 && wcscmp(argv[1], L"short") == 0) return Short(argv[2]);
  if (argc == 4 && wcscmp(argv[1], L"sealed-guard") == 0) return SealedGuard(argv[2], argv[3]);
  fprintf(stderr,
          "usage: meddler attributes HEX PATH... | race TRIGGER FOLDER N | processes | short PATH"
          " | sealed-guard FOLDER SIGNAL\n");
  return 2;
}
