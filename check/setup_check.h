// setup-check.exe: runs setup.exe through its promises on this Windows, in a
// throw-away folder of its own under %TEMP%, and prints what held.
#pragma once

#include <windows.h>

#include <stddef.h>

// Every path the check makes lies a few folders below %TEMP%.
constexpr size_t kPathRoom = 1024;
// Room for a command line: the longest argument text the check sends, 8088
// units, and setup.exe's path, with room to spare.
constexpr size_t kCommandRoom = 16384;

// The installer's command line without arguments, as the check expects it:
// written out here, not taken from the launcher, so that a change there shows.
constexpr wchar_t kInstallerPrefix[] =
    L"jre\\bin\\javaw -cp \"*\" com.izforge.izpack.installer.bootstrap.Installer "
    L"-logfile quellbrook-install.log ";

// Each role appends its line to this file, relative to its current folder:
// setup.exe runs in <case>\install and its children inherit that folder.
constexpr wchar_t kRecordsFromInstallFolder[] = L"..\\records.txt";
// A word in the argument text that keeps the installer running until a file
// of the given name appears in the installation folder.
constexpr wchar_t kHangUntil[] = L"setup-check:hang-until=";
// A word that makes the installer start a copy of itself from jre\bin and
// end at once, as an installer that restarts itself elevated does. The copy
// gets kRestarted alone, takes its time, then records whether the runtime
// file kLateRuntimeFile (relative to the installation folder) is still there.
constexpr wchar_t kRestart[] = L"setup-check:restart";
constexpr wchar_t kRestarted[] = L"setup-check:as-restarted";
constexpr wchar_t kLateRuntimeFile[] = L"jre\\lib\\late.txt";
constexpr DWORD kRestartedRunsMs = 3000;

// --- roles.cpp: the children that copies of setup-check.exe play.

// Plays the role that this copy's file name names (javaw.exe: the installer;
// cmd.exe: a command interpreter planted in the installation folder;
// script-marker.exe: the program the follow-up script runs). False when the
// copy is the check itself.
bool PlayRole(int* exitCode);

// --- folders.cpp: the throw-away folders.

bool JoinPath(wchar_t (&out)[kPathRoom], const wchar_t* base, const wchar_t* name);
bool Exists(const wchar_t* path);
bool WriteTextFile(const wchar_t* path, const char* text);
// The whole file, zero-terminated; false when it cannot be read or does not fit.
bool ReadTextFile(const wchar_t* path, char* text, size_t room);
// The folder and every missing folder above it.
bool MakeFolders(const wchar_t* path);
// Everything below path and path itself; links are removed as links, never
// walked through, and read-only entries lose that attribute first.
void RemoveTree(const wchar_t* path);
// A copy of the program that Windows starts as a windowed program, as the
// real javaw.exe is, so that no console window opens for the installer.
bool CopyAsWindowedProgram(const wchar_t* program, const wchar_t* copy);
// A junction or a folder symbolic link at link, pointing at target. On
// failure *why says why in a few words.
bool MakeJunction(const wchar_t* link, const wchar_t* target, wchar_t (&why)[256]);
bool MakeFolderSymbolicLink(const wchar_t* link, const wchar_t* target, wchar_t (&why)[256]);

// --- facts.cpp: the machine and the program.

// The program's ProductVersion, as Explorer's Details show it; false when it
// has no version resource.
bool ReadProductVersion(const wchar_t* program, wchar_t (&version)[64]);
// The line "FACT windows": the release (Windows 11, 23H2), the kernel's
// version and build with its update revision, and Wine's version under Wine.
void ReportWindows();

// --- promises.cpp: the checks, with setup-check's own folder and program.

struct CheckSetup {
  const wchar_t* setupExe;  // the setup.exe under check
  const wchar_t* self;      // this program
  const wchar_t* work;      // the throw-away folder
};
// Prints a line per promise; false when the installation folders could not
// be laid out, and nothing was checked.
bool CheckPromises(const CheckSetup& setup);

// --- lines.cpp: the lines the check prints.

// Text to standard output: to a console as it is, redirected as UTF-8.
void Write(const wchar_t* text);

enum Verdict { kPass, kFail, kNotHere, kFact };
// One line: "PASS name", "FAIL name: ...", "NOT HERE name: ..." or
// "FACT name: ...", the text after the colon made from format.
void Report(Verdict verdict, const wchar_t* name, const wchar_t* format = nullptr, ...);
// The text with every unit outside printable ASCII as \uXXXX.
void Escape(const wchar_t* text, wchar_t* out, size_t room);
// How many FAIL lines were reported.
int FailedCount();
