// The DLL an attacker would plant beside a program: it does nothing, and the
// platform tests only see whether it can be loaded by its name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
