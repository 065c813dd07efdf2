// The follow-up script: run hidden through the system's cmd.exe, never
// through one planted in the installation folder, and only after the pause.
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "check/promises.h"

bool PrepareFollowUp(Case* c) {
  wchar_t path[kPathRoom];
  return LayOut(c, L"follow-up", true) &&
         // The first line tells a script that ran from one whose program
         // application control kept from starting.
         Put(c->install, L"installer.qb.bat",
             "@echo script-started>>..\\records.txt\r\n@script-marker.exe\r\n") &&
         JoinPath(path, c->install, L"script-marker.exe") && CopyFileW(check.self, path, FALSE) &&
         JoinPath(path, c->install, L"cmd.exe") && CopyFileW(check.self, path, FALSE);
}

void CheckFollowUp(const Case& c) {
  if (!Ran(c, L"follow-up script")) {
    Ran(c, L"no planted cmd.exe");
    return;
  }
  LoadRecords(c);
  wchar_t system[kPathRoom], interpreter[kPathRoom], image[kPathRoom];
  GetSystemDirectoryW(system, kPathRoom);
  JoinPath(interpreter, system, L"cmd.exe");
  const char* script = FindRecord("script ", 0);
  const char* shows = script != nullptr ? Unhex(script, image, kPathRoom) : "";
  if (script == nullptr && CountRecords("script-started") != 0)
    Report(kNotHere, L"follow-up script",
           L"the script ran, but Windows refused to start the check's program in it, a copy of "
           L"setup-check.exe; application control may block it");
  else if (script == nullptr)
    Report(kFail, L"follow-up script", L"the script did not run; %ls", Outcome(c));
  else if (_wcsicmp(image, interpreter) != 0)
    Report(kFail, L"follow-up script", L"the script ran through %ls", image);
  else if (strncmp(shows, "shown", 5) == 0)
    Report(kFail, L"follow-up script", L"the command interpreter's window showed");
  else if (!There(c.install, L"quellbrook-install.log") || !There(c.jre, L"bin\\javaw.exe"))
    Report(kFail, L"follow-up script", L"with a script present, the log moved or jre was emptied");
  else
    Report(kPass, L"follow-up script");
  if (CountRecords("planted-cmd") != 0)
    Report(kFail, L"no planted cmd.exe", L"the cmd.exe in the installation folder ran");
  else
    Report(kPass, L"no planted cmd.exe");
}

// The launcher pauses a second between the installer's end and the follow-up
// step, for whatever the installer left behind to let go of its files. The
// installer's copy notes the time just before it ends, and the script's
// program reads when the command interpreter that runs it was created: the
// step's first act. Windows dates a process's creation by the system timer's
// tick (15.6 ms), and Sleep may end up to a tick early: two ticks are
// allowed for.
constexpr long long kPauseMs = 1000, kTicksAllowedMs = 40;

void CheckPause(const Case& c) {
  const wchar_t* line = L"pause";
  if (!Ran(c, line)) return;
  LoadRecords(c);
  const char* end = FindRecord("installer-end ", 0);
  const char* script = FindRecord("script ", 0);
  wchar_t image[kPathRoom];
  unsigned long long ended = 0, started = 0;
  if (end != nullptr) sscanf(end, "%llu", &ended);
  if (script != nullptr) sscanf(Unhex(script, image, kPathRoom), "%*s %llu", &started);
  if (end == nullptr) {
    Report(kFail, line, L"no installer ended, yet setup.exe ended with 0");
  } else if (script == nullptr && CountRecords("script-started") != 0) {
    Report(kNotHere, line,
           L"Windows refused to start the check's program in the script, a copy of "
           L"setup-check.exe; application control may block it");
  } else if (script == nullptr) {
    Report(kFail, line, L"the follow-up script did not run; %ls", Outcome(c));
  } else if (started == 0) {
    Report(kNotHere, line, L"the command interpreter's start time cannot be read here");
  } else {
    const long long ms =
        (static_cast<long long>(started) - static_cast<long long>(ended)) / 10000;  // 100 ns ticks
    Report(ms + kTicksAllowedMs >= kPauseMs ? kPass : kFail, line,
           L"%lld ms from the installer's end to the command interpreter's start (%lld ms "
           L"wanted, %lld ms less allowed for the system timer)",
           ms, kPauseMs, kTicksAllowedMs);
  }
}
