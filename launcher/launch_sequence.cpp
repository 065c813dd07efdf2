// The launcher's run: the installer, the pause, then the follow-up step.
#include "launcher/bounded_text.h"
#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

static constexpr uint32_t kPauseAfterInstaller = 1000;  // milliseconds

void ShowInfo(bool diagnosticMode, const char* text) {
  if (diagnosticMode) platform::MessageBoxA(text, "Info");
}

int ReportStartFailure(bool diagnosticMode, const char* text, uint32_t startError) {
  ShowInfo(diagnosticMode, text);
  char line[48];
  size_t length = 0;
  line[0] = 0;
  // The code is printed as a signed number, so NTSTATUS-like values come out
  // negative, as printf's %d would print them.
  AppendText(line, sizeof line, &length, "CreateProcess failed (");
  AppendDecimal(line, sizeof line, &length, static_cast<int32_t>(startError));
  AppendText(line, sizeof line, &length, ").\n");
  platform::WriteStandardOutput(line);
  return 1;
}

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

  uint32_t startError = 0;
  if (!platform::RunAndWait(kInstallerProgram, command, false, &startError))
    return ReportStartFailure(diagnosticMode, "CreateProcess failed (izpack).", startError);

  // The installer's process has ended, whatever its outcome. The pause gives
  // whatever it left behind time to let go of the installation folder.
  platform::Sleep(kPauseAfterInstaller);
  ShowInfo(diagnosticMode, "End of installation.");
  return RunFollowUp(diagnosticMode);
}
