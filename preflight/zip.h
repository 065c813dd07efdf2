// A jar is a zip archive: its central directory, and the entries that the
// checks need, stored or deflated, with ZIP64 where a large jar needs it.
// Bounded: the directory and each entry read have a size limit, so a hostile
// archive (a zip bomb, sizes that point outside the file) gives a problem,
// never a crash, a hang or a read outside the input.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "preflight/input.h"

namespace preflight {

struct ZipEntry {
  std::string name;  // as the directory holds it, '/' between folders
  uint16_t flags = 0, method = 0;
  uint64_t compressedSize = 0, size = 0, localOffset = 0;
};

struct Zip {
  std::vector<ZipEntry> entries;
};

constexpr uint64_t kMaxDirectoryBytes = 256ull << 20;
constexpr size_t kMaxEntries = 2000000;

// Reads the archive's central directory; false with *problem when it is not a
// zip archive that Java could read.
bool ReadZip(const Input& input, Zip* zip, std::string* problem);

// The entry of that name, or null.
const ZipEntry* FindEntry(const Zip& zip, const std::string& name);

// The entry's bytes, at most limit of them; false with *problem when they
// cannot be had whole (damaged, encrypted, another method, or larger than
// limit once inflated).
bool ReadEntry(const Input& input, const ZipEntry& entry, size_t limit,
               std::vector<uint8_t>* data, std::string* problem);

// True when the name would leave the folder an archive is unpacked into: an
// absolute path, a drive, or a ".." step.
bool NameLeavesArchive(const std::string& name);

}  // namespace preflight
