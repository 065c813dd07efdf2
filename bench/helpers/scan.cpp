// Benchmark helper: times the launcher's look at the running processes for
// programs of the runtime folder (WaitForRuntimePrograms with none of them
// running), in the current folder, which holds a jre. Prints how many
// processes ran and the median of 21 looks, in microseconds. With a program
// and a count, it first starts that many copies of the program, idling
// outside jre, and ends them afterwards.
//
//   scan [IDLE-PROGRAM COUNT]
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/launcher.h"

static int CountProcesses() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    ++count;
  CloseHandle(snapshot);
  return count;
}

int wmain(int argc, wchar_t** argv) {
  std::vector<HANDLE> idle;
  if (argc == 3) {
    int count = _wtoi(argv[2]);
    for (int i = 0; i < count; ++i) {
      std::wstring line = std::wstring(L"idle standin:sleep=600000");
      STARTUPINFOW startup = {};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION process;
      if (!CreateProcessW(argv[1], &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        fprintf(stderr, "scan: cannot start %ls (error %lu)\n", argv[1], GetLastError());
        return 2;
      }
      CloseHandle(process.hThread);
      idle.push_back(process.hProcess);
    }
    Sleep(10000);  // Wine takes some 50 ms of work to bring up each of them
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::vector<long long> times;
  for (int i = 0; i < 21; ++i) {
    QueryPerformanceCounter(&start);
    WaitForRuntimePrograms();
    QueryPerformanceCounter(&end);
    times.push_back((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart);
  }
  std::sort(times.begin(), times.end());
  printf("%d %lld\n", CountProcesses(), times[times.size() / 2]);
  for (HANDLE process : idle) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
  }
  return 0;
}
