// What the launcher tells: the diagnostic boxes and the console line of a
// failed start.
#include "launcher/bounded_text.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

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
