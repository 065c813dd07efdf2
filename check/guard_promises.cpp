// An installer that restarts itself from jre, and the guard of the
// installation folder: one installation per folder, across accounts too.
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "check/promises.h"
#include "launcher/launcher.h"
#include "platform/sealed_mutex_win32.h"

constexpr char kRefusedLine[] = "CreateProcess failed (183).\r\n";

bool PrepareInstallerRestart(Case* c) {
  return LayOut(c, L"installer-restart", true) &&
         Put(c->install, kLateRuntimeFile, "opened late by the runtime\r\n");
}

// Whether an installer run of the loaded records was given the word to
// restart itself: only then can a copy come.
static bool RestartAsked() {
  static wchar_t commandLine[kCommandRoom];
  wchar_t module[kPathRoom];
  for (int i = 0; InstallerRun(i, commandLine, module); ++i)
    if (wcsstr(commandLine, kRestart) != nullptr) return true;
  return false;
}

// An installer that restarts itself from jre\bin and ends at once, as one
// that asks for administrator rights does: setup.exe must wait for the copy,
// and empty jre only after the copy's end.
void CheckInstallerRestart(const Case& c) {
  const wchar_t* line = L"installer restart";
  if (!c.started) {
    Ran(c, line);
    return;
  }
  // The copy runs on, whatever setup.exe did: its record comes at its end.
  // setup.exe has ended; an installer it did not wait for gets a second to
  // note its start, and without the word no copy will come.
  LoadRecords(c);
  for (DWORD waited = 0; FindRecord("restarted ", 0) == nullptr &&
                         CountRecords("restart-failed ") == 0 && waited < kTimeoutMs &&
                         (waited < 1000 || RestartAsked());
       waited += 50) {
    Sleep(50);
    LoadRecords(c);
  }
  const char* restarted = FindRecord("restarted ", 0);
  const char* failed = FindRecord("restart-failed ", 0);
  char found[16] = "";
  unsigned long long restartedEnd = 0;
  unsigned long error = 0;
  if (restarted != nullptr) sscanf(restarted, "%15s %llu", found, &restartedEnd);
  if (failed != nullptr) sscanf(failed, "%lu", &error);
  if (!Ran(c, line)) return;
  if (CountRecords("installer ") == 0)
    Report(kFail, line, L"no installer started, yet setup.exe ended with 0");
  else if (failed != nullptr)
    Report(kNotHere, line, L"the check's installer could not start its copy (error %lu)", error);
  else if (!RestartAsked())
    Report(kFail, line,
           L"setup.exe did not pass its arguments on: the installer never got the word that "
           L"makes it restart");
  else if (restarted == nullptr)
    Report(kNotHere, line, L"the check's restarted installer never ended");
  else if (strcmp(found, "found") != 0)
    Report(kFail, line, L"jre was emptied under the restarted installer");
  else if (c.endTime < restartedEnd)
    Report(kFail, line, L"setup.exe ended before the restarted installer did");
  else if (There(c.install, kLateRuntimeFile))
    Report(kFail, line, L"jre was not emptied after the restarted installer ended");
  else
    Report(kPass, line);
}

// Two launchers in one folder: the second must start, move and delete
// nothing while the first one's installer runs.
void CheckOnePerFolder() {
  static Case first, second;
  const wchar_t* line = L"one installation per folder";
  if (!LayOut(&first, L"one-per-folder", true) || !Put(first.jre, L"lib\\late.txt", "late\r\n")) {
    Report(kNotHere, line, L"the check could not lay out its folder (error %lu)", GetLastError());
    return;
  }
  wchar_t hang[64], release[kPathRoom];
  swprintf(hang, 64, L"%lsrelease.txt", kHangUntil);
  JoinPath(release, first.install, L"release.txt");
  Launch(&first, hang);
  // The second launcher starts only once the first one's installer runs.
  // A setup.exe that has ended starts nothing more; its installer, if it did
  // not wait for one, gets a second to note its start.
  bool running = false;
  for (int waited = 0, endedFor = 0; first.started && !running && waited < 30000 &&
                                     endedFor < 1000;
       waited += 20) {
    if (WaitForSingleObject(first.process.hProcess, 0) == WAIT_OBJECT_0) endedFor += 20;
    Sleep(20);
    LoadRecords(first);
    running = CountRecords("installer ") != 0;
  }
  if (!running) {
    // No second launcher: there is nothing to judge the promise by.
    WriteTextFile(release, "");
    Finish(&first);
    if (!Ran(first, line)) return;
    LoadRecords(first);
    if (CountRecords("installer ") != 0)
      Report(kNotHere, line, L"the first installer took longer than 30 s to start here");
    else
      Report(kFail, line, L"the first setup.exe ended with 0 without starting its installer");
    return;
  }
  // The second launcher runs in the same folder.
  second = Case{};
  wcscpy(second.root, first.root);
  wcscpy(second.install, first.install);
  wcscpy(second.jre, first.jre);
  wcscpy(second.records, first.records);
  Launch(&second, L"");
  Finish(&second);
  LoadRecords(first);
  int installers = CountRecords("installer ");
  bool runtime = There(first.jre, L"lib\\late.txt");
  WriteTextFile(release, "");
  Finish(&first);
  if (installers > 1)
    Report(kFail, line, L"a second setup.exe started another installer while the first one's ran");
  else if (!runtime)
    Report(kFail, line, L"a second setup.exe emptied jre under the running installer");
  else if (!second.ended || second.exitCode != 1 || strcmp(second.printed, kRefusedLine) != 0)
    Report(kFail, line, L"the second %ls", Outcome(second));
  else if (Ran(first, line))
    Report(kPass, line);
}

// A launcher elevated, or of another account, holds its guard with an access
// list that grants a launcher of the user nothing: Windows will not even let
// the second one open it. It must be turned away all the same.
void CheckGuardAcrossAccounts() {
  static Case c;
  const wchar_t* line = L"guard across accounts";
  if (!LayOut(&c, L"guard-across-accounts", true)) {
    Report(kNotHere, line, L"the check could not lay out its folder (error %lu)", GetLastError());
    return;
  }
  char16_t name[kGuardNameSize];
  if (!GetGuardName(reinterpret_cast<const char16_t*>(c.install), name)) {
    Report(kNotHere, line, L"the installation folder's final path cannot be read here");
    return;
  }
  HANDLE guard = CreateSealedMutex(reinterpret_cast<const wchar_t*>(name));
  if (guard == nullptr) {
    DWORD error = GetLastError();
    Report(kNotHere, line, L"the check cannot hold a guard here (error %lu)", error);
    return;
  }
  Launch(&c, L"");
  Finish(&c);
  CloseHandle(guard);
  LoadRecords(c);
  if (c.started && CountRecords("installer ") != 0)
    Report(kFail, line, L"setup.exe started its installer while a guard it may not open was held");
  else if (!Ran(c, line, 1, false))
    return;
  else if (strcmp(c.printed, kRefusedLine) != 0)
    Report(kFail, line, L"%ls", Outcome(c));
  else
    Report(kPass, line);
}
