// A recording fake of the platform layer, with a small in-memory file system.
//
// Every platform call is appended to fake.calls as one line of text, so a test
// can check which operations the launcher made and in what order. Paths are
// resolved the way Windows resolves them for the launcher: relative to the
// current folder fake::kCurrentFolder, case-insensitive, repeated backslashes
// folded, "." and ".." followed.
#pragma once

#include <stdint.h>

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

struct State {
  const char16_t* commandLine = nullptr;
  std::vector<std::string> calls;
  std::vector<Start> starts;  // outcome of each RunAndWait in turn; default: started
  size_t startsMade = 0;
  uint32_t codePage = 65001;  // the process's ANSI code page (fake_code_pages.h)
  std::string systemDirectory = "C:\\windows\\system32";
  uint32_t systemDirectoryError = 0;  // non-zero: GetSystemDirectoryA fails
  std::map<std::u16string, Entry> entries;  // by resolved path
  // The working folder's final path; empty: it cannot be read.
  std::u16string finalPath = u"\\\\?\\C:\\inst";
  bool mutexFails = false;  // CreateMutexW gives no handle
  // Mutexes that other processes hold, by name: what a wait on one gives
  // (WAIT_TIMEOUT while its owner runs, WAIT_ABANDONED once it was killed).
  std::map<std::u16string, uint32_t> otherMutexes;
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

// The recorded calls whose lines start with one of the given words.
std::vector<std::string> CallsOf(std::initializer_list<const char*> operations);

// UTF-16 as the recorded lines show it: ASCII as is, other units as \uXXXX.
std::string Readable(const std::u16string& text);

// Allocation counting around a call of the launcher's logic. Allocations made
// inside the fake itself are not counted.
void StartCountingAllocations();
size_t StopCountingAllocations();

}  // namespace fake
