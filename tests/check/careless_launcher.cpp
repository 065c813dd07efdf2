// A launcher that runs the follow-up script carelessly, for the tests of
// setup-check.exe. Built three times: "searched" starts "cmd.exe" by name,
// which CreateProcess looks for beside the launcher first; "shown" starts the
// system's cmd.exe without hiding it. Otherwise it only starts the installer.
// "blocked" starts nothing and reports the installer's start as application
// control refuses it (ERROR_SYSTEM_INTEGRITY_POLICY_VIOLATION), as setup.exe
// would where the check's copy of itself may not run.
#include <windows.h>

static void RunAndWait(const char* program, char* commandLine, WORD show) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef CARELESS_BLOCKED
  const char line[] = "CreateProcess failed (4551).\r\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line - 1, &written, nullptr);
  return 1;
#endif
  char installer[] =
      "jre\\bin\\javaw -cp \"*\" com.izforge.izpack.installer.bootstrap.Installer "
      "-logfile quellbrook-install.log ";
  RunAndWait("jre\\bin\\javaw.exe", installer, SW_SHOWDEFAULT);
  if (GetFileAttributesA("installer.qb.bat") == INVALID_FILE_ATTRIBUTES) return 0;
  char script[] = "cmd.exe /C installer.qb.bat";
#ifdef CARELESS_SHOWN
  char system[MAX_PATH + 16];
  lstrcatA(system + GetSystemDirectoryA(system, MAX_PATH), "\\cmd.exe");
  RunAndWait(system, script, SW_SHOWNORMAL);
#else
  RunAndWait(nullptr, script, SW_HIDE);
#endif
  return 0;
}
