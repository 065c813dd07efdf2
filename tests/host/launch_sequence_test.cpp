// The launcher's run against the recording fake: boxes, the installer's
// start, the pause and the failed start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "tests/host/fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kCommand =
    "jre\\bin\\javaw -cp \"*\" com.izforge.izpack.installer.bootstrap.Installer "
    "-logfile quellbrook-install.log ";
const std::string kInstallerStart = "RunAndWait jre\\bin\\javaw.exe | " + kCommand;

class LaunchSequence : public ::testing::Test {
 protected:
  void SetUp() override { fake::Reset(); }
};

TEST_F(LaunchSequence, TheStartUpRestrictsDllLoadsBeforeAnythingElse) {
  fake::state.commandLine = u"setup.exe  -orva:msg";
  EXPECT_EQ(StartLauncher(), 0);
  ASSERT_GE(fake::state.calls.size(), 3u);
  EXPECT_EQ(fake::state.calls[0], "RestrictDllSearchToSystemFolder");
  EXPECT_EQ(fake::state.calls[1], "GetCommandLineW");
  EXPECT_EQ(fake::state.calls[2], "MessageBoxW Info: -orva:msg");
}

TEST_F(LaunchSequence, WithoutTheSwitchNoBoxAndTheInstallerThenThePause) {
  EXPECT_EQ(RunLauncher(u"a \"b c\""), 0);
  EXPECT_EQ(fake::CallsOf({"MessageBoxW", "MessageBoxA", "WriteStandardOutput"}), Calls{});
  EXPECT_EQ(fake::CallsOf({"RunAndWait", "Sleep"}),
            (Calls{kInstallerStart + "a \"b c\" | shown", "Sleep 1000"}));
}

TEST_F(LaunchSequence, WithTheSwitchEveryStepShowsItsBoxInOrder) {
  EXPECT_EQ(RunLauncher(u"x \"-orva:msg\" \u00E9"), 0);
  EXPECT_EQ(fake::CallsOf({"MessageBoxW", "MessageBoxA", "RunAndWait", "Sleep"}),
            (Calls{
                "MessageBoxW Info: x \"-orva:msg\" \\u00E9",
                "MessageBoxA Info: " + kCommand + "x \"-orva:msg\" \xC3\xA9",
                kInstallerStart + "x \"-orva:msg\" \xC3\xA9 | shown",
                "Sleep 1000",
                "MessageBoxA Info: End of installation.",
                "MessageBoxA Info: no installer.qb.bat",
                "MessageBoxA Info: finished",
            }));
}

TEST_F(LaunchSequence, AnArgumentTextThatCannotPassExactlyIsShownWholeAndNotPassedOn) {
  fake::state.codePage = 1252;
  EXPECT_EQ(RunLauncher(u"-orva:msg \u4E2D"), 0);
  Calls calls = fake::CallsOf({"MessageBoxW", "MessageBoxA", "RunAndWait"});
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0], "MessageBoxW Info: -orva:msg \\u4E2D");
  EXPECT_EQ(calls[1], "MessageBoxA Info: " + kCommand);
  EXPECT_EQ(calls[2], kInstallerStart + " | shown");
}

TEST_F(LaunchSequence, AFailedStartIsReportedWithItsOwnCodeAndEndsTheRun) {
  fake::state.starts = {{true, 2}};
  EXPECT_EQ(RunLauncher(u"-orva:msg"), 1);
  EXPECT_EQ(fake::CallsOf({"MessageBoxW", "MessageBoxA", "RunAndWait", "Sleep",
                           "WriteStandardOutput", "MoveFileW", "FindFirstFileW"}),
            (Calls{
                "MessageBoxW Info: -orva:msg",
                "MessageBoxA Info: " + kCommand + "-orva:msg",
                kInstallerStart + "-orva:msg | shown",
                "MessageBoxA Info: CreateProcess failed (izpack).",
                "WriteStandardOutput CreateProcess failed (2).\n",
            }));
}

TEST_F(LaunchSequence, AFailedStartWithoutTheSwitchOnlyWritesTheConsoleLine) {
  fake::state.starts = {{true, 193}};
  EXPECT_EQ(RunLauncher(u""), 1);
  EXPECT_EQ(fake::CallsOf({"MessageBoxW", "MessageBoxA", "Sleep", "WriteStandardOutput"}),
            (Calls{"WriteStandardOutput CreateProcess failed (193).\n"}));
}

TEST_F(LaunchSequence, TheConsoleLinePrintsTheCodeAsASignedNumber) {
  const std::pair<uint32_t, const char*> codes[] = {
      {0, "0"},
      {4294967295u, "-1"},
      {0xC0000005u, "-1073741819"},
      {0x80000000u, "-2147483648"},
      {0x7FFFFFFFu, "2147483647"},
  };
  for (const auto& [code, printed] : codes) {
    fake::Reset();
    EXPECT_EQ(ReportStartFailure(false, "CreateProcess failed (izpack).", code), 1);
    EXPECT_EQ(fake::state.calls,
              Calls{std::string("WriteStandardOutput CreateProcess failed (") + printed + ").\n"});
  }
}

TEST_F(LaunchSequence, TakesNoHeapMemory) {
  std::u16string longest(8087, u'b');
  fake::state.starts = {{false, 0}, {false, 0}, {true, 5}};
  fake::StartCountingAllocations();
  int started = RunLauncher(u"-orva:msg \u00E9");
  int tooLong = RunLauncher(longest.c_str());
  int failed = RunLauncher(u"-orva:msg");
  size_t allocations = fake::StopCountingAllocations();
  EXPECT_EQ(started, 0);
  EXPECT_EQ(tooLong, 0);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(allocations, 0u);
}

TEST_F(LaunchSequence, TheAllocationCounterSeesTheHeap) {
  // The counter above must be able to fail.
  fake::StartCountingAllocations();
  std::string* heap = new std::string(100, 'x');
  size_t allocations = fake::StopCountingAllocations();
  delete heap;
  EXPECT_GE(allocations, 1u);
}

}  // namespace
