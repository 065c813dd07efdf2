// The installer's start: exactly the command, from jre\bin alone, and the
// line of a failed start; and the characters of the argument text, each
// reaching the installer exactly or not at all, and exactly wherever the
// launcher's code page carries them.
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "check/promises.h"

void CheckInstallerStart(const Case& c) {
  if (!Ran(c, L"installer start")) return;
  LoadRecords(c);
  static wchar_t commandLine[kCommandRoom];
  wchar_t module[kPathRoom], expected[kPathRoom], escaped[kPathRoom];
  JoinPath(expected, c.jre, L"bin\\javaw.exe");
  bool hidden = false;
  bool started = InstallerRun(0, commandLine, module, &hidden);
  Escape(started ? commandLine : L"", escaped, kPathRoom);
  if (!started)
    Report(kFail, L"installer start", L"no installer started, yet setup.exe ended with 0");
  else if (_wcsicmp(module, expected) != 0)
    Report(kFail, L"installer start", L"the installer started was %ls", module);
  else if (wcscmp(commandLine, kInstallerPrefix) != 0)
    Report(kFail, L"installer start", L"its command line was \"%ls\"", escaped);
  else if (hidden)
    Report(kFail, L"installer start", L"the installer was asked to start hidden");
  else
    Report(kPass, L"installer start");
}

void CheckWithoutInstaller(const Case& c) {
  LoadRecords(c);
  if (c.started && CountRecords("installer ") != 0)
    Report(kFail, L"no planted installer", L"the javaw.exe beside setup.exe ran");
  else if (Ran(c, L"no planted installer", 1, false))
    Report(kPass, L"no planted installer");
  if (!Ran(c, L"failed start line", 1, false)) return;
  // "CreateProcess failed (N).", N a signed decimal number, and CR LF.
  const char kStart[] = "CreateProcess failed (";
  const char* number = c.printed + sizeof kStart - 1;
  bool line = strncmp(c.printed, kStart, sizeof kStart - 1) == 0;
  if (line && *number == '-') ++number;
  const char* end = number;
  while (line && *end >= '0' && *end <= '9') ++end;
  line = line && end != number && strcmp(end, ").\r\n") == 0;
  if (line)
    Report(kPass, L"failed start line");
  else
    Report(kFail, L"failed start line", L"without an installer, %ls", Outcome(c));
}

namespace {

struct Text {
  const wchar_t* name;
  const wchar_t* text;
};

// Each reaches the installer exactly, or not at all.
const Text kTexts[] = {
    {L"ASCII", L"--user=admin \"C:\\Program Files\\Quellbrook\" -q"},
    {L"Latin-1 letters", L"--name=\u00C5ngstr\u00F6m caf\u00E9"},
    {L"U+0080", L"x\u0080y"},
    {L"euro sign and curly quotes", L"\u20AC \u201Cquoted\u201D \u2018single\u2019"},
    {L"full-width quote", L"a\uFF02b\uFF02c"},
    {L"Cyrillic", L"--user=\u0416\u0435\u043D\u044F"},
    {L"CJK", L"--city=\u6771\u4EAC"},
    {L"emoji", L"\xD83D\xDE00"},
    {L"lone surrogate", L"x\xD800y"},
    {L"longer than the room", nullptr},  // 8088 units: more than the command holds
};

}  // namespace
static_assert(sizeof kTexts / sizeof kTexts[0] == kTextCount, "a case for every text");

// The launcher's room for the argument text, in bytes of its code page.
constexpr int kArgumentBytes = 8087;

// Whether a launcher whose ANSI code page is codePage can hand the text on
// exactly: it converts into that code page and back unchanged, with no best
// fit and no default character, and fits the command's room.
static bool Carries(UINT codePage, const wchar_t* text) {
  static char bytes[kArgumentBytes + 1];
  static wchar_t back[kArgumentBytes + 1];
  BOOL defaulted = FALSE;
  // UTF-8 takes neither the flag nor the question about a default character.
  const bool utf8 = codePage == CP_UTF8;
  int length = WideCharToMultiByte(codePage, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                   text, -1, bytes, sizeof bytes, nullptr,
                                   utf8 ? nullptr : &defaulted);
  return length != 0 && !defaulted &&
         MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, -1, back,
                             kArgumentBytes + 1) != 0 &&
         wcscmp(back, text) == 0;
}

