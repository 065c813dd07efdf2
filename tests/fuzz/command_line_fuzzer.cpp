// Feeds arbitrary process command lines through the argument text, the
// diagnostic test and the installer's command, and checks on every input what
// must hold whatever the command line holds.
//
// The input's bytes are UTF-16LE units of the command line; an odd last byte
// is dropped. An empty input stands for a process without a command line.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

static const char16_t* commandLine = nullptr;

// The only platform call that the command-line code makes.
const char16_t* platform::GetCommandLineW() { return commandLine; }

static constexpr char16_t kSwitch[] = u"-orva:msg";
static constexpr size_t kPrefixLength = sizeof kCommandPrefix - 1;
static constexpr unsigned char kUnwritten = 0xA5;

#define CHECK(condition)                                       \
  do {                                                         \
    if (!(condition)) {                                        \
      fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__); \
      abort();                                                 \
    }                                                          \
  } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap block of exactly the command line's size, so that the sanitizer
  // sees any read beyond its terminator.
  size_t units = size / 2;
  char16_t* line = nullptr;
  if (size > 0) {
    line = new char16_t[units + 1];
    memcpy(line, data, units * 2);
    line[units] = 0;
  }
  commandLine = line;
  size_t lineLength = line ? std::char_traits<char16_t>::length(line) : 0;

  const char16_t* argument = GetArgumentText();
  CHECK(argument != nullptr);
  size_t length = std::char_traits<char16_t>::length(argument);
  if (line == nullptr) {
    CHECK(length == 0);
  } else {
    // A view into the command line that runs to its terminator.
    CHECK(argument >= line && argument <= line + lineLength);
    CHECK(argument + length == line + lineLength);
    // It starts at a word, and what lies before it is the name, with its
    // quotes closed, and the separators after it.
    if (length > 0) {
      CHECK(*argument > 0x20);
      if (argument > line) CHECK(argument[-1] <= 0x20);
      size_t quotes = 0;
      for (const char16_t* unit = line; unit < argument; ++unit) quotes += *unit == u'"';
      CHECK(quotes % 2 == 0);
    }
  }

  std::u16string_view text(argument, length);
  CHECK(HasDiagnosticSwitch(argument) == (text.find(kSwitch) != text.npos));

  static char command[kCommandSize];
  memset(command, kUnwritten, sizeof command);
  BuildInstallerCommand(argument, command);
  CHECK(memcmp(command, kCommandPrefix, kPrefixLength) == 0);
  CHECK(static_cast<unsigned char>(command[kCommandSize - 1]) == kUnwritten);
  CHECK(memchr(command, 0, kCommandSize - 1) != nullptr);

  bool fits = length <= kCommandSize - sizeof kCommandPrefix - 1;
  for (size_t index = 0; fits && index < length; ++index) fits = argument[index] <= 0xFF;
  if (fits) {
    for (size_t index = 0; index < length; ++index)
      CHECK(static_cast<unsigned char>(command[kPrefixLength + index]) == argument[index]);
    CHECK(command[kPrefixLength + length] == 0);
  } else {
    CHECK(command[kPrefixLength] == 0);
  }

  delete[] line;
  commandLine = nullptr;
  return 0;
}
