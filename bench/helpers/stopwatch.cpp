// Benchmark helper: starts one program, waits for its end, and prints the
// time from just before CreateProcessW to the end of the wait, in
// microseconds, then the program's exit code. The program gets no standard
// handles, so only the stopwatch writes to standard output.
//
//   stopwatch FOLDER APPLICATION COMMAND-LINE
#include <windows.h>

#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: stopwatch FOLDER APPLICATION COMMAND-LINE\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION process;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(argv[2], argv[3], nullptr, nullptr, FALSE, 0, nullptr, argv[1], &startup,
                      &process)) {
    fprintf(stderr, "stopwatch: cannot start %ls (error %lu)\n", argv[2], GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  printf("%lld %lu\n", (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart, exitCode);
  return 0;
}