const wchar_t* CharactersText(size_t index) {
  static wchar_t longest[8089];
  if (kTexts[index].text != nullptr) return kTexts[index].text;
  wmemset(longest, L'x', 8088);
  longest[8088] = 0;
  return longest;
}

void CheckCharacters(const Case* cases) {
  wchar_t whole[512] = L"", nothing[512] = L"", changed[kPathRoom] = L"", missing[512] = L"";
  bool arrivedWhole[kTextCount] = {}, arrivedAsNothing[kTextCount] = {};
  static wchar_t commandLine[kCommandRoom], expected[kCommandRoom];
  wchar_t module[kPathRoom], escaped[kPathRoom];
  // The facts come only from runs that all ended as expected; a run that did
  // not says what happened instead, and one that application control kept
  // from its installer says nothing of setup.exe.
  bool allRan = true;
  for (size_t i = 0; i < kTextCount; ++i) {
    Verdict verdict;
    const wchar_t* unexpected = Unexpected(cases[i], 0, true, &verdict);
    if (unexpected != nullptr && verdict == kNotHere) {
      Report(kNotHere, L"characters", L"%ls", unexpected);
      return;
    }
    allRan &= unexpected == nullptr;
  }
  for (size_t i = 0; i < kTextCount; ++i) {
    LoadRecords(cases[i]);
    swprintf(expected, kCommandRoom, L"%ls%ls", kInstallerPrefix, CharactersText(i));
    wchar_t* list = nothing;
    if (!InstallerRun(0, commandLine, module)) {
      swprintf(changed + wcslen(changed), kPathRoom - wcslen(changed), L"%ls%ls: %ls",
               changed[0] ? L"; " : L"", kTexts[i].name, Outcome(cases[i]));
      continue;
    }
    if (wcscmp(commandLine, expected) == 0) {
      list = whole;
      arrivedWhole[i] = true;
    } else if (wcscmp(commandLine, kInstallerPrefix) != 0) {
      const size_t prefix = wcslen(kInstallerPrefix);
      bool prefixed = wcsncmp(commandLine, kInstallerPrefix, prefix) == 0;
      Escape(commandLine + (prefixed ? prefix : 0), escaped, 64);
      swprintf(changed + wcslen(changed), kPathRoom - wcslen(changed),
               L"%ls%ls arrived as \"%ls\"", changed[0] ? L"; " : L"", kTexts[i].name, escaped);
      continue;
    }
    arrivedAsNothing[i] = list == nothing;
    swprintf(list + wcslen(list), 512 - wcslen(list), L"%ls%ls", list[0] ? L", " : L"",
             kTexts[i].name);
  }
  // The launcher's code page is UTF-8 where its manifest is honoured, and the
  // system's elsewhere: a text that only UTF-8 carries, arriving whole, tells
  // which. Every text that code page carries and that fits must arrive whole;
  // "as nothing" is right only for the others. A launcher that passes no
  // argument on shows here, plain ASCII first.
  const UINT system = GetACP();
  bool utf8 = system == CP_UTF8;
  for (size_t i = 0; i < kTextCount; ++i)
    utf8 |= arrivedWhole[i] && !Carries(system, CharactersText(i)) &&
            Carries(CP_UTF8, CharactersText(i));
  const UINT launcherPage = utf8 ? CP_UTF8 : system;
  for (size_t i = 0; i < kTextCount; ++i)
    if (arrivedAsNothing[i] && Carries(launcherPage, CharactersText(i)))
      swprintf(missing + wcslen(missing), 512 - wcslen(missing), L"%ls%ls",
               missing[0] ? L", " : L"", kTexts[i].name);
  wchar_t page[64];
  if (utf8)
    swprintf(page, 64, L"UTF-8 (65001)");
  else
    swprintf(page, 64, L"the system's (%u)", system);
  if (missing[0] != 0)
    swprintf(changed + wcslen(changed), kPathRoom - wcslen(changed),
             L"%lsas nothing, though they fit and the launcher's code page, %ls, carries them: %ls",
             changed[0] ? L"; " : L"", page, missing);
  if (changed[0] != 0)
    Report(kFail, L"characters", L"%ls", changed);
  else
    Report(kPass, L"characters");
  if (!allRan) return;
  Report(kFact, L"code page", L"%ls", page);
  Report(kFact, L"characters", L"whole: %ls; as nothing: %ls", whole[0] ? whole : L"none",
         nothing[0] ? nothing : L"none");
}
