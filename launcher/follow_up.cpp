// The follow-up step: the script, or the log's move and the runtime's cleanup.
#include "launcher/bounded_text.h"
#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

bool IsPresent(const char16_t* name) {
  // Only looks the name up: a file that another process holds open, locked
  // or not, is present too.
  return platform::GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
}

// The command interpreter of the system folder: a cmd.exe planted in the
// working folder or beside the launcher must never run.
static bool GetCommandInterpreterPath(char* path, size_t room, uint32_t* error) {
  size_t length = platform::GetSystemDirectoryA(path, static_cast<uint32_t>(room), error);
  if (length == 0) return false;
  if (!AppendText(path, room, &length, "\\") ||
      !AppendText(path, room, &length, kCommandInterpreter)) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  return true;
}

static int RunFollowUpScript(bool diagnosticMode) {
  ShowInfo(diagnosticMode, kFollowUpCommand);
  char interpreter[MAX_PATH + sizeof kCommandInterpreter];
  char command[sizeof kFollowUpCommand];  // CreateProcessA takes a writable line
  memcpy(command, kFollowUpCommand, sizeof command);
  uint32_t startError = 0;
  if (!GetCommandInterpreterPath(interpreter, sizeof interpreter, &startError) ||
      !platform::RunAndWait(interpreter, command, true, &startError))
    return ReportStartFailure(diagnosticMode, "CreateProcess failed (installer.qb.bat)",
                              startError);
  ShowInfo(diagnosticMode, "finished");
  return 0;
}

int RunFollowUp(bool diagnosticMode) {
  if (IsPresent(kFollowUpScript)) return RunFollowUpScript(diagnosticMode);

  ShowInfo(diagnosticMode, "no installer.qb.bat");
  // MoveFileW never replaces a file: a log already in the parent folder stays
  // as it was, and so does this one.
  platform::MoveFileW(kLogInWorkingFolder, kLogInParentFolder);
  ClearFolderTree(kRuntimeFolder, kRuntimeFolder);
  ShowInfo(diagnosticMode, "finished");
  return 0;
}
