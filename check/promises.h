// The promises' own parts: one installation folder and the setup.exe run in
// it (installation.cpp), what the roles recorded there, and the checks by
// area, each in a file of its own.
#pragma once

#include "check/setup_check.h"

constexpr DWORD kTimeoutMs = 60000;

// One installation folder and the setup.exe run in it.
struct Case {
  wchar_t root[kPathRoom];     // <work>\<name>: the parent folder, where the log moves
  wchar_t install[kPathRoom];  // the installation folder, setup.exe's working folder
  wchar_t jre[kPathRoom];
  wchar_t records[kPathRoom];
  PROCESS_INFORMATION process;
  HANDLE output;  // the read end of setup.exe's standard output, or null
  bool started, ended;
  DWORD startError, exitCode;
  unsigned long long endTime;  // FILETIME ticks of setup.exe's end
  char printed[256];  // what setup.exe wrote to standard output
};

// --- installation.cpp: the folders, the runs and the records.

extern CheckSetup check;
extern wchar_t windowedInstaller[kPathRoom];  // setup-check as a windowed javaw.exe

// The case's folders below the check's own, with setup.exe and, withInstaller,
// the check's copy as jre\bin\javaw.exe.
bool LayOut(Case* c, const wchar_t* name, bool withInstaller);
// A file below base with text, and its folders.
bool Put(const wchar_t* base, const wchar_t* relative, const char* text,
         DWORD attributes = FILE_ATTRIBUTE_NORMAL);
bool Holds(const wchar_t* base, const wchar_t* relative, const char* text);
bool There(const wchar_t* base, const wchar_t* relative);

// Starts the case's setup.exe with this argument text, reading its standard
// output; Finish waits for its end, at most kTimeoutMs.
void Launch(Case* c, const wchar_t* argumentText);
void Finish(Case* c);

// How the run went, for a line that cannot judge the promise.
const wchar_t* Outcome(const Case& c);
// Null when the run ended as the check expects, with expectedExit: the line
// may then judge the promise. Otherwise what happened instead, and whether
// that is application control's doing (NOT HERE) or setup.exe's (FAIL).
// needsInstaller: the run starts the check's own copy as the installer, which
// application control may refuse to start: that says nothing of setup.exe.
const wchar_t* Unexpected(const Case& c, DWORD expectedExit, bool needsInstaller,
                          Verdict* verdict);
// Reports the line with what happened when the run did not end as expected;
// true when it did, and the line may judge the promise.
bool Ran(const Case& c, const wchar_t* line, DWORD expectedExit = 0, bool needsInstaller = true);

// What the roles recorded (roles.cpp), read afresh from the case's file.
void LoadRecords(const Case& c);
// The start of the index-th loaded line that begins with kind, or null.
const char* FindRecord(const char* kind, int index);
int CountRecords(const char* kind);
// One hex field of a record, as UTF-16 units; returns what follows it.
const char* Unhex(const char* hex, wchar_t* text, size_t room);
// The installer's command line and program of the index-th start, and
// whether it was asked to start hidden; false when it did not start that often.
bool InstallerRun(int index, wchar_t* commandLine, wchar_t (&module)[kPathRoom],
                  bool* hidden = nullptr);

// --- start_promises.cpp: the installer's start and the characters.

constexpr size_t kTextCount = 10;
// The argument text of the index-th characters case.
const wchar_t* CharactersText(size_t index);
void CheckInstallerStart(const Case& c);
void CheckWithoutInstaller(const Case& c);
void CheckCharacters(const Case* cases);

// --- script_promises.cpp: the follow-up script.

bool PrepareFollowUp(Case* c);
void CheckFollowUp(const Case& c);
// At least the launcher's pause between the installer's end and the script.
void CheckPause(const Case& c);

// --- cleanup_promises.cpp: the cleanup and the log.

// The cleanup's folder, its links, and a file held open in it; and a folder
// whose jre can be emptied whole.
bool PrepareCleanup(Case* c, Case* whole, HANDLE* held);
void CheckCleanup(const Case& c, const Case& whole, HANDLE held);
bool PrepareLogKept(Case* c);
void CheckLogKept(const Case& c);

// --- guard_promises.cpp: the restarted installer and the guard.

bool PrepareInstallerRestart(Case* c);
void CheckInstallerRestart(const Case& c);
void CheckOnePerFolder();
void CheckGuardAcrossAccounts();
