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

// Appends the formatted text to line, which has room units, terminator
// included. A C runtime's swprintf gives -1 on truncation, or the length the
// text would have had: neither is trusted, the line's own length is.
static void AppendFormatted(wchar_t* line, size_t room, const wchar_t* format,
                            va_list arguments) {
  size_t length = wcslen(line);
  vswprintf(line + length, room - length, format, arguments);
  line[room - 1] = 0;
}

static void Append(wchar_t* line, size_t room, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  AppendFormatted(line, room, format, arguments);
  va_end(arguments);
}

void Report(Verdict verdict, const wchar_t* name, const wchar_t* format, ...) {
  static const wchar_t* const kWords[] = {L"PASS", L"FAIL", L"NOT HERE", L"FACT"};
  static wchar_t line[kCommandRoom];
  // Two units are kept for the line's end, however long the text.
  const size_t room = kCommandRoom - 2;
  line[0] = 0;
  Append(line, room, L"%ls %ls", kWords[verdict], name);
  if (format != nullptr) {
    Append(line, room, L": ");
    va_list arguments;
    va_start(arguments, format);
    AppendFormatted(line, room, format, arguments);
    va_end(arguments);
  }
  wcscat(line, L"\r\n");
  Write(line);
  if (verdict == kFail) ++failed;
}

int FailedCount() { return failed; }
