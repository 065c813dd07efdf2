// The process entry. A plain main in a GUI-subsystem program: the runtime is
// set up before it and flushes standard output after it returns.
#include "launcher/launcher.h"

int main() { return StartLauncher(); }
