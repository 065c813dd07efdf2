// The wait for the runtime's last program against the recording fake: which
// processes count, the order around it, and its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "tests/host/fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

const std::u16string kJavaw = u"\\\\?\\C:\\inst\\jre\\bin\\javaw.exe";

class RuntimeWait : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    fake::AddFile(u"quellbrook-install.log");
    fake::AddFile(u"jre\\bin\\javaw.exe");
  }

  // The processes waited for, in order.
  static Calls Waits() {
    Calls waits;
    for (const std::string& call : fake::CallsOf({"WaitForSingleObject"}))
      if (call.size() > 9 && call.compare(call.size() - 9, 9, " INFINITE") == 0)
        waits.push_back(call.substr(20, call.size() - 29));
    return waits;
  }
};

TEST_F(RuntimeWait, ComesAfterTheInstallerAndBeforeThePauseAndRepeatsUntilNothingRuns) {
  // The installer restarted itself, and the restarted one left a helper
  // behind: each runs from jre, each is waited for in turn.
  fake::AddProcess(7, u"C:\\inst\\jre\\bin\\javaw.exe", kJavaw);
  fake::AddProcess(9, u"C:\\inst\\jre\\bin\\java.exe", u"\\\\?\\C:\\inst\\jre\\bin\\java.exe")
      .startedBy = 7;
  EXPECT_EQ(RunLauncher(u"-orva:msg"), 0);
  Calls calls = fake::CallsOf({"RunAndWait", "CreateProcessSnapshot", "WaitForSingleObject",
                               "Sleep", "MessageBoxA", "MoveFileW"});
  ASSERT_GE(calls.size(), 3u);
  calls.erase(calls.begin(), calls.begin() + 2);  // the boxes before the start
  EXPECT_EQ(calls, (Calls{
                       "RunAndWait jre\\bin\\javaw.exe | " + std::string(kCommandPrefix) +
                           "-orva:msg | shown",
                       "CreateProcessSnapshot",
                       "WaitForSingleObject process 7 0",
                       "WaitForSingleObject process 7 INFINITE",
                       "CreateProcessSnapshot",
                       "WaitForSingleObject process 9 0",
                       "WaitForSingleObject process 9 INFINITE",
                       "CreateProcessSnapshot",
                       "Sleep 1000",
                       "CreateProcessSnapshot",  // once more after the pause
                       "MessageBoxA Info: End of installation.",
                       "MessageBoxA Info: no installer.qb.bat",
                       "MoveFileW .\\quellbrook-install.log -> ..\\quellbrook-install.log",
                       "MessageBoxA Info: finished",
                   }));
  // Every snapshot and every process handle is let go of.
  EXPECT_EQ(fake::CallsOf({"CloseProcessSnapshot"}).size(), 4u);
  EXPECT_EQ(fake::CallsOf({"CloseHandle"}).size(), fake::CallsOf({"OpenProcess"}).size());
}

TEST_F(RuntimeWait, AProgramListedOnlyAfterThePauseIsWaitedForAndThePauseBeginsAnew) {
  // The last program of jre started another just before its end, which is
  // listed only a moment later: the look after the pause finds it.
  fake::AddProcess(9, u"C:\\inst\\jre\\bin\\java.exe", u"\\\\?\\C:\\inst\\jre\\bin\\java.exe")
      .listedAfterSleeps = 1;
  EXPECT_EQ(RunLauncher(u"-orva:msg"), 0);
  EXPECT_EQ(fake::CallsOf({"CreateProcessSnapshot", "WaitForSingleObject process", "Sleep"}),
            (Calls{"CreateProcessSnapshot", "Sleep 1000", "CreateProcessSnapshot",
                   "WaitForSingleObject process 9 0", "WaitForSingleObject process 9 INFINITE",
                   "CreateProcessSnapshot", "Sleep 1000", "CreateProcessSnapshot"}));
  // The end of the installation comes after the second pause.
  Calls calls = fake::CallsOf({"Sleep", "MessageBoxA"});
  auto end = std::find(calls.begin(), calls.end(), "MessageBoxA Info: End of installation.");
  ASSERT_GE(end - calls.begin(), 2);
  EXPECT_EQ(Calls(end - 2, end), (Calls{"Sleep 1000", "Sleep 1000"}));
}

