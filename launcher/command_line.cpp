// The argument text, the diagnostic switch and the installer's command.
#include "launcher/bounded_text.h"
#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

static constexpr char16_t kDiagnosticSwitch[] = u"-orva:msg";

// The converted argument text starts where the prefix's terminator was and
// has the rest of the buffer but its last byte.
static constexpr size_t kPrefixLength = sizeof kCommandPrefix - 1;
static constexpr size_t kArgumentRoom = kCommandSize - sizeof kCommandPrefix;
static_assert(kPrefixLength == 103 && kArgumentRoom == 8088, "the command's layout");

// True when the converted bytes give back exactly the text, unit for unit.
static bool ConvertsBackExactly(const char* converted, const char16_t* text) {
  // Each byte gives at most one unit, so the argument room is room enough.
  char16_t back[kArgumentRoom];
  return platform::MultiByteToWideChar(converted, back, kArgumentRoom) != 0 &&
         SameText(back, text);
}

const char16_t* GetArgumentText() {
  const char16_t* unit = platform::GetCommandLineW();
  if (unit == nullptr) return u"";
  // The launcher's own name ends at the first blank or control character
  // outside quotes. Quotes anywhere in it switch, and stay; a quote that is
  // never closed takes the rest of the line into the name.
  bool quoted = false;
  for (; *unit != 0; ++unit) {
    if (*unit <= 0x20 && !quoted) break;
    if (*unit == u'"') quoted = !quoted;
  }
  while (*unit != 0 && *unit <= 0x20) ++unit;
  return unit;
}

bool HasDiagnosticSwitch(const char16_t* argumentText) {
  for (const char16_t* start = argumentText; *start != 0; ++start) {
    size_t matched = 0;
    while (kDiagnosticSwitch[matched] != 0 && start[matched] == kDiagnosticSwitch[matched])
      ++matched;
    if (kDiagnosticSwitch[matched] == 0) return true;
  }
  return false;
}

void BuildInstallerCommand(const char16_t* argumentText, char (&command)[kCommandSize]) {
  memcpy(command, kCommandPrefix, sizeof kCommandPrefix);
  char* converted = command + kPrefixLength;
  // The bytes are in the launcher's own ANSI code page, the one in which
  // CreateProcessA hands them on to the installer. Where a character has no
  // place in it, Windows writes another one instead, so only the way back
  // tells whether every character arrived.
  size_t bytes = platform::WideCharToMultiByte(argumentText, converted, kArgumentRoom);
  if (bytes != 0 && ConvertsBackExactly(converted, argumentText)) return;
  // Not exact, or too long: the prefix alone, never a changed or cut-off text.
  converted[0] = 0;
}
