// The follow-up script: run hidden through the system's cmd.exe, never
// through one planted in the installation folder.
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