TEST_F(RuntimeWait, OnlyARunningProgramWhoseFinalPathLiesInJreCounts) {
  struct {
    const char* why;
    std::u16string image, finalImage;
    bool waited;
  } cases[] = {
      {"jre\\bin", u"C:\\inst\\jre\\bin\\javaw.exe", kJavaw, true},
      {"deep in jre", u"C:\\inst\\jre\\lib\\a\\b\\helper.exe",
       u"\\\\?\\C:\\inst\\jre\\lib\\a\\b\\helper.exe", true},
      {"another spelling", u"C:\\INST\\JRE~1\\BIN\\JAVAW.EXE", kJavaw, true},
      {"its final path in other letters", u"c:\\inst\\jre\\bin\\javaw.exe",
       u"\\\\?\\c:\\INST\\JRE\\bin\\javaw.exe", true},
      {"through a link", u"C:\\runtime-link\\bin\\javaw.exe", kJavaw, true},
      {"a sibling that begins alike", u"C:\\inst\\jre-old\\bin\\javaw.exe",
       u"\\\\?\\C:\\inst\\jre-old\\bin\\javaw.exe", false},
      {"jre itself as a file's name", u"C:\\inst\\jre", u"\\\\?\\C:\\inst\\jre", false},
      {"another installation's jre", u"C:\\other\\jre\\bin\\javaw.exe",
       u"\\\\?\\C:\\other\\jre\\bin\\javaw.exe", false},
      {"the installation folder", u"C:\\inst\\viewer.exe", u"\\\\?\\C:\\inst\\viewer.exe", false},
      {"a link out of jre", u"C:\\inst\\jre\\outside\\wscript.exe",
       u"\\\\?\\C:\\Windows\\System32\\wscript.exe", false},
      {"an image whose final path cannot be had", u"C:\\inst\\jre\\bin\\gone.exe", u"", false},
  };
  for (const auto& process : cases) {
    SetUp();
    fake::AddProcess(7, process.image, process.finalImage);
    EXPECT_EQ(RunLauncher(u""), 0) << process.why;
    EXPECT_EQ(Waits(), process.waited ? Calls{"process 7"} : Calls{}) << process.why;
  }
}

TEST_F(RuntimeWait, EachFolderIsLookedUpOncePerLook) {
  for (uint32_t id = 10; id < 14; ++id)
    fake::AddProcess(id, u"C:\\Windows\\System32\\svchost.exe",
                     u"\\\\?\\C:\\Windows\\System32\\svchost.exe");
  fake::AddProcess(20, u"C:\\inst\\jre\\bin\\javaw.exe", kJavaw);
  fake::AddProcess(21, u"C:\\inst\\jre\\bin\\java.exe", u"\\\\?\\C:\\inst\\jre\\bin\\java.exe");
  EXPECT_EQ(RunLauncher(u""), 0);
  EXPECT_EQ(Waits(), (Calls{"process 20", "process 21"}));
  // Three looks, and one after the pause: each asks once for the system
  // folder, and the first two for jre\bin.
  EXPECT_EQ(fake::CallsOf({"GetFinalPath"}),
            (Calls{"GetFinalPath .", "GetFinalPath jre", "GetFinalPath C:\\Windows\\System32\\",
                   "GetFinalPath C:\\inst\\jre\\bin\\", "GetFinalPath C:\\Windows\\System32\\",
                   "GetFinalPath C:\\inst\\jre\\bin\\", "GetFinalPath C:\\Windows\\System32\\",
                   "GetFinalPath jre", "GetFinalPath C:\\Windows\\System32\\"}));
}

