// Feeds arbitrary process command lines through the argument text, the
// diagnostic test and the installer's command, and checks on every input what
// must hold whatever the command line holds. The command is built once in each
// of the code pages that the fake conversions know: UTF-8, as setup.exe runs,
// and three system code pages, as it runs on Windows before 10 version 1903.
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
#include "tests/host/fake_code_pages.h"

static const char16_t* commandLine = nullptr;
static uint32_t codePage = 65001;
static constexpr uint32_t kCodePages[] = {65001, 1252, 1251, 932};

// The platform calls that the command-line code makes.
const char16_t* platform::GetCommandLineW() { return commandLine; }

size_t platform::WideCharToMultiByte(const char16_t* text, char* bytes, size_t room) {
  return fake::WideCharToMultiByte(codePage, text, bytes, room);
}

size_t platform::MultiByteToWideChar(const char* bytes, char16_t* text, size_t room) {
  return fake::MultiByteToWideChar(codePage, bytes, text, room);
}

static constexpr char16_t kSwitch[] = u"-orva:msg";
static constexpr size_t kPrefixLength = sizeof kCommandPrefix - 1;
static constexpr unsigned char kUnwritten = 0xA5;

// The bytes that the installer must get for text in the current code page,
// found character by character: false when a character would not arrive
// unchanged, or when the bytes would not fit behind the prefix.
static bool ExpectedBytes(std::u16string_view text, std::string* expected) {
  expected->clear();
  for (size_t index = 0; index < text.size();) {
    // A surrogate pair is one character.
    size_t units = index + 1 < text.size() && text[index] >= 0xD800 && text[index] <= 0xDBFF &&
                           text[index + 1] >= 0xDC00 && text[index + 1] <= 0xDFFF
                       ? 2 : 1;
    char16_t character[3] = {text[index], units == 2 ? text[index + 1] : u'\0', 0};
    char bytes[8];
    char16_t back[4];
    size_t size = fake::WideCharToMultiByte(codePage, character, bytes, sizeof bytes);
    if (size == 0 || fake::MultiByteToWideChar(codePage, bytes, back, 4) == 0 ||
        std::u16string_view(character) != back)
      return false;
    expected->append(bytes, size - 1);
    index += units;
  }
  return expected->size() <= kCommandSize - sizeof kCommandPrefix - 1;
}

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
  std::string expected;
  for (uint32_t page : kCodePages) {
    codePage = page;
    memset(command, kUnwritten, sizeof command);
    BuildInstallerCommand(argument, command);
    CHECK(memcmp(command, kCommandPrefix, kPrefixLength) == 0);
    CHECK(static_cast<unsigned char>(command[kCommandSize - 1]) == kUnwritten);
    CHECK(memchr(command, 0, kCommandSize - 1) != nullptr);
    // Every character exactly, or none.
    const char* converted = command + kPrefixLength;
    if (ExpectedBytes(text, &expected))
      CHECK(converted == expected);
    else
      CHECK(converted[0] == 0);
  }

  delete[] line;
  commandLine = nullptr;
  return 0;
}
