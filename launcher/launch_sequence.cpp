// The launcher's run: the installer, the pause, then the follow-up step.
#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

static constexpr uint32_t kPauseAfterInstaller = 1000;  // milliseconds

int StartLauncher() {
  // First of all, before anything could load a DLL.
  platform::RestrictDllSearchToSystemFolder();
  return RunLauncher(GetArgumentText());
}

int RunLauncher(const char16_t* argumentText) {
  const bool diagnosticMode = HasDiagnosticSwitch(argumentText);
  // The only box with UTF-16 text: the argument text exactly as received.
  if (diagnosticMode) platform::MessageBoxW(argumentText, u"Info");

  char command[kCommandSize];
  BuildInstallerCommand(argumentText, command);
  ShowInfo(diagnosticMode, command);

  // A second launcher in a folder whose installer still runs starts nothing,
  // so it never moves the log or empties the runtime under that installer. It
  // reports as a failed start does: status 1, and the code that Windows gives
  // for a mutex that exists.
  if (TakeFolderGuard() == kGuardHeldElsewhere)
    return ReportStartFailure(diagnosticMode, "Another setup.exe is running in this folder.",
                              ERROR_ALREADY_EXISTS);

  uint32_t startError = 0;
  if (!platform::RunAndWait(kInstallerProgram, command, false, &startError))
    return ReportStartFailure(diagnosticMode, "CreateProcess failed (izpack).", startError);

  // The installer's process has ended, whatever its outcome, but the
  // installation has not while a program of its runtime still runs. The pause
  // then gives whatever they left behind time to let go of the folder. A
  // program that the last of them started just before its end may not be
  // listed yet (Wine lists a process only once its first thread runs): one
  // look after the pause finds it, and the wait and the pause begin anew.
  WaitForRuntimePrograms();
  do {
    platform::Sleep(kPauseAfterInstaller);
  } while (WaitForRuntimePrograms());
  ShowInfo(diagnosticMode, "End of installation.");
  return RunFollowUp(diagnosticMode);
}