TEST_F(RuntimeWait, MoreProgramFoldersThanOneLookKeepsAreEachJudgedRight) {
  // A desktop runs programs from far more folders than a look keeps; the
  // one from jre comes after all of them.
  for (uint32_t id = 100; id < 140; ++id) {
    std::string digits = std::to_string(id);
    std::u16string folder = u"C:\\Programs\\p" + std::u16string(digits.begin(), digits.end());
    fake::AddProcess(id, folder + u"\\tool.exe", u"\\\\?\\" + folder + u"\\tool.exe");
  }
  fake::AddProcess(200, u"C:\\inst\\jre\\bin\\java.exe", u"\\\\?\\C:\\inst\\jre\\bin\\java.exe");
  EXPECT_EQ(RunLauncher(u""), 0);
  EXPECT_EQ(Waits(), Calls{"process 200"});
  // Three looks, each of which asks once for every folder.
  const Calls asked = fake::CallsOf({"GetFinalPath C:\\Programs\\p139\\"});
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_FALSE(fake::Exists(u"jre\\bin\\javaw.exe"));
}

TEST_F(RuntimeWait, ProcessesThatCannotBeSeenAreNotWaitedFor) {
  // Another account's program, one whose image cannot be read, one that
  // ended but is still listed, and setup.exe itself lying in jre.
  fake::AddProcess(5, u"C:\\inst\\jre\\bin\\javaw.exe", kJavaw).opens = false;
  fake::AddProcess(6, u"", kJavaw);
  fake::AddProcess(7, u"C:\\inst\\jre\\bin\\javaw.exe", kJavaw).running = false;
  fake::AddProcess(fake::state.selfId, u"C:\\inst\\jre\\setup.exe",
                   u"\\\\?\\C:\\inst\\jre\\setup.exe");
  EXPECT_EQ(RunLauncher(u""), 0);
  EXPECT_EQ(Waits(), Calls{});
  // Looked at before the pause and after it.
  EXPECT_EQ(fake::CallsOf({"OpenProcess"}),
            (Calls{"OpenProcess 5", "OpenProcess 6", "OpenProcess 7", "OpenProcess 5",
                   "OpenProcess 6", "OpenProcess 7"}));
}

TEST_F(RuntimeWait, NothingToLookAtOrAWaitThatFailsLetsTheRunGoOn) {
  // No jre, no snapshot, a wait that fails: each ends the wait, never the run.
  for (int problem = 0; problem < 3; ++problem) {
    SetUp();
    fake::AddProcess(7, u"C:\\inst\\jre\\bin\\javaw.exe", kJavaw).waitResult = 0xFFFFFFFFu;
    if (problem == 0) fake::state.finalPaths.erase(u"jre");
    if (problem == 1) fake::state.snapshotFails = true;
    EXPECT_EQ(RunLauncher(u""), 0) << problem;
    // Before the pause and after it, never more.
    EXPECT_EQ(Waits(), problem == 2 ? (Calls{"process 7", "process 7"}) : Calls{}) << problem;
    EXPECT_EQ(fake::CallsOf({"CreateProcessSnapshot"}).size(), problem == 0 ? 0u : 2u) << problem;
    EXPECT_EQ(fake::CallsOf({"Sleep"}), Calls{"Sleep 1000"}) << problem;
  }
}

TEST_F(RuntimeWait, NotWhenTheInstallerDidNotStart) {
  fake::AddProcess(7, u"C:\\inst\\jre\\bin\\javaw.exe", kJavaw);
  fake::state.starts = {{true, 2}};
  EXPECT_EQ(RunLauncher(u""), 1);
  EXPECT_EQ(fake::CallsOf({"GetFinalPath", "CreateProcessSnapshot"}), Calls{"GetFinalPath ."});
}

}  // namespace
