// Benchmark helper: the least Win32 work that empties a tree whose entries
// are known beforehand. It reads a list of lines "F path" (a file) and
// "D path" (a folder, listed after everything inside it), then calls
// DeleteFileW on each file and RemoveDirectoryW on each folder, in order, and
// nothing else. Its exit code is the number of calls that failed.
//
//   floor LIST-FILE
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: floor LIST-FILE\n");
    return 2;
  }
  FILE* list = _wfopen(argv[1], L"rb");
  if (list == nullptr) {
    fprintf(stderr, "floor: cannot read %ls\n", argv[1]);
    return 2;
  }
  std::vector<std::pair<bool, std::wstring>> entries;
  char line[4096];
  while (fgets(line, sizeof line, list) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.size() < 3) continue;
    wchar_t path[4096];
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str() + 2, -1, path, 4096);
    if (units == 0) continue;
    entries.emplace_back(text[0] == 'D', path);
  }
  fclose(list);

  int failed = 0;
  for (const auto& [folder, path] : entries) {
    BOOL done = folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    if (!done) ++failed;
  }
  return failed;
}
