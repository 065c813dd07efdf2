// One launcher per installation folder at a time: a second one must never
// move the log or empty the runtime under an installer that is still running.
#include "launcher/bounded_text.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

// Names in the session's own namespace, as Windows launchers do: launchers of
// other sign-in sessions are not seen, and nobody needs a right to make one.
static constexpr char16_t kGuardPrefix[] = u"Local\\QuellbrookSetup-";
static constexpr size_t kHashDigits = 16;
static_assert(sizeof kGuardPrefix / sizeof kGuardPrefix[0] + kHashDigits == kGuardNameSize,
              "the guard's name fills its buffer exactly");

// 64-bit FNV-1a over the UTF-16 units, ASCII letters folded to upper case.
// Windows gives one folder's final path in one letter case, but the server
// name of a network path may come as the drive was mapped; folding can only
// make two folders that differ by case alone (on a case-sensitive file
// system) share a guard, which refuses a launch and loses nothing.
static uint64_t HashPath(const char16_t* path) {
  uint64_t hash = 14695981039346656037ull;
  for (; *path != 0; ++path) {
    hash ^= UpperAscii(*path);
    hash *= 1099511628211ull;
  }
  return hash;
}

void BuildGuardName(const char16_t* finalPath, char16_t (&name)[kGuardNameSize]) {
  size_t length = 0;
  name[0] = 0;
  AppendText(name, kGuardNameSize, &length, kGuardPrefix);
  uint64_t hash = HashPath(finalPath);
  for (size_t digit = 0; digit < kHashDigits; ++digit)
    name[length++] = u"0123456789abcdef"[(hash >> (60 - 4 * digit)) & 0xF];
  name[length] = 0;
}

bool GetGuardName(const char16_t* folder, char16_t (&name)[kGuardNameSize]) {
  char16_t finalPath[kFinalPathRoom];
  if (platform::GetFinalPath(folder, finalPath, kFinalPathRoom) == 0) return false;
  BuildGuardName(finalPath, name);
  return true;
}

GuardOutcome TakeFolderGuard() {
  char16_t name[kGuardNameSize];
  if (!GetGuardName(u".", name)) return kGuardUnavailable;
  uint32_t error = 0;
  platform::Handle guard = platform::CreateMutexW(name, &error);
  // The guard exists, but its access list does not let this launcher open
  // it: another launcher holds it, started elevated ("Run as administrator")
  // or as another user, whose guard grants only Administrators, SYSTEM or
  // that user. It is held all the same.
  if (guard == nullptr)
    return error == ERROR_ACCESS_DENIED ? kGuardHeldElsewhere : kGuardUnavailable;
  uint32_t waited = platform::WaitForSingleObject(guard, 0);
  // A launcher that was killed left the guard abandoned: it is this one's now.
  // The handle stays open, and the process's end lets go of the guard.
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return kGuardTaken;
  platform::CloseHandle(guard);
  return waited == WAIT_TIMEOUT ? kGuardHeldElsewhere : kGuardUnavailable;
}
