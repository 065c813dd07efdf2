// The guard of the installation folder against the recording fake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "platform/platform.h"
#include "tests/host/fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

std::u16string GuardName(const std::u16string& finalPath) {
  char16_t name[kGuardNameSize];
  BuildGuardName(finalPath.c_str(), name);
  return name;
}

void SetUpFolder() {
  fake::Reset();
  fake::AddFile(u"quellbrook-install.log");
  fake::AddFile(u"jre\\bin\\javaw.exe");
}

TEST(FolderGuard, ASecondLauncherStartsMovesAndDeletesNothing) {
  // Held by a launcher that this one may open, or by one elevated or of
  // another account, whose guard this one may not open at all.
  for (bool mayOpen : {true, false})
  for (bool diagnostic : {true, false}) {
    SetUpFolder();
    const std::u16string name = GuardName(fake::state.finalPaths[u"."]);
    const std::string guard = fake::Readable(name);
    Calls expected = {"GetFinalPath .", "CreateMutexW " + guard,
                      "WriteStandardOutput CreateProcess failed (183).\n"};
    if (mayOpen) {
      fake::state.otherMutexes[name] = WAIT_TIMEOUT;
      expected.insert(expected.begin() + 2,
                      {"WaitForSingleObject " + guard + " 0", "CloseHandle " + guard});
    } else {
      fake::state.mutexError = ERROR_ACCESS_DENIED;
    }
    EXPECT_EQ(RunLauncher(diagnostic ? u"-orva:msg" : u"a"), 1);
    if (diagnostic) {
      expected.insert(expected.begin(),
                      {"MessageBoxW Info: -orva:msg",
                       std::string("MessageBoxA Info: ") + kCommandPrefix + "-orva:msg"});
      expected.insert(expected.end() - 1,
                      "MessageBoxA Info: Another setup.exe is running in this folder.");
    }
    // Every call made: no start, no pause, no move, no cleanup.
    EXPECT_EQ(fake::state.calls, expected) << diagnostic << mayOpen;
    EXPECT_TRUE(fake::Exists(u"quellbrook-install.log") && fake::Exists(u"jre\\bin\\javaw.exe"));
  }
}

TEST(FolderGuard, TakenBeforeTheInstallerHeldToTheEndAndNeverInTheWayOfALaunch) {
  struct {
    const char* why;
    std::u16string finalPath;
    uint32_t mutexError;
    uint32_t otherWait;  // 0: no other launcher
    bool taken;
  } cases[] = {
      {"free", u"\\\\?\\C:\\inst", 0, 0, true},
      {"abandoned by a killed launcher", u"\\\\?\\C:\\inst", 0, WAIT_ABANDONED, true},
      {"the wait failed", u"\\\\?\\C:\\inst", 0, 0xFFFFFFFFu, false},
      {"the folder's path cannot be read", u"", 0, 0, false},
      {"the path is longer than Windows takes", std::u16string(32768, u'a'), 0, 0, false},
      {"the mutex cannot be made", u"\\\\?\\C:\\inst", 1450, 0, false},  // no resources
  };
  for (const auto& guardCase : cases) {
    SetUpFolder();
    if (guardCase.finalPath.empty())
      fake::state.finalPaths.erase(u".");
    else
      fake::state.finalPaths[u"."] = guardCase.finalPath;
    fake::state.mutexError = guardCase.mutexError;
    if (guardCase.otherWait != 0)
      fake::state.otherMutexes[GuardName(guardCase.finalPath)] = guardCase.otherWait;
    EXPECT_EQ(RunLauncher(u""), 0) << guardCase.why;
    Calls calls = fake::CallsOf({"GetFinalPath", "RunAndWait", "MoveFileW"});
    // The folder, the installer, jre before and after the pause, the log.
    ASSERT_EQ(calls.size(), 5u) << guardCase.why;
    EXPECT_EQ(calls[0], "GetFinalPath .");
    EXPECT_EQ(fake::CallsOf({"WriteStandardOutput"}), Calls{}) << guardCase.why;
    // A guard taken is never let go of before the process ends.
    if (guardCase.taken) {
      EXPECT_EQ(fake::CallsOf({"CloseHandle"}), Calls{}) << guardCase.why;
    }
  }
}

TEST(GuardName, OneShortNamePerFolderInTheSessionsNamespace) {
  const std::u16string name = GuardName(u"\\\\?\\C:\\Program Files\\Quellbrook");
  EXPECT_EQ(name.size(), kGuardNameSize - 1);
  EXPECT_EQ(name.rfind(u"Local\\QuellbrookSetup-", 0), 0u);
  // Beyond "Local\", a backslash would name another namespace.
  EXPECT_EQ(name.find_first_not_of(u"0123456789abcdef", 22), std::u16string::npos);
  EXPECT_EQ(GuardName(u"\\\\?\\c:\\PROGRAM FILES\\quellbrook"), name);
  // Pinned, so that launchers of two versions in one folder share a guard:
  // 64-bit FNV-1a over the path's units, ASCII letters in upper case, in hex
  // from the highest digit. The empty path gives FNV's offset basis.
  EXPECT_EQ(name, u"Local\\QuellbrookSetup-39aca2e91ea08d84");
  EXPECT_EQ(GuardName(u""), u"Local\\QuellbrookSetup-cbf29ce484222325");
  std::vector<std::u16string> names = {name};
  for (const char16_t* other :
       {u"\\\\?\\C:\\Program Files\\Quellbrook2", u"\\\\?\\D:\\Program Files\\Quellbrook",
        u"\\\\?\\C:\\Program Files\\Quellbrook\\", u"\\\\?\\C:\\Program Files\\Quellbr\u00F6ok",
        u""}) {
    for (const std::u16string& seen : names)
      EXPECT_NE(GuardName(other), seen) << fake::Readable(other);
    names.push_back(GuardName(other));
  }
}

}  // namespace
