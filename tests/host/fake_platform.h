// A recording fake of the platform layer, with a small in-memory file system.
//
// Every platform call is appended to fake.calls as one line of text, so a test
// can check which operations the launcher made and in what order. Paths are
// resolved the way Windows resolves them for the launcher: relative to the
// current folder fake::kCurrentFolder, case-insensitive, repeated backslashes
// folded, "." and ".." followed.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

#include <map>
#include <string>
#include <vector>

namespace fake {

constexpr char16_t kCurrentFolder[] = u"C:\\inst";

struct Entry {
  std::u16string name;  // the entry's own name, as created
  bool folder = false;
  uint32_t attributes = 0;
  bool undeletable = false;        // read-only or held open: deletion fails
  bool attributesUnreadable = false;
  int order = 0;                   // creation order, the enumeration's order
};

struct Start {
  bool fails = false;
  uint32_t error = 0;
};

// A running process that another program started, not the launcher.
struct Process {
  uint32_t id = 0;
  std::u16string image;  // its program as QueryFullProcessImageNameW spells it; empty: unreadable
  bool opens = true;     // OpenProcess gives a handle
  bool running = true;   // false: ended, but still listed
  uint32_t startedBy = 0;  // listed only once that process has ended; 0: from the start
  // Listed only after the launcher has slept that often: a process that Wine
  // lists late, once its first thread runs.
  size_t listedAfterSleeps = 0;
  uint32_t waitResult = WAIT_OBJECT_0;  // what a wait without a limit gives
  bool gone = false;  // ended while the launcher waited for it
};

struct State {
  const char16_t* commandLine = nullptr;
  std::vector<std::string> calls;
  std::vector<Start> starts;  // outcome of each RunAndWait in turn; default: started
  size_t startsMade = 0;
  size_t sleeps = 0;  // Sleep calls made
  uint32_t codePage = 65001;  // the process's ANSI code page (fake_code_pages.h)
  std::string systemDirectory = "C:\\windows\\system32";
  uint32_t systemDirectoryError = 0;  // non-zero: GetSystemDirectoryA fails
  std::map<std::u16string, Entry> entries;  // by resolved path
  // Final paths by the path as given; a path not listed cannot be opened.
  std::map<std::u16string, std::u16string> finalPaths = {
      {u".", u"\\\\?\\C:\\inst"}, {u"jre", u"\\\\?\\C:\\inst\\jre"}};
  uint32_t mutexError = 0;  // non-zero: CreateMutexW gives no handle, and this error
  // Mutexes that other processes hold, by name: what a wait on one gives
  // (WAIT_TIMEOUT while its owner runs, WAIT_ABANDONED once it was killed).
  std::map<std::u16string, uint32_t> otherMutexes;
  // The running processes but the children that the launcher starts itself
  // (RunAndWait), which have ended when it returns; the launcher is among
  // them only when a test adds it, by selfId.
  std::vector<Process> processes;
  uint32_t selfId = 4242;
  bool snapshotFails = false;
  int nextOrder = 0;
};

extern State state;

// Starts every test afresh: no command line, no calls, an empty file system
// holding only the current folder and its parent.
void Reset();

// Adds a file or folder (with its missing parent folders) by path.
Entry& AddFile(const std::u16string& path, uint32_t attributes = 0);
Entry& AddFolder(const std::u16string& path, uint32_t attributes = 0);
bool Exists(const std::u16string& path);

// A running process whose program lies at finalImage, started as image;
// without finalImage, the final path of the image's folder cannot be had.
Process& AddProcess(uint32_t id, const std::u16string& image, const std::u16string& finalImage);

// The recorded calls whose lines start with one of the given words.
std::vector<std::string> CallsOf(std::initializer_list<const char*> operations);

// UTF-16 as the recorded lines show it: ASCII as is, other units as \uXXXX.
std::string Readable(const std::u16string& text);

// Allocation counting around a call of the launcher's logic. Allocations made
// inside the fake itself are not counted.
void StartCountingAllocations();
size_t StopCountingAllocations();

}  // namespace fake
