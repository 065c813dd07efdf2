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
    std::u16string line = u"setup.exe";
    line += separator;
    line += u"\x01\t x";
    line += separator;
    EXPECT_EQ(ArgumentTextOf(line.c_str()), std::u16string(u"x") + separator)
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

std::string CommandFor(const std::u16string& argumentText, Command* command) {
  BuildInstallerCommand(argumentText.c_str(), command->bytes);
  // The buffer's last byte is never written, whatever the argument text.
  EXPECT_EQ(command->bytes[kCommandSize - 1], 0x5A);
  return command->Text();
}

std::string CommandFor(const std::u16string& argumentText) {
  Command command;
  return CommandFor(argumentText, &command);
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

TEST(InstallerCommand, Latin1UnitsBecomeTheSameBytes) {
  EXPECT_EQ(CommandFor(u"caf\u00E9"), kPrefix + "caf\xE9");
  EXPECT_EQ(CommandFor(u"\u0080\u00A0\u00FF"), kPrefix + "\x80\xA0\xFF");
}

TEST(InstallerCommand, AnyUnitAbove0xFFGivesThePrefixAlone) {
  for (const char16_t* text : {u"\u0100", u"-orva:msg \u0416", u"\u4E2D\u6587", u"x\xD83D",
                               u"\xDC00y", u"emoji \U0001F600 end"}) {
    Command command;
    EXPECT_EQ(CommandFor(text, &command), kPrefix) << fake::Readable(text);
    EXPECT_EQ(command.bytes[103], 0);
  }
}

TEST(InstallerCommand, TheLongestArgumentTextThatFits) {
  std::u16string longest(8087, u'a');
  longest.front() = u'\u00E9';
  longest.back() = u'z';
  std::string command = CommandFor(longest);
  ASSERT_EQ(command.size(), 8190u);
  EXPECT_EQ(command.substr(0, 103), kPrefix);
  EXPECT_EQ(command[103], '\xE9');
  EXPECT_EQ(command.back(), 'z');
}

TEST(InstallerCommand, AnArgumentTextTooLongGivesThePrefixAloneNeverACutOffOne) {
  for (size_t length : {8088u, 8089u, 20000u}) {
    Command command;
    EXPECT_EQ(CommandFor(std::u16string(length, u'a'), &command), kPrefix) << length;
    EXPECT_EQ(command.bytes[103], 0);
  }
  // A unit above 0xFF past the room changes nothing: the text is too long anyway.
  std::u16string tooLong(8088, u'a');
  tooLong += u'\u4E2D';
  EXPECT_EQ(CommandFor(tooLong), kPrefix);
}

}  // namespace
