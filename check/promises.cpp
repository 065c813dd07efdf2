// The promises setup.exe makes, each checked on real installation folders
// below the check's own folder, with copies of setup-check.exe as installer.
// The folders are laid out first, their launchers run side by side, and the
// lines come in a fixed order.
#include <stdio.h>

#include "check/promises.h"

bool CheckPromises(const CheckSetup& setup) {
  check = setup;
  ReportWindows();
  static Case cleanup, wholeCleanup, without, followUp, logKept, restart, characters[kTextCount];
  HANDLE held = INVALID_HANDLE_VALUE;
  wchar_t path[kPathRoom];
  bool ready = JoinPath(windowedInstaller, check.work, L"javaw.exe") &&
               CopyAsWindowedProgram(check.self, windowedInstaller) &&
               PrepareCleanup(&cleanup, &wholeCleanup, &held) &&
               LayOut(&without, L"without-installer", false) &&
               JoinPath(path, without.install, L"javaw.exe") &&
               CopyFileW(windowedInstaller, path, FALSE) && PrepareFollowUp(&followUp) &&
               PrepareLogKept(&logKept) && PrepareInstallerRestart(&restart);
  for (size_t i = 0; i < kTextCount; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"characters-%u", static_cast<unsigned>(i + 1));
    ready &= LayOut(&characters[i], name, true);
  }
  if (!ready) return false;

  // The folders are independent: their launchers run side by side.
  Launch(&cleanup, L"");
  Launch(&wholeCleanup, L"");
  Launch(&without, L"");
  Launch(&followUp, L"");
  Launch(&logKept, L"");
  Launch(&restart, kRestart);
  for (size_t i = 0; i < kTextCount; ++i) Launch(&characters[i], CharactersText(i));
  Finish(&cleanup);
  Finish(&wholeCleanup);
  Finish(&without);
  Finish(&followUp);
  Finish(&logKept);
  Finish(&restart);
  for (Case& c : characters) Finish(&c);

  CheckInstallerStart(cleanup);
  CheckWithoutInstaller(without);
  CheckCharacters(characters);
  CheckFollowUp(followUp);
  CheckPause(followUp);
  CheckCleanup(cleanup, wholeCleanup, held);
  CheckLogKept(logKept);
  CheckInstallerRestart(restart);
  CheckOnePerFolder();
  CheckGuardAcrossAccounts();
  return true;
}
