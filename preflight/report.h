// setup-preflight's lines: "PASS name: ...", "FAIL name: ...", "WARN name:
// ..." and "NOTE name: ...", counted for the summary, written as UTF-8 (to a
// Windows console as its own text).
#pragma once

#include <string>

namespace preflight {

enum Verdict { kPass, kFail, kWarn, kNote };

struct Report {
  int counts[4] = {};
};

// One line; for FAIL and WARN, text ends with what to do and the section of
// the documentation that explains it.
void Line(Report* report, Verdict verdict, const char* name, const std::string& text);
// The last line: how many of each.
void Summary(const Report& report);

// Text to standard output or standard error, as it is.
void WriteOut(const std::string& utf8);
void WriteError(const std::string& utf8);

// "see docs/<page>#<section>": where a line's advice is explained.
std::string See(const char* page, const char* section);

}  // namespace preflight
