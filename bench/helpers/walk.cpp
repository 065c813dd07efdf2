// Benchmark helper: walks a tree the way the launcher's cleanup does (one
// enumeration per folder, a fresh attribute query per entry) and deletes
// nothing, so that the walk's share of the cleanup's time can be told apart
// from the deletions'. Its exit code is 0.
//
//   walk FOLDER
#include <windows.h>

#include <wchar.h>

static void Walk(const wchar_t* path) {
  wchar_t buffer[MAX_PATH];
  if (_snwprintf(buffer, MAX_PATH, L"%ls\\*.*", path) < 0) return;
  WIN32_FIND_DATAW data;
  HANDLE enumeration = FindFirstFileW(buffer, &data);
  if (enumeration == INVALID_HANDLE_VALUE) return;
  do {
    if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
    if (_snwprintf(buffer, MAX_PATH, L"%ls\\%ls", path, data.cFileName) < 0) continue;
    DWORD attributes = GetFileAttributesW(buffer);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) Walk(buffer);
  } while (FindNextFileW(enumeration, &data));
  FindClose(enumeration);
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 2) Walk(argv[1]);
  return 0;
}
