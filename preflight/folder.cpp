#include "preflight/folder.h"

#include <ctype.h>

#include <algorithm>

namespace preflight {

std::string Utf8(const fs::path& path) {
#ifdef _WIN32
  return path.u8string();
#else
  return path.native();
#endif
}

size_t Utf16Length(const fs::path& name) {
#ifdef _WIN32
  return name.native().size();
#else
  // UTF-8 into UTF-16 units: a lead byte of four bytes gives a surrogate
  // pair; a stray byte counts as one unit.
  size_t units = 0;
  for (unsigned char c : name.native()) {
    if ((c & 0xC0) != 0x80) ++units;
    if (c >= 0xF0) ++units;
  }
  return units;
#endif
}

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool IsFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

FILE* OpenForReading(const fs::path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"rb");
#else
  return fopen(path.c_str(), "rb");
#endif
}

uint64_t SizeOf(const fs::path& path) {
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  return error ? 0 : size;
}

bool ReadFile(const fs::path& path, size_t limit, std::vector<uint8_t>* bytes,
              std::string* problem) {
  bytes->clear();
  const uint64_t size = SizeOf(path);
  if (size > limit) {
    *problem = "it is larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  FILE* file = OpenForReading(path);
  if (file == nullptr) {
    *problem = "it cannot be opened";
    return false;
  }
  bytes->resize(static_cast<size_t>(size));
  const bool read = fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
  fclose(file);
  if (!read) *problem = "it cannot be read";
  return read;
}

bool ListFolder(const fs::path& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  std::error_code error;
  fs::directory_iterator it(folder, error), end;
  if (error) return false;
  for (; it != end && entries->size() < kMaxWalkEntries; it.increment(error)) {
    if (error) return false;
    FolderEntry entry;
    entry.path = it->path();
    entry.name = Utf8(it->path().filename());
    entry.folder = it->is_directory(error) && !it->is_symlink(error);
    entries->push_back(std::move(entry));
  }
  std::sort(entries->begin(), entries->end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return !error;
}

namespace {

bool EndsWithAnyCase(const std::string& name, const std::string& suffix) {
  if (name.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (tolower(static_cast<unsigned char>(name[name.size() - suffix.size() + i])) !=
        tolower(static_cast<unsigned char>(suffix[i])))
      return false;
  return true;
}

}  // namespace

std::vector<std::string> FindBelow(const fs::path& folder, const std::string& suffix, int depth) {
  std::vector<std::string> found;
  struct Level {
    fs::path path;
    std::string relative;
    int depth;
  };
  std::vector<Level> stack = {{folder, "", 0}};
  size_t seen = 0;
  while (!stack.empty() && seen < kMaxWalkEntries) {
    Level level = stack.back();
    stack.pop_back();
    std::vector<FolderEntry> entries;
    if (!ListFolder(level.path, &entries)) continue;
    for (const FolderEntry& entry : entries) {
      ++seen;
      const std::string relative = level.relative.empty() ? entry.name : level.relative + "\\" + entry.name;
      if (entry.folder && level.depth < depth)
        stack.push_back({entry.path, relative, level.depth + 1});
      else if (!entry.folder && level.depth > 0 && EndsWithAnyCase(entry.name, suffix))
        found.push_back(relative);
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

RuntimePaths MeasureRuntime(const fs::path& jre) {
  RuntimePaths measured;
  struct Level {
    fs::path path;
    std::string written;  // "jre\lib"
    size_t units;
    int depth;
  };
  auto consider = [&measured](const std::string& written, size_t units) {
    if (units > measured.longest) {
      measured.longest = units;
      measured.longestPath = written;
    }
  };
  std::vector<Level> stack = {{jre, "jre", 3, 0}};
  while (!stack.empty()) {
    Level level = stack.back();
    stack.pop_back();
    consider(level.written + "\\*.*", level.units + 4);
    std::vector<FolderEntry> entries;
    if (!ListFolder(level.path, &entries)) continue;
    for (const FolderEntry& entry : entries) {
      if (++measured.entries > kMaxWalkEntries) {
        measured.complete = false;
        return measured;
      }
      const std::string written = level.written + "\\" + entry.name;
      const size_t units = level.units + 1 + Utf16Length(entry.path.filename());
      consider(written, units);
      if (!entry.folder) continue;
      if (level.depth + 1 >= kMaxWalkDepth) {
        measured.complete = false;
        continue;
      }
      stack.push_back({entry.path, written, units, level.depth + 1});
    }
  }
  return measured;
}

}  // namespace preflight
