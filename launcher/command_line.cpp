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
  // No code page: the units 0x00 to 0xFF are the bytes 0x00 to 0xFF, so that
  // Latin-1 letters reach the installer, whatever the locale.
  for (size_t index = 0; index < kArgumentRoom; ++index) {
    char16_t unit = argumentText[index];
    if (unit > 0xFF) break;
    converted[index] = static_cast<char>(unit);
    if (unit == 0) return;
  }
  // Not 8-bit, or too long: the prefix alone, never a cut-off argument text.
  converted[0] = 0;
}
