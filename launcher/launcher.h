// The launcher's procedures, from the argument text to the exit status.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The installer's command: the fixed prefix and the converted argument text.
// The last byte is never written, so the command has at most 8190 characters.
constexpr size_t kCommandSize = 8192;

// The process's whole work after the runtime's start-up; returns the exit
// status.
int StartLauncher();

// The process command line without the launcher's own name and the
// separators after it; never null.
const char16_t* GetArgumentText();

// True when the argument text holds the diagnostic switch "-orva:msg".
bool HasDiagnosticSwitch(const char16_t* argumentText);

// Puts the installer's command into command: the fixed prefix, then the
// argument text in the launcher's ANSI code page. An argument text that the
// code page cannot carry exactly, or that would not fit, gives the prefix
// alone: the installer gets every character of it or none.
void BuildInstallerCommand(const char16_t* argumentText, char (&command)[kCommandSize]);

// The whole run; returns the process exit status, 0 or 1.
int RunLauncher(const char16_t* argumentText);

// The longest path that the wide file operations take, terminator included.
constexpr size_t kFinalPathRoom = 32768;

// The guard of the installation folder: one launcher per folder at a time.
// Its name is "Local\QuellbrookSetup-" and 16 hex digits of a hash of the
// folder's final path; kGuardNameSize counts the terminator.
constexpr size_t kGuardNameSize = 39;
void BuildGuardName(const char16_t* finalPath, char16_t (&name)[kGuardNameSize]);
// The guard's name for the folder, by its final path; false when that path
// cannot be read.
bool GetGuardName(const char16_t* folder, char16_t (&name)[kGuardNameSize]);

enum GuardOutcome {
  kGuardTaken,         // held by this launcher until the process ends
  kGuardHeldElsewhere,  // another launcher runs in this folder
  kGuardUnavailable,   // could not be had; the launch goes on without it
};
GuardOutcome TakeFolderGuard();

// After the installer's process: waits while any program whose file lies
// inside the runtime folder, by its final path, still runs, looking again
// after each one ends. Programs that cannot be opened are not seen. True when
// it waited for one and every wait ended with the program's end: then another
// may have been started meanwhile.
bool WaitForRuntimePrograms();

// In diagnostic mode, a box captioned "Info" with text; otherwise nothing.
void ShowInfo(bool diagnosticMode, const char* text);

// Reports a start that failed with startError: the box with text, then the
// console line "CreateProcess failed (<code>).". Returns the exit status 1.
int ReportStartFailure(bool diagnosticMode, const char* text, uint32_t startError);

// After the installer: runs the follow-up script hidden when it is present;
// otherwise moves the install log one folder up and empties the runtime
// folder. Returns the exit status, 1 when the script could not be started.
int RunFollowUp(bool diagnosticMode);

// True when an entry of that name, file or folder, exists in the working folder.
bool IsPresent(const char16_t* name);

// Deletes everything inside the folder path, depth first, and then removes
// path itself unless its text is exactly root's. Folder links are removed as
// links and never walked through, nor is a link whose own attributes cannot
// be read; a root that is a link is left alone. Paths that would not fit in
// MAX_PATH units are left in place. Failures are silent.
void ClearFolderTree(const char16_t* path, const char16_t* root);
