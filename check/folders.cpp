// The check's throw-away folders: files, copies, links, and their removal.
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "check/setup_check.h"
#include "launcher/bounded_text.h"

bool JoinPath(wchar_t (&out)[kPathRoom], const wchar_t* base, const wchar_t* name) {
  size_t length = 0;
  out[0] = 0;
  return AppendText(out, kPathRoom, &length, base) && AppendText(out, kPathRoom, &length, L"\\") &&
         AppendText(out, kPathRoom, &length, name);
}

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool WriteTextFile(const wchar_t* path, const char* text) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL done = WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  CloseHandle(file);
  return done && written == strlen(text);
}

bool ReadTextFile(const wchar_t* path, char* text, size_t room) {
  text[0] = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD read = 0;
  BOOL done = ReadFile(file, text, static_cast<DWORD>(room - 1), &read, nullptr);
  CloseHandle(file);
  text[read] = 0;
  return done && read < room - 1;
}

bool MakeFolders(const wchar_t* path) {
  wchar_t partial[kPathRoom];
  size_t length = wcslen(path);
  if (length >= kPathRoom) return false;
  for (size_t end = 1; end <= length; ++end) {
    if (end < length && path[end] != L'\\') continue;
    wmemcpy(partial, path, end);
    partial[end] = 0;
    // A drive, "C:", is no folder to make.
    if (partial[end - 1] != L':' && !Exists(partial) && !CreateDirectoryW(partial, nullptr))
      return false;
  }
  return true;
}

void RemoveTree(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path);
    return;
  }
  // A folder link goes as the link: what it points at is not the check's.
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    wchar_t pattern[kPathRoom], entry[kPathRoom];
    WIN32_FIND_DATAW found;
    HANDLE listing = JoinPath(pattern, path, L"*") ? FindFirstFileW(pattern, &found)
                                                   : INVALID_HANDLE_VALUE;
    if (listing != INVALID_HANDLE_VALUE) {
      do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0 &&
            JoinPath(entry, path, found.cFileName))
          RemoveTree(entry);
      } while (FindNextFileW(listing, &found));
      FindClose(listing);
    }
  }
  RemoveDirectoryW(path);
}

bool CopyAsWindowedProgram(const wchar_t* program, const wchar_t* copy) {
  if (!CopyFileW(program, copy, FALSE)) return false;
  HANDLE file = CreateFileW(copy, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The PE header starts where the DOS header's e_lfanew (at 0x3C) says; its
  // Subsystem field lies 4 + 20 + 68 bytes further, in PE32 and PE32+ alike.
  // Windows checks no checksum of a program, so only the subsystem changes.
  LONG header = 0;
  DWORD done = 0;
  WORD windowed = IMAGE_SUBSYSTEM_WINDOWS_GUI;
  bool patched = SetFilePointer(file, 0x3C, nullptr, FILE_BEGIN) == 0x3C &&
                 ReadFile(file, &header, sizeof header, &done, nullptr) && done == sizeof header &&
                 SetFilePointer(file, header + 4 + 20 + 68, nullptr, FILE_BEGIN) !=
                     INVALID_SET_FILE_POINTER &&
                 WriteFile(file, &windowed, sizeof windowed, &done, nullptr) &&
                 done == sizeof windowed;
  CloseHandle(file);
  return patched;
}

static bool IsFolderLink(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

// The mount-point form of REPARSE_DATA_BUFFER, which only the driver kit's
// headers declare: the target's NT path, then the name to show, each
// zero-terminated.
struct MountPointReparseBuffer {
  DWORD ReparseTag;
  WORD ReparseDataLength;
  WORD Reserved;
  WORD SubstituteNameOffset;
  WORD SubstituteNameLength;
  WORD PrintNameOffset;
  WORD PrintNameLength;
  wchar_t PathBuffer[2 * kPathRoom + 8];
};

bool MakeJunction(const wchar_t* link, const wchar_t* target, wchar_t (&why)[256]) {
  if (!CreateDirectoryW(link, nullptr)) {
    swprintf(why, 256, L"its folder cannot be made (error %lu)", GetLastError());
    return false;
  }
  MountPointReparseBuffer buffer = {};
  const size_t targetLength = wcslen(target);
  buffer.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
  buffer.SubstituteNameLength = static_cast<WORD>((4 + targetLength) * sizeof(wchar_t));
  buffer.PrintNameOffset = static_cast<WORD>(buffer.SubstituteNameLength + sizeof(wchar_t));
  buffer.PrintNameLength = static_cast<WORD>(targetLength * sizeof(wchar_t));
  wmemcpy(buffer.PathBuffer, L"\\??\\", 4);
  wmemcpy(buffer.PathBuffer + 4, target, targetLength + 1);
  wmemcpy(buffer.PathBuffer + 5 + targetLength, target, targetLength + 1);
  buffer.ReparseDataLength =
      static_cast<WORD>(8 + buffer.PrintNameOffset + buffer.PrintNameLength + sizeof(wchar_t));
  HANDLE folder = CreateFileW(link, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD done = 0, error = 0;
  bool made = folder != INVALID_HANDLE_VALUE &&
              DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &buffer,
                              8 + buffer.ReparseDataLength, nullptr, 0, &done, nullptr);
  if (!made) error = GetLastError();
  if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
  if (made && IsFolderLink(link)) return true;
  RemoveDirectoryW(link);
  if (made)
    swprintf(why, 256, L"Windows said it made one, but there is none");
  else
    swprintf(why, 256, L"this machine cannot make one (error %lu)", error);
  return false;
}

bool MakeFolderSymbolicLink(const wchar_t* link, const wchar_t* target, wchar_t (&why)[256]) {
  // Without elevation only developer mode lets a program make one, and only
  // with this flag, which Windows before 10 1703 refuses as a bad parameter.
  const DWORD unprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  BOOL made = CreateSymbolicLinkW(link, target, SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged);
  DWORD error = made ? 0 : GetLastError();
  if (!made && error == ERROR_INVALID_PARAMETER) {
    made = CreateSymbolicLinkW(link, target, SYMBOLIC_LINK_FLAG_DIRECTORY);
    error = made ? 0 : GetLastError();
  }
  if (made && IsFolderLink(link)) return true;
  if (made)
    swprintf(why, 256, L"Windows said it made one, but there is none");
  else if (error == ERROR_PRIVILEGE_NOT_HELD)
    swprintf(why, 256, L"no right to make one (error 1314): run as administrator, or turn on "
                       L"developer mode");
  else
    swprintf(why, 256, L"this machine cannot make one (error %lu)", error);
  return false;
}
