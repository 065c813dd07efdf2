#include "preflight/report.h"

#include <stdio.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace preflight {

namespace {

void Write(FILE* stream, const std::string& utf8) {
#ifdef _WIN32
  // A console takes UTF-16; redirected output gets the UTF-8 bytes.
  HANDLE handle = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    fflush(stream);
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                          nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], units);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  fwrite(utf8.data(), 1, utf8.size(), stream);
}

}  // namespace

void WriteOut(const std::string& utf8) { Write(stdout, utf8); }
void WriteError(const std::string& utf8) { Write(stderr, utf8); }

void Line(Report* report, Verdict verdict, const char* name, const std::string& text) {
  static const char* const kWords[] = {"PASS", "FAIL", "WARN", "NOTE"};
  ++report->counts[verdict];
  WriteOut(std::string(kWords[verdict]) + " " + name + ": " + text + "\n");
}

void Summary(const Report& report) {
  WriteOut(std::to_string(report.counts[kFail]) + " FAIL, " + std::to_string(report.counts[kWarn]) +
           " WARN, " + std::to_string(report.counts[kPass]) + " PASS, " +
           std::to_string(report.counts[kNote]) + " NOTE: " +
           (report.counts[kFail] != 0 ? "not ready to ship" : "nothing keeps it from shipping") +
           "\n");
}

std::string See(const char* page, const char* section) {
  return std::string(" (see docs/") + page + "#" + section + ")";
}

}  // namespace preflight
