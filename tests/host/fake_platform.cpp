// The recording fake behind platform/platform.h for the host tests.
#include "tests/host/fake_platform.h"

#include <errno.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <deque>

#include "platform/platform.h"
#include "tests/host/fake_code_pages.h"

namespace fake {

State state;

// ---- Allocation counting. glibc lets a program replace malloc; operator new
// ends up here too.

static bool counting = false;
static size_t allocations = 0;
static thread_local int insideFake = 0;

// Marks the fake's own work, so that its recording does not count.
struct FakeCall {
  FakeCall() { ++insideFake; }
  ~FakeCall() { --insideFake; }
};

static void NoteAllocation() {
  if (counting && insideFake == 0) ++allocations;
}

void StartCountingAllocations() {
  allocations = 0;
  counting = true;
}

size_t StopCountingAllocations() {
  counting = false;
  return allocations;
}

// ---- Paths.

std::string Readable(const std::u16string& text) {
  std::string out;
  for (char16_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  return out;
}

static char16_t Lower(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + 32 : unit; }

static bool IsAbsolute(const std::u16string& path) {
  return path.size() >= 2 && path[1] == u':';
}

// The one spelling of a path: absolute, lower case, no empty, "." or ".."
// components, no trailing backslash.
static std::u16string Resolve(const std::u16string& path) {
  std::u16string full = IsAbsolute(path) ? path : std::u16string(kCurrentFolder) + u"\\" + path;
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find(u'\\', start);
    if (end == std::u16string::npos) end = full.size();
    std::u16string part = full.substr(start, end - start);
    std::transform(part.begin(), part.end(), part.begin(), Lower);
    if (part == u"..") {
      if (parts.size() > 1) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::u16string resolved;
  for (const std::u16string& part : parts) resolved += (resolved.empty() ? u"" : u"\\") + part;
  return resolved;
}

static std::u16string ParentOf(const std::u16string& resolved) {
  size_t slash = resolved.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : resolved.substr(0, slash);
}

static Entry* Find(const std::u16string& path) {
  auto it = state.entries.find(Resolve(path));
  return it == state.entries.end() ? nullptr : &it->second;
}

static bool HasChildren(const std::u16string& resolved) {
  for (const auto& [key, entry] : state.entries)
    if (ParentOf(key) == resolved) return true;
  return false;
}

static Entry& Add(const std::u16string& path, bool folder, uint32_t attributes) {
  std::u16string resolved = Resolve(path);
  std::u16string parent = ParentOf(resolved);
  if (!parent.empty() && state.entries.find(parent) == state.entries.end())
    AddFolder(parent);
  Entry& entry = state.entries[resolved];
  size_t slash = path.find_last_of(u'\\');
  entry.name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  entry.folder = folder;
  entry.attributes = attributes | (folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
  entry.order = state.nextOrder++;
  return entry;
}

Entry& AddFile(const std::u16string& path, uint32_t attributes) {
  return Add(path, false, attributes);
}

Entry& AddFolder(const std::u16string& path, uint32_t attributes) {
  return Add(path, true, attributes);
}

bool Exists(const std::u16string& path) { return Find(path) != nullptr; }

// The text up to its last backslash, or empty without one.
static std::u16string FolderOf(const std::u16string& path, bool withBackslash) {
  size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? u"" : path.substr(0, slash + (withBackslash ? 1 : 0));
}

Process& AddProcess(uint32_t id, const std::u16string& image, const std::u16string& finalImage) {
  // The launcher asks for the final path of the program's folder.
  if (!finalImage.empty())
    state.finalPaths[FolderOf(image, true)] = FolderOf(finalImage, false);
  state.processes.push_back(Process{});
  Process& process = state.processes.back();
  process.id = id;
  process.image = image;
  return process;
}

static Process* FindProcess(uint32_t id) {
  for (Process& process : state.processes)
    if (process.id == id) return &process;
  return nullptr;
}

// A process is listed once it was started, from the beginning or by its
// starter's end, until it has ended while the launcher waited for it.
static bool Listed(const Process& process) {
  if (process.gone || state.sleeps < process.listedAfterSleeps) return false;
  if (process.startedBy == 0) return true;
  const Process* starter = FindProcess(process.startedBy);
  return starter != nullptr && !starter->running;
}

void Reset() {
  state = State();
  AddFolder(kCurrentFolder);
}

std::vector<std::string> CallsOf(std::initializer_list<const char*> operations) {
  std::vector<std::string> selected;
  for (const std::string& call : state.calls)
    for (const char* operation : operations)
      if (call == operation ||
          call.compare(0, strlen(operation) + 1, std::string(operation) + " ") == 0)
        selected.push_back(call);
  return selected;
}

static void Record(const std::string& line) { state.calls.push_back(line); }

static std::u16string ToUtf16(uint32_t number) {
  std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace fake

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FAKE_UNDER_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FAKE_UNDER_ADDRESS_SANITIZER 1
#endif

#ifdef FAKE_UNDER_ADDRESS_SANITIZER
// The sanitizer owns malloc and would not take back a block that glibc gave;
// its allocation hook sees every block instead.
#include <sanitizer/allocator_interface.h>

static void OnAllocation(const volatile void*, size_t) { fake::NoteAllocation(); }
static void OnFree(const volatile void*) {}
static const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(OnAllocation, OnFree);
#else
extern "C" {
extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) {
  fake::NoteAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  fake::NoteAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  fake::NoteAllocation();
  return __libc_realloc(block, size);
}
void* memalign(size_t alignment, size_t size) {
  fake::NoteAllocation();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  fake::NoteAllocation();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, size_t alignment, size_t size) {
  fake::NoteAllocation();
  *block = __libc_memalign(alignment, size);
  return *block ? 0 : ENOMEM;
}
}
#endif

// ---- The platform layer.

using fake::FakeCall;
using fake::Readable;
using fake::Record;
using fake::state;

struct platform::KernelObject {
  std::u16string name;
  uint32_t processId = 0;  // a process's handle; 0: a mutex
};

// Every handle given out, freed at exit: a guard is never closed, as in the
// real launcher, and the leak checker must not take that for a leak.
static std::deque<platform::KernelObject> kernelObjects;

struct platform::ProcessSnapshot {
  std::vector<uint32_t> ids;
  size_t next = 0;
};

struct platform::FindEnumeration {
  std::u16string pattern;
  std::vector<std::pair<std::u16string, uint32_t>> entries;  // names and listed attributes
  size_t next = 0;
};

namespace platform {

const char16_t* GetCommandLineW() {
  FakeCall call;
  Record("GetCommandLineW");
  return state.commandLine;
}

void RestrictDllSearchToSystemFolder() {
  FakeCall call;
  Record("RestrictDllSearchToSystemFolder");
}

void MessageBoxW(const char16_t* text, const char16_t* caption) {
  FakeCall call;
  Record("MessageBoxW " + Readable(caption) + ": " + Readable(text));
}

void MessageBoxA(const char* text, const char* caption) {
  FakeCall call;
  Record(std::string("MessageBoxA ") + caption + ": " + text);
}

bool RunAndWait(const char* applicationName, char* commandLine, bool hidden,
                uint32_t* startError) {
  FakeCall call;
  Record(std::string("RunAndWait ") + applicationName + " | " + commandLine +
         (hidden ? " | hidden" : " | shown"));
  fake::Start start;
  if (state.startsMade < state.starts.size()) start = state.starts[state.startsMade];
  ++state.startsMade;
  if (start.fails) *startError = start.error;
  return !start.fails;
}

void Sleep(uint32_t milliseconds) {
  FakeCall call;
  ++state.sleeps;
  Record("Sleep " + std::to_string(milliseconds));
}

// The conversions are not recorded: they change nothing outside the launcher.
size_t WideCharToMultiByte(const char16_t* text, char* bytes, size_t room) {
  FakeCall call;
  return fake::WideCharToMultiByte(state.codePage, text, bytes, room);
}

size_t MultiByteToWideChar(const char* bytes, char16_t* text, size_t room) {
  FakeCall call;
  return fake::MultiByteToWideChar(state.codePage, bytes, text, room);
}

uint32_t GetSystemDirectoryA(char* buffer, uint32_t size, uint32_t* error) {
  FakeCall call;
  Record("GetSystemDirectoryA");
  if (state.systemDirectoryError != 0) {
    *error = state.systemDirectoryError;
    return 0;
  }
  if (state.systemDirectory.size() >= size) {
    *error = 122;  // ERROR_INSUFFICIENT_BUFFER
    return 0;
  }
  memcpy(buffer, state.systemDirectory.c_str(), state.systemDirectory.size() + 1);
  return static_cast<uint32_t>(state.systemDirectory.size());
}

void WriteStandardOutput(const char* text) {
  FakeCall call;
  Record(std::string("WriteStandardOutput ") + text);
}

uint32_t GetFileAttributesW(const char16_t* path) {
  FakeCall call;
  Record("GetFileAttributesW " + Readable(path));
  fake::Entry* entry = fake::Find(path);
  if (entry == nullptr || entry->attributesUnreadable) return INVALID_FILE_ATTRIBUTES;
  return entry->attributes;
}

bool MoveFileW(const char16_t* existingName, const char16_t* newName) {
  FakeCall call;
  Record("MoveFileW " + Readable(existingName) + " -> " + Readable(newName));
  fake::Entry* source = fake::Find(existingName);
  if (source == nullptr || source->folder || fake::Exists(newName)) return false;
  fake::Entry moved = *source;
  state.entries.erase(fake::Resolve(existingName));
  fake::AddFile(newName, moved.attributes);
  return true;
}

bool DeleteFileW(const char16_t* path) {
  FakeCall call;
  Record("DeleteFileW " + Readable(path));
  fake::Entry* entry = fake::Find(path);
  if (entry == nullptr || entry->folder || entry->undeletable) return false;
  state.entries.erase(fake::Resolve(path));
  return true;
}

bool RemoveDirectoryW(const char16_t* path) {
  FakeCall call;
  Record("RemoveDirectoryW " + Readable(path));
  fake::Entry* entry = fake::Find(path);
  // A folder link goes as the link alone, whatever its target holds.
  bool link = entry != nullptr && (entry->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (entry == nullptr || !entry->folder || (!link && fake::HasChildren(fake::Resolve(path))))
    return false;
  state.entries.erase(fake::Resolve(path));
  return true;
}

FindHandle FindFirstFileW(const char16_t* pattern, FindRecord* record) {
  FakeCall call;
  std::u16string text = pattern;
  Record("FindFirstFileW " + Readable(text));
  const std::u16string wildcard = u"\\*.*";
  if (text.size() < wildcard.size() || text.compare(text.size() - 4, 4, wildcard) != 0)
    return nullptr;
  std::u16string folder = fake::Resolve(text.substr(0, text.size() - 4));
  auto it = state.entries.find(folder);
  if (it == state.entries.end() || !it->second.folder) return nullptr;

  std::vector<const fake::Entry*> children;
  for (const auto& [key, entry] : state.entries)
    if (fake::ParentOf(key) == folder) children.push_back(&entry);
  std::sort(children.begin(), children.end(),
            [](const fake::Entry* a, const fake::Entry* b) { return a->order < b->order; });

  FindEnumeration* enumeration = new FindEnumeration;
  enumeration->pattern = text;
  enumeration->entries = {{u".", FILE_ATTRIBUTE_DIRECTORY}, {u"..", FILE_ATTRIBUTE_DIRECTORY}};
  // The listing gives an entry's attributes even where asking the entry
  // itself fails.
  for (const fake::Entry* child : children)
    enumeration->entries.emplace_back(child->name, child->attributes);
  FindNextFileW(enumeration, record);
  return enumeration;
}

bool FindNextFileW(FindHandle enumeration, FindRecord* record) {
  FakeCall call;
  if (enumeration->next == enumeration->entries.size()) return false;
  const auto& [name, attributes] = enumeration->entries[enumeration->next++];
  record->dwFileAttributes = attributes;
  size_t units = std::min(name.size(), static_cast<size_t>(MAX_PATH - 1));
  memcpy(record->cFileName, name.data(), units * sizeof(char16_t));
  record->cFileName[units] = 0;
  return true;
}

void FindClose(FindHandle enumeration) {
  FakeCall call;
  Record("FindClose " + Readable(enumeration->pattern));
  delete enumeration;
}

size_t GetFinalPath(const char16_t* path, char16_t* finalPath, size_t room) {
  FakeCall call;
  Record("GetFinalPath " + Readable(path));
  auto found = state.finalPaths.find(path);
  if (found == state.finalPaths.end() || found->second.size() >= room) return 0;
  memcpy(finalPath, found->second.c_str(), (found->second.size() + 1) * sizeof(char16_t));
  return found->second.size();
}

Handle CreateMutexW(const char16_t* name, uint32_t* error) {
  FakeCall call;
  Record("CreateMutexW " + Readable(name));
  if (state.mutexError != 0) {
    *error = state.mutexError;
    return nullptr;
  }
  kernelObjects.push_back(KernelObject{name});
  return &kernelObjects.back();
}

uint32_t WaitForSingleObject(Handle object, uint32_t milliseconds) {
  FakeCall call;
  Record("WaitForSingleObject " + Readable(object->name) + " " +
         (milliseconds == INFINITE ? std::string("INFINITE") : std::to_string(milliseconds)));
  if (object->processId != 0) {
    fake::Process* process = fake::FindProcess(object->processId);
    if (!process->running) return WAIT_OBJECT_0;
    if (milliseconds != INFINITE) return WAIT_TIMEOUT;
    // It ends, and leaves the list once the launcher lets go of it.
    if (process->waitResult == WAIT_OBJECT_0) process->running = false, process->gone = true;
    return process->waitResult;
  }
  auto other = state.otherMutexes.find(object->name);
  return other == state.otherMutexes.end() ? WAIT_OBJECT_0 : other->second;
}

void CloseHandle(Handle object) {
  FakeCall call;
  Record("CloseHandle " + Readable(object->name));
}

uint32_t GetCurrentProcessId() { return state.selfId; }

ProcessList CreateProcessSnapshot() {
  FakeCall call;
  Record("CreateProcessSnapshot");
  if (state.snapshotFails) return nullptr;
  ProcessSnapshot* snapshot = new ProcessSnapshot;
  for (const fake::Process& process : state.processes)
    if (fake::Listed(process)) snapshot->ids.push_back(process.id);
  return snapshot;
}

bool Process32FirstW(ProcessList processes, ProcessRecord* record) {
  FakeCall call;
  processes->next = 0;
  return Process32NextW(processes, record);
}

bool Process32NextW(ProcessList processes, ProcessRecord* record) {
  FakeCall call;
  if (processes->next == processes->ids.size()) return false;
  record->th32ProcessID = processes->ids[processes->next++];
  return true;
}

void CloseProcessSnapshot(ProcessList processes) {
  FakeCall call;
  Record("CloseProcessSnapshot");
  delete processes;
}

Handle OpenProcess(uint32_t processId) {
  FakeCall call;
  Record("OpenProcess " + std::to_string(processId));
  const fake::Process* process = fake::FindProcess(processId);
  if (process == nullptr || !process->opens) return nullptr;
  kernelObjects.push_back(KernelObject{u"process " + fake::ToUtf16(processId), processId});
  return &kernelObjects.back();
}

size_t QueryFullProcessImageNameW(Handle process, char16_t* path, size_t room) {
  FakeCall call;
  Record("QueryFullProcessImageNameW " + Readable(process->name));
  const fake::Process* found = fake::FindProcess(process->processId);
  const std::u16string& image = found->image;
  if (image.empty() || image.size() >= room) return 0;
  memcpy(path, image.c_str(), (image.size() + 1) * sizeof(char16_t));
  return image.size();
}

}  // namespace platform
