// The lines setup-check.exe prints, to a console or redirected, and how
// many promises failed.
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include "check/setup_check.h"

static int failed = 0;

void Write(const wchar_t* text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(output, &mode)) {
    WriteConsoleW(output, text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
    return;
  }
  // Redirected: UTF-8, whatever the system's code page.
  static char bytes[kCommandRoom * 3];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
  if (length > 1) WriteFile(output, bytes, static_cast<DWORD>(length - 1), &written, nullptr);
}

void Escape(const wchar_t* text, wchar_t* out, size_t room) {
  size_t length = 0;
  for (; *text != 0 && length + 7 < room; ++text) {
    if (*text >= 0x20 && *text < 0x7F)
      out[length++] = *text;
    else
      length += swprintf(out + length, room - length, L"\\u%04X", static_cast<unsigned>(*text));
  }
  out[length] = 0;
}

void Report(Verdict verdict, const wchar_t* name, const wchar_t* format, ...) {
  static const wchar_t* const kWords[] = {L"PASS", L"FAIL", L"NOT HERE", L"FACT"};
  static wchar_t line[kCommandRoom];
  int length = swprintf(line, kCommandRoom, L"%ls %ls", kWords[verdict], name);
  if (format != nullptr && length > 0) {
    length += swprintf(line + length, kCommandRoom - length, L": ");
    va_list arguments;
    va_start(arguments, format);
    int added = vswprintf(line + length, kCommandRoom - length, format, arguments);
    va_end(arguments);
    if (added > 0) length += added;
  }
  if (length > 0) swprintf(line + length, kCommandRoom - length, L"\r\n");
  Write(line);
  if (verdict == kFail) ++failed;
}

int FailedCount() { return failed; }
