// Emptying the runtime folder: a depth-first walk over fixed buffers.
#include "launcher/bounded_text.h"
#include "launcher/launcher.h"
#include "platform/platform.h"

static constexpr uint32_t kFolderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

static bool IsDotOrDotDot(const char16_t* name) {
  return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
}

// One entry of a folder being cleared, by its path and the attributes that
// the folder's listing gave it.
static void ClearEntry(const char16_t* path, uint32_t listed, const char16_t* root) {
  // Asked afresh: the listing's attributes may be stale.
  uint32_t attributes = platform::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Unknown now, but a link by the listing, which needs no right on the
    // entry: a walk would go through it into a tree outside this one. It
    // stays as it is.
    if ((listed & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return;
    // Otherwise never deleted as a file. If it is a file after all, its
    // enumeration and its removal as a folder both fail, and it stays.
    ClearFolderTree(path, root);
  } else if ((attributes & kFolderLink) == kFolderLink) {
    // A junction or folder symbolic link: Windows removes the link itself,
    // and what it points at lies outside this tree.
    platform::RemoveDirectoryW(path);
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ClearFolderTree(path, root);
  } else {
    // A read-only file stays read-only, and stays.
    platform::DeleteFileW(path);
  }
}

void ClearFolderTree(const char16_t* path, const char16_t* root) {
  const bool isRoot = SameText(path, root);
  if (isRoot) {
    // A root that is itself a link holds a runtime living elsewhere.
    uint32_t attributes = platform::GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      return;
  }

  // The buffer holds the search pattern, then each entry's path. A folder
  // whose pattern would not fit stays as it is, and so does an entry whose
  // path would not: nothing is done with a shortened path.
  char16_t buffer[MAX_PATH];
  size_t length = 0;
  if (!AppendText(buffer, MAX_PATH, &length, path) ||
      !AppendText(buffer, MAX_PATH, &length, u"\\*.*"))
    return;
  const size_t folderLength = length - 3;  // path and one backslash

  platform::FindRecord record;
  platform::FindHandle enumeration = platform::FindFirstFileW(buffer, &record);
  if (enumeration != nullptr) {
    do {
      if (IsDotOrDotDot(record.cFileName)) continue;
      length = folderLength;
      buffer[length] = 0;
      if (AppendText(buffer, MAX_PATH, &length, record.cFileName)) ClearEntry(buffer, record.dwFileAttributes, root);
    } while (platform::FindNextFileW(enumeration, &record));
    // The enumeration holds the folder open: close it before the removal.
    platform::FindClose(enumeration);
  }

  if (!isRoot) platform::RemoveDirectoryW(path);
}
