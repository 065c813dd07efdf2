// The follow-up step against the recording fake: the branch, its boxes, the
// log's move before the cleanup, and the command interpreter's failed start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "tests/host/fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

const std::string kInterpreterStart =
    "RunAndWait C:\\windows\\system32\\cmd.exe | cmd.exe /C installer.qb.bat | hidden";

class FollowUp : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    fake::AddFile(u"quellbrook-install.log");
    fake::AddFile(u"jre\\bin\\javaw.exe");
  }
};

TEST_F(FollowUp, AScriptRunsHiddenThroughTheSystemsInterpreterAndNothingElseHappens) {
  fake::AddFile(u"installer.qb.bat");
  EXPECT_EQ(RunFollowUp(true), 0);
  EXPECT_EQ(fake::CallsOf({"MessageBoxA", "RunAndWait", "MoveFileW", "FindFirstFileW",
                           "DeleteFileW", "Sleep"}),
            (Calls{"MessageBoxA Info: cmd.exe /C installer.qb.bat", kInterpreterStart,
                   "MessageBoxA Info: finished"}));
  EXPECT_TRUE(fake::Exists(u"quellbrook-install.log"));
  EXPECT_TRUE(fake::Exists(u"jre\\bin\\javaw.exe"));
}

TEST_F(FollowUp, AnythingOfTheScriptsNameCountsAsPresent) {
  for (uint32_t attributes : {0x1u, 0x2u, 0x4u, 0x10u}) {  // read-only, hidden, system, folder
    SetUp();
    if (attributes == 0x10u)
      fake::AddFolder(u"installer.qb.bat");
    else
      fake::AddFile(u"installer.qb.bat", attributes);
    EXPECT_EQ(RunFollowUp(false), 0);
    EXPECT_EQ(fake::CallsOf({"RunAndWait", "MoveFileW"}), Calls{kInterpreterStart}) << attributes;
  }
}

TEST_F(FollowUp, WithoutAScriptTheLogMovesUpAndThenTheRuntimeIsEmptied) {
  EXPECT_EQ(RunFollowUp(true), 0);
  Calls calls = fake::CallsOf({"MessageBoxA", "RunAndWait", "MoveFileW", "FindFirstFileW"});
  EXPECT_EQ(calls, (Calls{"MessageBoxA Info: no installer.qb.bat",
                          "MoveFileW .\\quellbrook-install.log -> ..\\quellbrook-install.log",
                          "FindFirstFileW jre\\*.*", "FindFirstFileW jre\\bin\\*.*",
                          "MessageBoxA Info: finished"}));
  EXPECT_TRUE(fake::Exists(u"C:\\quellbrook-install.log"));
  EXPECT_FALSE(fake::Exists(u"quellbrook-install.log"));
  EXPECT_TRUE(fake::Exists(u"jre"));
  EXPECT_FALSE(fake::Exists(u"jre\\bin"));
}

TEST_F(FollowUp, ALogAlreadyInTheParentFolderIsNotReplacedAndTheCleanupStillRuns) {
  fake::AddFile(u"..\\quellbrook-install.log", 0x20);
  EXPECT_EQ(RunFollowUp(false), 0);
  EXPECT_TRUE(fake::Exists(u"quellbrook-install.log"));
  EXPECT_EQ(fake::state.entries[u"c:\\quellbrook-install.log"].attributes, 0x20u);
  EXPECT_FALSE(fake::Exists(u"jre\\bin"));
  EXPECT_EQ(fake::CallsOf({"MessageBoxA"}), Calls{});
}

TEST_F(FollowUp, AnInterpreterThatFailsToStartEndsTheRunWithStatus1) {
  fake::AddFile(u"installer.qb.bat");
  fake::state.starts = {{true, 2}};
  EXPECT_EQ(RunFollowUp(true), 1);
  EXPECT_EQ(fake::CallsOf({"MessageBoxA", "WriteStandardOutput", "MoveFileW", "FindFirstFileW"}),
            (Calls{"MessageBoxA Info: cmd.exe /C installer.qb.bat",
                   "MessageBoxA Info: CreateProcess failed (installer.qb.bat)",
                   "WriteStandardOutput CreateProcess failed (2).\n"}));
  EXPECT_TRUE(fake::Exists(u"quellbrook-install.log"));
  EXPECT_TRUE(fake::Exists(u"jre\\bin\\javaw.exe"));
}

TEST_F(FollowUp, NoSystemFolderMeansNoStartAndTheSameReport) {
  fake::AddFile(u"installer.qb.bat");
  fake::state.systemDirectoryError = 5;
  EXPECT_EQ(RunFollowUp(false), 1);
  EXPECT_EQ(fake::CallsOf({"RunAndWait", "WriteStandardOutput", "MoveFileW"}),
            Calls{"WriteStandardOutput CreateProcess failed (5).\n"});

  SetUp();
  fake::AddFile(u"installer.qb.bat");
  fake::state.systemDirectory = "C:\\" + std::string(257, 'w');  // cmd.exe would not fit
  EXPECT_EQ(RunFollowUp(false), 1);
  EXPECT_EQ(fake::CallsOf({"RunAndWait", "WriteStandardOutput"}),
            Calls{"WriteStandardOutput CreateProcess failed (206).\n"});
}

TEST_F(FollowUp, TheWholeRunInBothBranches) {
  EXPECT_EQ(RunLauncher(u"-orva:msg"), 0);
  const std::string command =
      "jre\\bin\\javaw -cp \"*\" com.izforge.izpack.installer.bootstrap.Installer "
      "-logfile quellbrook-install.log -orva:msg";
  EXPECT_EQ(fake::CallsOf({"MessageBoxW", "MessageBoxA"}),
            (Calls{"MessageBoxW Info: -orva:msg", "MessageBoxA Info: " + command,
                   "MessageBoxA Info: End of installation.",
                   "MessageBoxA Info: no installer.qb.bat", "MessageBoxA Info: finished"}));

  SetUp();
  fake::AddFile(u"installer.qb.bat");
  EXPECT_EQ(RunLauncher(u"-orva:msg"), 0);
  EXPECT_EQ(fake::CallsOf({"MessageBoxA", "RunAndWait", "Sleep"}),
            (Calls{"MessageBoxA Info: " + command,
                   "RunAndWait jre\\bin\\javaw.exe | " + command + " | shown", "Sleep 1000",
                   "MessageBoxA Info: End of installation.",
                   "MessageBoxA Info: cmd.exe /C installer.qb.bat", kInterpreterStart,
                   "MessageBoxA Info: finished"}));
}

TEST_F(FollowUp, TakesNoHeapMemory) {
  fake::AddFile(u"jre\\lib\\a\\b\\c.txt");
  fake::StartCountingAllocations();
  int withoutScript = RunLauncher(u"-orva:msg");
  size_t allocations = fake::StopCountingAllocations();
  fake::AddFile(u"installer.qb.bat");
  fake::StartCountingAllocations();
  int withScript = RunLauncher(u"-orva:msg");
  allocations += fake::StopCountingAllocations();
  EXPECT_EQ(withoutScript, 0);
  EXPECT_EQ(withScript, 0);
  EXPECT_EQ(allocations, 0u);
}

}  // namespace
