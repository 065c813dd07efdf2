// The cleanup of jre: what goes, what stays, links removed as links; and the
// log, moved one folder up and never over an earlier one.
#include <stdio.h>
#include <wchar.h>

#include "check/promises.h"

// The cleanup's tree below jre, besides bin\javaw.exe.
namespace {

const wchar_t* const kRuntimeFiles[] = {L"lib\\modules", L"lib\\deep\\er\\est\\file.txt",
                                        L"legal\\java.base\\LICENSE"};
const wchar_t* const kCanaryFiles[] = {L"a.txt", L"sub\\b.txt"};
constexpr char kCanary[] = "a file outside jre\r\n";
constexpr char kReadOnly[] = "a read-only file\r\n";

struct Link {
  const wchar_t* name;    // below jre, and its canary folder below the case folder
  const wchar_t* line;
  bool (*make)(const wchar_t*, const wchar_t*, wchar_t (&)[256]);
  bool made;
  wchar_t why[256];
};

Link links[] = {
    {L"junction", L"folder junction", MakeJunction, false, L""},
    {L"symlink", L"folder symbolic link", MakeFolderSymbolicLink, false, L""},
};

constexpr char kEarlierLog[] = "an earlier installation's log\r\n";

}  // namespace

bool PrepareCleanup(Case* c, Case* whole, HANDLE* held) {
  // Nothing in this one's jre may stay, so jre ends empty: a launcher that
  // removed jre itself shows only here.
  bool ready = LayOut(whole, L"cleanup-whole", true);
  for (const wchar_t* file : kRuntimeFiles) ready &= Put(whole->jre, file, "runtime file\r\n");
  ready &= Put(whole->jre, L"lib\\hidden.txt", "hidden\r\n", FILE_ATTRIBUTE_HIDDEN);
  ready &= LayOut(c, L"cleanup", true);
  for (const wchar_t* file : kRuntimeFiles) ready &= Put(c->jre, file, "runtime file\r\n");
  ready &= Put(c->jre, L"lib\\hidden.txt", "hidden\r\n", FILE_ATTRIBUTE_HIDDEN) &&
           Put(c->jre, L"lib\\system.dat", "system\r\n", FILE_ATTRIBUTE_SYSTEM) &&
           Put(c->jre, L"hidden-folder\\inside.txt", "inside\r\n") &&
           Put(c->jre, L"keep\\ro\\readonly.txt", kReadOnly, FILE_ATTRIBUTE_READONLY) &&
           Put(c->jre, L"held\\file.txt", "held open\r\n");
  wchar_t path[kPathRoom], target[kPathRoom];
  ready &= JoinPath(path, c->jre, L"hidden-folder") &&
           SetFileAttributesW(path, FILE_ATTRIBUTE_HIDDEN) &&
           JoinPath(path, c->jre, L"ro-folder") && CreateDirectoryW(path, nullptr) &&
           SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY);
  for (Link& link : links) {
    wchar_t canary[64];
    swprintf(canary, 64, L"%ls-canary", link.name);
    for (const wchar_t* file : kCanaryFiles) {
      JoinPath(path, canary, file);
      ready &= Put(c->root, path, kCanary);
    }
    ready &= JoinPath(path, c->jre, link.name) && JoinPath(target, c->root, canary);
    link.made = ready && link.make(path, target, link.why);
  }
  // Held open as a virus scanner holds a file: deleting it is allowed.
  ready &= JoinPath(path, c->jre, L"held\\file.txt");
  *held = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
  return ready && *held != INVALID_HANDLE_VALUE;
}

// The entries left in jre but the expected ones, each after a blank; empty
// when there are none.
template <size_t kExpected>
static void ListLeft(const wchar_t* jre, const wchar_t* const (&expected)[kExpected],
                     wchar_t (&left)[kPathRoom]) {
  left[0] = 0;
  wchar_t pattern[kPathRoom];
  WIN32_FIND_DATAW found;
  JoinPath(pattern, jre, L"*");
  HANDLE listing = FindFirstFileW(pattern, &found);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    bool known = false;
    for (const wchar_t* name : expected) known |= wcscmp(found.cFileName, name) == 0;
    if (!known) swprintf(left + wcslen(left), kPathRoom - wcslen(left), L" %ls", found.cFileName);
  } while (FindNextFileW(listing, &found));
  FindClose(listing);
}

void CheckCleanup(const Case& c, const Case& whole, HANDLE held) {
  if (!Ran(c, L"cleanup")) {
    // Nothing can be told of what the cleanup does, nor of this Windows.
    for (const Link& link : links) Ran(c, link.line);
    Ran(c, L"log move");
    CloseHandle(held);
    return;
  }
  const wchar_t* const staying[] = {L".", L"..", L"keep", L"ro-folder", L"held", L"junction",
                                    L"symlink"};
  const wchar_t* const none[] = {L".", L".."};
  wchar_t left[kPathRoom], leftWhole[kPathRoom];
  ListLeft(c.jre, staying, left);
  ListLeft(whole.jre, none, leftWhole);
  if (!Ran(whole, L"cleanup")) {
    // That run said what happened instead.
  } else if (!Exists(c.jre) || !Exists(whole.jre))
    Report(kFail, L"cleanup", L"jre itself was removed");
  else if (leftWhole[0] != 0)
    Report(kFail, L"cleanup", L"left in a jre that could be emptied whole:%ls", leftWhole);
  else if (left[0] != 0)
    Report(kFail, L"cleanup", L"left in jre:%ls", left);
  else if (!Holds(c.jre, L"keep\\ro\\readonly.txt", kReadOnly))
    Report(kFail, L"cleanup", L"the read-only file jre\\keep\\ro\\readonly.txt is gone");
  else
    Report(kPass, L"cleanup");

  for (const Link& link : links) {
    wchar_t canary[kPathRoom];
    bool kept = true;
    for (const wchar_t* file : kCanaryFiles) {
      swprintf(canary, kPathRoom, L"%ls-canary\\%ls", link.name, file);
      kept &= Holds(c.root, canary, kCanary);
    }
    if (!link.made && kept)
      Report(kNotHere, link.line, L"%ls", link.why);
    else if (!kept)
      Report(kFail, link.line, L"files of the folder it pointed at, outside jre, were deleted");
    else if (There(c.jre, link.name))
      Report(kFail, link.line, L"the link is still in jre");
    else
      Report(kPass, link.line);
  }
  Report(kFact, L"read-only folder",
         There(c.jre, L"ro-folder") ? L"stayed (Windows refuses to remove it)"
                                    : L"removed (this Windows removes a read-only folder)");
  Report(kFact, L"folder of a file held open with delete sharing",
         There(c.jre, L"held") ? L"stayed (the file was deleted only when its last handle closed)"
                               : L"removed (the file's name went at once)");
  CloseHandle(held);

  if (!There(c.install, L"quellbrook-install.log") && There(c.root, L"quellbrook-install.log"))
    Report(kPass, L"log move");
  else
    Report(kFail, L"log move", L"the log was not moved one folder up");
}

bool PrepareLogKept(Case* c) {
  return LayOut(c, L"log-kept", true) && Put(c->root, L"quellbrook-install.log", kEarlierLog);
}

void CheckLogKept(const Case& c) {
  if (!Ran(c, L"log never replaced")) return;
  if (Holds(c.root, L"quellbrook-install.log", kEarlierLog) &&
      There(c.install, L"quellbrook-install.log"))
    Report(kPass, L"log never replaced");
  else
    Report(kFail, L"log never replaced", L"a log already in the parent folder was replaced");
}
