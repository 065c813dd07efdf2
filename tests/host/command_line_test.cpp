// The argument text, the diagnostic switch and the installer's command.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "launcher/launcher.h"
#include "tests/host/fake_platform.h"

namespace {

const std::string kPrefix =
    "jre\\bin\\javaw -cp \"*\" com.izforge.izpack.installer.bootstrap.Installer "
    "-logfile quellbrook-install.log ";

std::u16string ArgumentTextOf(const char16_t* commandLine) {
  fake::Reset();
  fake::state.commandLine = commandLine;
  const char16_t* text = GetArgumentText();
  // The argument text is a view into the command line, never a copy.
  if (commandLine != nullptr && *text != 0) {
    EXPECT_GE(text, commandLine);
    EXPECT_LT(text, commandLine + std::char_traits<char16_t>::length(commandLine));
  }
  return text;
}

TEST(ArgumentText, SkipsTheProgramNameAndTheSeparatorsAfterIt) {
  EXPECT_EQ(ArgumentTextOf(u"setup.exe"), u"");
  EXPECT_EQ(ArgumentTextOf(u"setup.exe   "), u"");
  EXPECT_EQ(ArgumentTextOf(u"\"C:\\my setup\\setup.exe\"  -orva:msg"), u"-orva:msg");
  EXPECT_EQ(ArgumentTextOf(u"setup.exe a \"b c\"  d\\ "), u"a \"b c\"  d\\ ");
  EXPECT_EQ(ArgumentTextOf(nullptr), u"");
  EXPECT_EQ(ArgumentTextOf(u""), u"");
}

TEST(ArgumentText, TextGluedToAClosingQuoteBelongsToTheName) {
  EXPECT_EQ(ArgumentTextOf(u"\"setup.exe\"-x y"), u"y");
  EXPECT_EQ(ArgumentTextOf(u"set\"up .ex\"e arg"), u"arg");
}

TEST(ArgumentText, AQuoteNeverClosedTakesTheRestOfTheLine) {
  EXPECT_EQ(ArgumentTextOf(u"\"setup.exe -orva:msg more"), u"");
}

TEST(ArgumentText, EveryUnitUpTo0x20EndsTheNameAndIsSkipped) {
  for (char16_t separator = 0x01; separator <= 0x20; ++separator) {
    // Alone, right after the name, with no blank further on to end it.
    std::u16string alone = u"setup.exe";
    alone += separator;
    alone += u"x";
    alone += separator;
    EXPECT_EQ(ArgumentTextOf(alone.c_str()), std::u16string(u"x") + separator)
        << "separator " << static_cast<int>(separator) << " alone";
    // The first of a run of separators of several kinds.
    std::u16string run = u"setup.exe";
    run += separator;
    run += u"\x01\t x";
    run += separator;
    EXPECT_EQ(ArgumentTextOf(run.c_str()), std::u16string(u"x") + separator)
        << "separator " << static_cast<int>(separator);
  }
  // Non-ASCII units are above 0x20 and belong to a word.
  EXPECT_EQ(ArgumentTextOf(u"setup\u00A0\u3000.exe x"), u"x");
}

TEST(ArgumentText, ALineThatBeginsWithABlankHasAnEmptyName) {
  EXPECT_EQ(ArgumentTextOf(u"  \t-orva:msg x"), u"-orva:msg x");
  EXPECT_EQ(ArgumentTextOf(u"   "), u"");
}

TEST(DiagnosticSwitch, AnywhereInTheArgumentTextExactlyAsWritten) {
  EXPECT_TRUE(HasDiagnosticSwitch(u"-orva:msg"));
  EXPECT_TRUE(HasDiagnosticSwitch(u"x-orva:msgx"));
  EXPECT_TRUE(HasDiagnosticSwitch(u"\"a -orva:msg b\""));
  EXPECT_TRUE(HasDiagnosticSwitch(u"--orva:ms -orva:msg"));
  EXPECT_FALSE(HasDiagnosticSwitch(u""));
  EXPECT_FALSE(HasDiagnosticSwitch(u"-ORVA:MSG"));
  EXPECT_FALSE(HasDiagnosticSwitch(u"-orva:Msg"));
  EXPECT_FALSE(HasDiagnosticSwitch(u"-orva:ms"));
  EXPECT_FALSE(HasDiagnosticSwitch(u"-orva msg"));
}

TEST(DiagnosticSwitch, NotInTheProgramName) {
  EXPECT_FALSE(HasDiagnosticSwitch(ArgumentTextOf(u"\"-orva:msg.exe\" x").c_str()));
  EXPECT_FALSE(HasDiagnosticSwitch(ArgumentTextOf(u"-orva:msg").c_str()));
}

// A command buffer filled with a marker byte, to see what was written.
struct Command {
  char bytes[kCommandSize];
  Command() { memset(bytes, 0x5A, sizeof bytes); }
  std::string Text() const { return std::string(bytes, strnlen(bytes, sizeof bytes)); }
};

constexpr uint32_t kUtf8 = 65001;

// The command for the argument text, where the launcher's ANSI code page is
// codePage.
std::string CommandFor(const std::u16string& argumentText, Command* command,
                       uint32_t codePage = kUtf8) {
  fake::state.codePage = codePage;
  BuildInstallerCommand(argumentText.c_str(), command->bytes);
  // The buffer's last byte is never written, whatever the argument text.
  EXPECT_EQ(command->bytes[kCommandSize - 1], 0x5A);
  return command->Text();
}

std::string CommandFor(const std::u16string& argumentText, uint32_t codePage = kUtf8) {
  Command command;
  return CommandFor(argumentText, &command, codePage);
}

TEST(InstallerCommand, ThePrefixDirectlyFollowedByTheArgumentText) {
  EXPECT_EQ(kPrefix.size(), 103u);
  EXPECT_EQ(CommandFor(u""), kPrefix);
  EXPECT_EQ(CommandFor(u"-orva:msg"), kPrefix + "-orva:msg");
  EXPECT_EQ(CommandFor(u"-orva:msg").size(), 112u);
  // Quotes, backslashes, blanks and control units go on unchanged.
  EXPECT_EQ(CommandFor(u"\"C:\\a b\\\" \t x  "), kPrefix + "\"C:\\a b\\\" \t x  ");
  EXPECT_EQ(CommandFor(u"-ORVA:MSG"), kPrefix + "-ORVA:MSG");
}

TEST(InstallerCommand, InUtf8EveryCharacterPasses) {
  EXPECT_EQ(CommandFor(u"caf\u00E9 \u0080 \u20AC \u0416\u0435\u043D\u044F \u65E5\u672C \U0001F600"),
            kPrefix + "caf\xC3\xA9 \xC2\x80 \xE2\x82\xAC \xD0\x96\xD0\xB5\xD0\xBD\xD1\x8F "
                      "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80");
  // A quote after a letter of more than one byte still closes the quotes.
  EXPECT_EQ(CommandFor(u"\"C:\\Ren\u00E9\" -next"), kPrefix + "\"C:\\Ren\xC3\xA9\" -next");
}

TEST(InstallerCommand, InTheSystemsCodePageItsOwnCharactersPass) {
  EXPECT_EQ(CommandFor(u"caf\u00E9 \u20AC? \u00FF", 1252), kPrefix + "caf\xE9 \x80? \xFF");
  EXPECT_EQ(CommandFor(u"\u0416\u0435\u043D\u044F \u20AC", 1251),
            kPrefix + "\xC6\xE5\xED\xFF \x88");
  EXPECT_EQ(CommandFor(u"\u65E5\u672C \u0416 \"x\"", 932),
            kPrefix + "\x93\xFA\x96\x7B \x84\x47 \"x\"");
}

TEST(InstallerCommand, ACharacterThatWouldArriveChangedGivesThePrefixAlone) {
  const std::pair<uint32_t, const char16_t*> changed[] = {
      // Lone surrogates, which UTF-8 writes as U+FFFD.
      {kUtf8, u"a\xD800"}, {kUtf8, u"\xDC00z"}, {kUtf8, u"\xDE00\xD83D"},
      // The default character "?" for what the code page lacks.
      {1252, u"\u0416"}, {1252, u"\U0001F600"}, {1251, u"\u65E5"}, {932, u"\U0001F600"},
      // A look-alike (best fit), and the yen sign that Japanese writes as "\".
      {1252, u"\u0101"}, {1251, u"caf\u00E9"}, {932, u"caf\u00E9"}, {932, u"C:\u00A5x"},
      // A full-width quote would arrive as a quote, and end an argument early.
      {1252, u"\"C:\\a\uFF02 -x \""}, {1251, u"a\uFF3C\uFF02b"},
  };
  for (const auto& [codePage, text] : changed) {
    Command command;
    EXPECT_EQ(CommandFor(text, &command, codePage), kPrefix)
        << codePage << ": " << fake::Readable(text);
    EXPECT_EQ(command.bytes[103], 0);
  }
}

TEST(InstallerCommand, TheLongestArgumentTextThatFitsIs8087Bytes) {
  // 4043 letters of two bytes and one of one byte.
  std::u16string longest(4043, u'\u00E9');
  longest += u'z';
  std::string command = CommandFor(longest);
  ASSERT_EQ(command.size(), 8190u);
  EXPECT_EQ(command.substr(0, 103), kPrefix);
  EXPECT_EQ(command.substr(103, 2), "\xC3\xA9");
  EXPECT_EQ(command.back(), 'z');
  // In a code page of one byte per letter, 8087 letters.
  EXPECT_EQ(CommandFor(std::u16string(8087, u'\u0416'), 1251).size(), 8190u);
}

TEST(InstallerCommand, AnArgumentTextTooLongGivesThePrefixAloneNeverACutOffOne) {
  std::u16string letterTooMany(4044, u'\u00E9');  // 8088 bytes
  std::u16string pairAcrossTheEnd(8086, u'a');    // the last letter's second byte
  pairAcrossTheEnd += u'\u65E5';                  // would be the 8088th
  const std::pair<uint32_t, std::u16string> tooLong[] = {
      {kUtf8, std::u16string(8088, u'a')}, {kUtf8, std::u16string(20000, u'a')},
      {kUtf8, letterTooMany},              {932, pairAcrossTheEnd},
      // A character that could not pass beyond the room changes nothing.
      {kUtf8, std::u16string(8088, u'a') + u'\xD800'},
  };
  for (const auto& [codePage, text] : tooLong) {
    Command command;
    EXPECT_EQ(CommandFor(text, &command, codePage), kPrefix) << codePage << ": " << text.size();
    EXPECT_EQ(command.bytes[103], 0);
  }
}

}  // namespace
