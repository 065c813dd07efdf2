// The installation has ended only when the runtime's last program has ended.
// An IzPack installer may hand over to another program of its own runtime and
// end: a copy of itself restarted with administrator rights, or the helper
// that removes its native libraries once it is gone. Emptying jre under
// either would take runtime files that it has yet to open.
#include "launcher/bounded_text.h"
#include "launcher/installation.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

// True when path is folder or lies below it, at any depth. Both are final
// paths, so they are spelt alike; ASCII letters are compared without case all
// the same, as the guard's name does. A sibling whose name only begins like
// the folder's ("jre-old" for "jre") is not below it.
static bool IsOrLiesBelow(const char16_t* path, const char16_t* folder) {
  size_t length = 0;
  for (; folder[length] != 0; ++length)
    if (UpperAscii(path[length]) != UpperAscii(folder[length])) return false;
  // A volume's root ends in its own backslash.
  const bool endsInSeparator = length > 0 && folder[length - 1] == u'\\';
  return length > 0 && (path[length] == 0 || path[length] == u'\\' || endsInSeparator);
}

// What one look has learnt of the folders that programs run from. Most
// programs run from a few folders, the system folder above all, and a final
// path is costly: each folder's is asked for once. A folder spelt longer than
// MAX_PATH units is asked for every time.
constexpr size_t kKnownFolders = 16;
struct KnownFolders {
  char16_t spelling[kKnownFolders][MAX_PATH];
  bool inRuntime[kKnownFolders];
  size_t count;
};

// True when the folder, spelt as a program was started from it and ending in
// a backslash, is the runtime folder or lies in it. A program is judged by its
// folder: only a program file that is itself a link, outside jre, to a
// program in it would be judged wrongly, and no runtime is laid out so.
static bool FolderInRuntime(const char16_t* folder, const char16_t* runtime,
                            KnownFolders* known) {
  for (size_t i = 0; i < known->count; ++i)
    if (SameText(known->spelling[i], folder)) return known->inRuntime[i];
  char16_t finalFolder[kFinalPathRoom];
  const bool inRuntime = platform::GetFinalPath(folder, finalFolder, kFinalPathRoom) != 0 &&
                         IsOrLiesBelow(finalFolder, runtime);
  size_t length = 0;
  if (known->count < kKnownFolders &&
      AppendText(known->spelling[known->count], MAX_PATH, &length, folder))
    known->inRuntime[known->count++] = inRuntime;
  return inRuntime;
}

// True when the process still runs a program from the runtime folder.
static bool RunsFromRuntime(platform::Handle process, const char16_t* runtime,
                            KnownFolders* known) {
  char16_t image[kFinalPathRoom];
  size_t length = platform::QueryFullProcessImageNameW(process, image, kFinalPathRoom);
  while (length > 0 && image[length - 1] != u'\\') --length;
  if (length == 0) return false;
  image[length] = 0;  // the program's folder, its backslash kept: "C:" alone is no folder
  return FolderInRuntime(image, runtime, known) &&
         // Ended, but still listed while somebody holds a handle to it.
         platform::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

// One look at every running process: the first one that runs a program from
// the runtime folder, opened for the wait; null when there is none.
static platform::Handle FindRuntimeProgram(const char16_t* runtime) {
  platform::ProcessList processes = platform::CreateProcessSnapshot();
  if (processes == nullptr) return nullptr;
  // setup.exe itself may lie in jre, and must not wait for its own end.
  const uint32_t self = platform::GetCurrentProcessId();
  KnownFolders known;
  known.count = 0;
  platform::Handle found = nullptr;
  platform::ProcessRecord record;
  for (bool more = platform::Process32FirstW(processes, &record); more && found == nullptr;
       more = platform::Process32NextW(processes, &record)) {
    if (record.th32ProcessID == self) continue;
    platform::Handle process = platform::OpenProcess(record.th32ProcessID);
    if (process == nullptr) continue;
    if (RunsFromRuntime(process, runtime, &known))
      found = process;
    else
      platform::CloseHandle(process);
  }
  platform::CloseProcessSnapshot(processes);
  return found;
}

bool WaitForRuntimePrograms() {
  char16_t runtime[kFinalPathRoom];
  // No jre: nothing can run from it.
  if (platform::GetFinalPath(kRuntimeFolder, runtime, kFinalPathRoom) == 0) return false;
  // A program may start another one of the runtime before it ends: look
  // again after each end, until none is left.
  for (bool waited = false;; waited = true) {
    platform::Handle program = FindRuntimeProgram(runtime);
    if (program == nullptr) return waited;
    uint32_t result = platform::WaitForSingleObject(program, INFINITE);
    platform::CloseHandle(program);
    // A wait that failed would find the same program again at once, for ever.
    if (result != WAIT_OBJECT_0) return false;
  }
}
