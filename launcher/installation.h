// The fixed names of the installation folder. Every name is relative to the
// working folder, which is the installation folder.
#pragma once

// The installer's program; CreateProcess resolves this relative name against
// the working folder only, never through a program search.
constexpr char kInstallerProgram[] = "jre\\bin\\javaw.exe";

// The start of the installer's command line; the argument text follows it
// directly, so its last blank is the only separator.
constexpr char kCommandPrefix[] =
    "jre\\bin\\javaw -cp \"*\" com.izforge.izpack.installer.bootstrap.Installer "
    "-logfile quellbrook-install.log ";

// The install log, before and after its move one folder up.
constexpr char16_t kLogInWorkingFolder[] = u".\\quellbrook-install.log";
constexpr char16_t kLogInParentFolder[] = u"..\\quellbrook-install.log";

// The optional follow-up script, and the command interpreter that runs it.
constexpr char16_t kFollowUpScript[] = u"installer.qb.bat";
constexpr char kFollowUpCommand[] = "cmd.exe /C installer.qb.bat";
constexpr char kCommandInterpreter[] = "cmd.exe";

// The private Java runtime, emptied when there is no follow-up script.
constexpr char16_t kRuntimeFolder[] = u"jre";
