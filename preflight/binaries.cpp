// Class files as chapter 4 of the Java Virtual Machine's own reference lays them
// out; PE files as Microsoft's "PE Format" page does.
#include "preflight/binaries.h"

namespace preflight {

namespace {

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

bool ReadClassStrings(const std::vector<uint8_t>& bytes, std::vector<std::string>* strings,
                      std::string* problem) {
  strings->clear();
  if (bytes.size() < 10 || Be16(&bytes[0]) != 0xCAFE || Be16(&bytes[2]) != 0xBABE) {
    *problem = "not a class file";
    return false;
  }
  const size_t count = Be16(&bytes[8]);
  size_t at = 10;
  for (size_t index = 1; index < count; ++index) {
    if (at >= bytes.size()) {
      *problem = "its constant pool is cut short";
      return false;
    }
    const uint8_t tag = bytes[at++];
    size_t length = 0;
    switch (tag) {
      case 1:  // Utf8
        if (bytes.size() - at < 2) break;
        length = 2 + Be16(&bytes[at]);
        if (bytes.size() - at >= length)
          strings->emplace_back(reinterpret_cast<const char*>(&bytes[at + 2]), length - 2);
        break;
      case 7: case 8: case 16: case 19: case 20:  // Class, String, MethodType, Module, Package
        length = 2;
        break;
      case 15:  // MethodHandle
        length = 3;
        break;
      case 3: case 4: case 9: case 10: case 11: case 12: case 17: case 18:
        length = 4;
        break;
      case 5: case 6:  // Long and Double take two slots
        length = 8;
        ++index;
        break;
      default:
        *problem = "its constant pool holds an unknown tag " + std::to_string(tag);
        return false;
    }
    if (length == 0 || bytes.size() - at < length) {
      *problem = "its constant pool is cut short";
      return false;
    }
    at += length;
  }
  return true;
}

namespace {

struct Section {
  uint32_t rva, virtualSize, rawOffset, rawSize;
};

// The file offset of count bytes at rva, or false when they lie in no section.
bool FileOffset(const std::vector<Section>& sections, uint32_t rva, uint32_t count,
                uint64_t* offset) {
  for (const Section& s : sections) {
    const uint32_t span = s.virtualSize > s.rawSize ? s.rawSize : s.virtualSize;
    if (rva >= s.rva && rva - s.rva <= span && count <= span - (rva - s.rva)) {
      *offset = static_cast<uint64_t>(s.rawOffset) + (rva - s.rva);
      return true;
    }
  }
  return false;
}

// The first entry of a resource directory, or the one with id; its offset
// within the resource section, with the subdirectory bit.
bool ResourceEntry(const std::vector<uint8_t>& resources, uint32_t directory, long id,
                   uint32_t* target) {
  if (directory > resources.size() || resources.size() - directory < 16) return false;
  const uint8_t* d = &resources[directory];
  const size_t entries = static_cast<size_t>(Le16(d + 12)) + Le16(d + 14);
  for (size_t i = 0; i < entries; ++i) {
    const size_t at = directory + 16 + 8 * i;
    if (at > resources.size() || resources.size() - at < 8) return false;
    const uint32_t name = Le32(&resources[at]);
    if (id < 0 || ((name & 0x80000000u) == 0 && name == static_cast<uint32_t>(id))) {
      *target = Le32(&resources[at + 4]);
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReadPe(const Input& input, PeFile* pe, std::string* problem) {
  *pe = PeFile{};
  uint8_t dos[64];
  if (!ReadAt(input, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    *problem = "not a Windows program (no MZ header)";
    return false;
  }
  const uint32_t header = Le32(dos + 0x3C);
  uint8_t coff[24];
  if (!ReadAt(input, header, coff, sizeof coff) || Le32(coff) != 0x00004550) {
    *problem = "not a Windows program (no PE header)";
    return false;
  }
  pe->machine = Le16(coff + 4);
  const size_t sectionCount = Le16(coff + 6), optionalSize = Le16(coff + 20);
  std::vector<uint8_t> optional(optionalSize);
  if (optionalSize < 72 || !ReadAt(input, header + 24, optional.data(), optionalSize)) {
    *problem = "a PE file whose optional header is cut short";
    return false;
  }
  const uint16_t magic = Le16(&optional[0]);
  if (magic != 0x10B && magic != 0x20B) {
    *problem = "a PE file of no known kind";
    return false;
  }
  pe->pe32Plus = magic == 0x20B;
  pe->subsystem = Le16(&optional[68]);

  // The version resource, through the resource directory's first entry of
  // type RT_VERSION (16): a program without one simply has no version.
  const size_t directories = pe->pe32Plus ? 112 : 96;
  if (optionalSize < directories + 24) return true;
  const uint32_t resourceRva = Le32(&optional[directories + 16]);
  const uint32_t resourceSize = Le32(&optional[directories + 20]);
  std::vector<Section> sections;
  for (size_t i = 0; i < sectionCount && i < 96; ++i) {
    uint8_t s[40];
    if (!ReadAt(input, header + 24 + optionalSize + 40 * i, s, sizeof s)) return true;
    sections.push_back(Section{Le32(s + 12), Le32(s + 8), Le32(s + 20), Le32(s + 16)});
  }
  uint64_t offset;
  if (resourceRva == 0 || resourceSize > (16u << 20) ||
      !FileOffset(sections, resourceRva, resourceSize, &offset))
    return true;
  std::vector<uint8_t> resources(resourceSize);
  if (!ReadAt(input, offset, resources.data(), resources.size())) return true;
  uint32_t type, name, language;
  if (!ResourceEntry(resources, 0, 16, &type) || (type & 0x80000000u) == 0 ||
      !ResourceEntry(resources, type & 0x7FFFFFFF, -1, &name) || (name & 0x80000000u) == 0 ||
      !ResourceEntry(resources, name & 0x7FFFFFFF, -1, &language) ||
      (language & 0x80000000u) != 0 || language > resources.size() ||
      resources.size() - language < 16)
    return true;
  const uint32_t dataRva = Le32(&resources[language]), dataSize = Le32(&resources[language + 4]);
  if (dataSize > resources.size() || !FileOffset(sections, dataRva, dataSize, &offset)) return true;
  std::vector<uint8_t> version(dataSize);
  if (!ReadAt(input, offset, version.data(), version.size())) return true;
  // VS_FIXEDFILEINFO follows the key "VS_VERSION_INFO", on a 32-bit boundary.
  for (size_t at = 0; at + 52 <= version.size() && at < 256; at += 4) {
    if (Le32(&version[at]) != 0xFEEF04BD) continue;
    const uint32_t ms = Le32(&version[at + 16]), ls = Le32(&version[at + 20]);
    pe->version = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                  std::to_string(ls >> 16);
    if ((ls & 0xFFFF) != 0) pe->version += "." + std::to_string(ls & 0xFFFF);
    break;
  }
  return true;
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case kMachineAmd64:
      return "x86-64";
    case kMachineI386:
      return "x86";
    case kMachineArm64:
      return "ARM64";
    default:
      return "machine " + std::to_string(machine);
  }
}

}  // namespace preflight
