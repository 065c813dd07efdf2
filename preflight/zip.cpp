// The zip format as PKWARE's APPNOTE describes it: the end of the central
// directory record, its ZIP64 form, the central directory's file headers with
// their ZIP64 extra field, and each entry's local header.
#include "preflight/zip.h"

#include <zlib.h>

#include <algorithm>

namespace preflight {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50, kZip64EndSignature = 0x06064b50,
                   kZip64LocatorSignature = 0x07064b50, kFileSignature = 0x02014b50,
                   kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22, kLocatorSize = 20, kZip64EndSize = 56, kFileSize = 46,
                 kLocalSize = 30;

// The end of central directory record's offset: the last signature within
// the record's size and the longest comment from the end.
bool FindEnd(const Input& input, uint64_t* at) {
  if (input.size < kEndSize) return false;
  const uint64_t span = std::min<uint64_t>(input.size, kEndSize + 0xFFFF);
  std::vector<uint8_t> tail(span);
  if (!ReadAt(input, input.size - span, tail.data(), span)) return false;
  for (size_t i = span - kEndSize + 1; i-- > 0;) {
    if (Le32(&tail[i]) == kEndSignature) {
      *at = input.size - span + i;
      return true;
    }
  }
  return false;
}

struct Directory {
  uint64_t entries, size, offset;
};

bool ReadDirectoryPlace(const Input& input, Directory* directory, std::string* problem) {
  uint64_t end = 0;
  uint8_t record[kEndSize];
  if (!FindEnd(input, &end) || !ReadAt(input, end, record, kEndSize)) {
    *problem = "no end of central directory: not a zip archive, or cut short";
    return false;
  }
  if (Le16(record + 4) != 0 || Le16(record + 6) != 0) {
    *problem = "an archive split over several disks";
    return false;
  }
  directory->entries = Le16(record + 10);
  directory->size = Le32(record + 12);
  directory->offset = Le32(record + 16);
  const bool zip64 = directory->entries == 0xFFFF || directory->size == 0xFFFFFFFF ||
                     directory->offset == 0xFFFFFFFF;
  uint8_t locator[kLocatorSize];
  if (end >= kLocatorSize && ReadAt(input, end - kLocatorSize, locator, kLocatorSize) &&
      Le32(locator) == kZip64LocatorSignature) {
    uint8_t record64[kZip64EndSize];
    if (!ReadAt(input, Le64(locator + 8), record64, kZip64EndSize) ||
        Le32(record64) != kZip64EndSignature) {
      *problem = "its ZIP64 end of central directory is damaged";
      return false;
    }
    directory->entries = Le64(record64 + 32);
    directory->size = Le64(record64 + 40);
    directory->offset = Le64(record64 + 48);
  } else if (zip64) {
    *problem = "it needs ZIP64 and has no ZIP64 end of central directory";
    return false;
  }
  if (directory->offset > input.size || directory->size > input.size - directory->offset) {
    *problem = "its central directory lies outside the file";
    return false;
  }
  if (directory->size > kMaxDirectoryBytes || directory->entries > kMaxEntries) {
    *problem = "its central directory is larger than " + SizeText(kMaxDirectoryBytes) + " or " +
               std::to_string(kMaxEntries) + " entries";
    return false;
  }
  return true;
}

// The ZIP64 extra field's values, for the fields whose 32 bits are all set.
bool ApplyZip64(const uint8_t* extra, size_t length, ZipEntry* entry, bool wideSize,
                bool wideCompressed, bool wideOffset) {
  for (size_t at = 0; at + 4 <= length;) {
    const uint16_t id = Le16(extra + at), size = Le16(extra + at + 2);
    if (at + 4 + size > length) return false;
    if (id == 0x0001) {
      const uint8_t* value = extra + at + 4;
      size_t left = size;
      for (auto [wide, field] : {std::pair<bool, uint64_t*>{wideSize, &entry->size},
                                 {wideCompressed, &entry->compressedSize},
                                 {wideOffset, &entry->localOffset}}) {
        if (!wide) continue;
        if (left < 8) return false;
        *field = Le64(value);
        value += 8;
        left -= 8;
      }
      return true;
    }
    at += 4 + size;
  }
  return !(wideSize || wideCompressed || wideOffset);
}

}  // namespace

