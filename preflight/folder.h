// The installation folder, read and never changed: files read whole up to a
// limit, files opened for reading at offsets, the folder's own entries, and
// the walk of jre, which never follows a link and is bounded in depth and in
// entries. Paths in lines are written relative to the folder, with
// backslashes, as Windows names them.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

namespace preflight {

namespace fs = std::filesystem;

// The path as UTF-8, and the length in UTF-16 units that Windows counts.
std::string Utf8(const fs::path& path);
size_t Utf16Length(const fs::path& name);

bool IsFile(const fs::path& path);
bool IsFolder(const fs::path& path);

// The whole file, at most limit bytes; false with *problem otherwise.
bool ReadFile(const fs::path& path, size_t limit, std::vector<uint8_t>* bytes,
              std::string* problem);
// The file opened for reading; null when it cannot be opened.
FILE* OpenForReading(const fs::path& path);
uint64_t SizeOf(const fs::path& path);

struct FolderEntry {
  fs::path path;
  std::string name;  // UTF-8
  bool folder = false;
};
// The folder's own entries, sorted by name; false when it cannot be listed.
bool ListFolder(const fs::path& folder, std::vector<FolderEntry>* entries);

// Files below folder (not in it) whose names end in suffix, in any letter
// case, at most depth
// levels down, as relative paths with backslashes.
std::vector<std::string> FindBelow(const fs::path& folder, const std::string& suffix, int depth);

constexpr int kMaxWalkDepth = 200;
constexpr size_t kMaxWalkEntries = 2000000;

// The longest path that the cleanup of jre builds, relative to the
// installation folder: an entry's "jre\...\name", or a folder's search
// pattern "jre\...\*.*".
struct RuntimePaths {
  size_t longest = 0;      // in UTF-16 units
  std::string longestPath; // as it is written
  size_t entries = 0;
  bool complete = true;    // false when the walk stopped at one of its bounds
};
RuntimePaths MeasureRuntime(const fs::path& jre);

}  // namespace preflight