bool ReadZip(const Input& input, Zip* zip, std::string* problem) {
  zip->entries.clear();
  Directory directory;
  if (!ReadDirectoryPlace(input, &directory, problem)) return false;
  std::vector<uint8_t> bytes(directory.size);
  if (!ReadAt(input, directory.offset, bytes.data(), bytes.size())) {
    *problem = "its central directory cannot be read";
    return false;
  }
  size_t at = 0;
  for (uint64_t i = 0; i < directory.entries; ++i) {
    if (bytes.size() - at < kFileSize || Le32(&bytes[at]) != kFileSignature) {
      *problem = "its central directory is damaged at entry " + std::to_string(i + 1);
      return false;
    }
    const uint8_t* header = &bytes[at];
    const size_t nameLength = Le16(header + 28), extraLength = Le16(header + 30),
                 commentLength = Le16(header + 32);
    if (bytes.size() - at - kFileSize < nameLength + extraLength + commentLength) {
      *problem = "its central directory is cut short at entry " + std::to_string(i + 1);
      return false;
    }
    ZipEntry entry;
    entry.flags = Le16(header + 8);
    entry.method = Le16(header + 10);
    entry.compressedSize = Le32(header + 20);
    entry.size = Le32(header + 24);
    entry.localOffset = Le32(header + 42);
    entry.name.assign(reinterpret_cast<const char*>(header + kFileSize), nameLength);
    if (!ApplyZip64(header + kFileSize + nameLength, extraLength, &entry,
                    entry.size == 0xFFFFFFFF, entry.compressedSize == 0xFFFFFFFF,
                    entry.localOffset == 0xFFFFFFFF)) {
      *problem = "the ZIP64 sizes of " + entry.name + " are damaged";
      return false;
    }
    zip->entries.push_back(std::move(entry));
    at += kFileSize + nameLength + extraLength + commentLength;
  }
  return true;
}

const ZipEntry* FindEntry(const Zip& zip, const std::string& name) {
  for (const ZipEntry& entry : zip.entries)
    if (entry.name == name) return &entry;
  return nullptr;
}

bool ReadEntry(const Input& input, const ZipEntry& entry, size_t limit,
               std::vector<uint8_t>* data, std::string* problem) {
  data->clear();
  uint8_t local[kLocalSize];
  if (!ReadAt(input, entry.localOffset, local, kLocalSize) || Le32(local) != kLocalSignature) {
    *problem = entry.name + " has no local header where the directory says";
    return false;
  }
  const uint64_t start = entry.localOffset + kLocalSize + Le16(local + 26) + Le16(local + 28);
  if (start > input.size || entry.compressedSize > input.size - start) {
    *problem = entry.name + " runs past the end of the file";
    return false;
  }
  if ((entry.flags & 1) != 0) {
    *problem = entry.name + " is encrypted";
    return false;
  }
  if (entry.size > limit) {
    *problem = entry.name + " is larger than " + SizeText(limit);
    return false;
  }
  if (entry.method == 0) {
    if (entry.compressedSize != entry.size) {
      *problem = entry.name + " is stored with two sizes";
      return false;
    }
    data->resize(entry.size);
    if (!ReadAt(input, start, data->data(), data->size())) {
      *problem = entry.name + " cannot be read";
      return false;
    }
    return true;
  }
  if (entry.method != 8) {
    *problem = entry.name + " is compressed with method " + std::to_string(entry.method) +
               ", which Java cannot read";
    return false;
  }
  // Raw deflate into at most limit bytes: the declared size is not trusted.
  z_stream stream = {};
  if (inflateInit2(&stream, -15) != Z_OK) {
    *problem = "zlib cannot start";
    return false;
  }
  uint8_t in[65536];
  data->resize(std::min<uint64_t>(limit, std::max<uint64_t>(entry.size, 4096)));
  uint64_t consumed = 0;
  int status = Z_OK;
  stream.next_out = data->data();
  stream.avail_out = static_cast<uInt>(data->size());
  while (status == Z_OK) {
    if (stream.avail_in == 0 && consumed < entry.compressedSize) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(sizeof in, entry.compressedSize - consumed));
      if (!ReadAt(input, start + consumed, in, chunk)) break;
      consumed += chunk;
      stream.next_in = in;
      stream.avail_in = static_cast<uInt>(chunk);
    }
    if (stream.avail_out == 0) {
      const size_t used = data->size();
      if (used >= limit) {
        status = Z_BUF_ERROR;
        break;
      }
      data->resize(std::min<size_t>(limit, used * 2));
      stream.next_out = data->data() + used;
      stream.avail_out = static_cast<uInt>(data->size() - used);
    }
    const uInt before = stream.avail_in + stream.avail_out;
    status = inflate(&stream, Z_NO_FLUSH);
    // No input left to give, and none taken or made: the stream is cut short.
    if (status == Z_BUF_ERROR || (status == Z_OK && stream.avail_in + stream.avail_out == before &&
                                  consumed >= entry.compressedSize))
      break;
  }
  const uint64_t produced = stream.total_out;
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    *problem = produced >= limit ? entry.name + " inflates to more than " + SizeText(limit)
                                 : entry.name + " is not a whole deflate stream";
    data->clear();
    return false;
  }
  data->resize(produced);
  if (produced != entry.size) {
    *problem = entry.name + " inflates to " + std::to_string(produced) +
               " bytes where the directory says " + std::to_string(entry.size);
    data->clear();
    return false;
  }
  return true;
}

bool NameLeavesArchive(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return !name.empty();
  if (name.size() >= 2 && name[1] == ':') return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace preflight
