// Windows' code page conversions for the host tests and the fuzzer.
#include "tests/host/fake_code_pages.h"

#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>


namespace fake {
namespace {

constexpr uint32_t kUtf8 = 65001;
constexpr char16_t kReplacement = 0xFFFD;  // what Windows writes for a lone surrogate

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// A few of Windows' best-fit mappings, as Wine makes them too: a letter that
// the code page lacks becomes its plain look-alike, and a full-width quote or
// backslash an ASCII one, which would change where an argument ends.
struct BestFit {
  char16_t unit;
  char byte;
};
constexpr BestFit kBestFits[] = {
    {0x00E9, 'e'}, {0x00F6, 'o'}, {0x0101, 'a'}, {0xFF02, '"'}, {0xFF3C, '\\'}};

// One code page, from glibc's tables: the bytes of each unit, and the unit of
// each byte or, after a lead byte, of each pair of bytes.
struct Table {
  unsigned char sizeOf[0x10000] = {};  // 0: the code page lacks the unit
  char bytesOf[0x10000][2] = {};
  char16_t unitOfByte[256] = {};
  bool lead[256] = {};
  char16_t unitOfPair[0x10000] = {};
};

// The code pages with a table, by their glibc names.
struct Known {
  uint32_t codePage;
  const char* glibcName;
};
constexpr Known kKnown[] = {{1252, "CP1252"}, {1251, "CP1251"}, {932, "CP932"}};

// Converts in bytes with converter; true when all of them gave a whole result.
bool Convert(iconv_t converter, const char* in, size_t inSize, char* out, size_t* outSize) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* input = const_cast<char*>(in);
  char* output = out;
  size_t outLeft = *outSize;
  if (iconv(converter, &input, &inSize, &output, &outLeft) == static_cast<size_t>(-1)) return false;
  *outSize -= outLeft;
  return true;
}

void BuildTable(const char* glibcName, Table& table) {
  iconv_t encoder = iconv_open(glibcName, "UTF-16LE");
  iconv_t decoder = iconv_open("UTF-16LE", glibcName);
  for (uint32_t unit = 1; unit < 0x10000; ++unit) {
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) continue;
    char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    char out[8];
    size_t size = sizeof out;
    if (Convert(encoder, in, 2, out, &size) && size <= 2) {
      table.sizeOf[unit] = static_cast<unsigned char>(size);
      memcpy(table.bytesOf[unit], out, size);
    }
  }
  auto decode = [&](const char* in, size_t inSize, char16_t* unit) {
    char out[8];
    size_t size = sizeof out;
    if (!Convert(decoder, in, inSize, out, &size) || size != 2) return false;
    *unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                  static_cast<unsigned char>(out[1]) << 8);
    return true;
  };
  for (int first = 1; first < 256; ++first) {
    char single = static_cast<char>(first);
    if (decode(&single, 1, &table.unitOfByte[first])) continue;
    for (int second = 1; second < 256; ++second) {
      char pair[2] = {single, static_cast<char>(second)};
      if (decode(pair, 2, &table.unitOfPair[first << 8 | second])) table.lead[first] = true;
    }
  }
  iconv_close(encoder);
  iconv_close(decoder);
}

// Built when first asked for; static, so that no heap block outlives a test.
const Table& TableOf(uint32_t codePage) {
  static Table tables[sizeof kKnown / sizeof kKnown[0]];
  static bool built[sizeof kKnown / sizeof kKnown[0]];
  for (size_t index = 0; index < sizeof kKnown / sizeof kKnown[0]; ++index) {
    if (kKnown[index].codePage != codePage) continue;
    if (!built[index]) BuildTable(kKnown[index].glibcName, tables[index]);
    built[index] = true;
    return tables[index];
  }
  fprintf(stderr, "fake code pages: no table for code page %u\n", codePage);
  abort();
}

// The bytes of the character at text in UTF-8; how many units it took.
size_t EncodeUtf8(const char16_t* text, char* out, size_t* size) {
  uint32_t code = text[0];
  size_t units = 1;
  if (IsHighSurrogate(text[0]) && IsLowSurrogate(text[1])) {
    code = 0x10000 + ((text[0] - 0xD800) << 10) + (text[1] - 0xDC00);
    units = 2;
  } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
    code = kReplacement;
  }
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    *size = 1;
  } else if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | code >> 6);
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    *size = 2;
  } else if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | code >> 12);
    out[1] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    *size = 3;
  } else {
    out[0] = static_cast<char>(0xF0 | code >> 18);
    out[1] = static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    *size = 4;
  }
  return units;
}

// The bytes of one unit in a table's code page: its own, a look-alike, or "?".
void EncodeUnit(const Table& table, char16_t unit, char* out, size_t* size) {
  if (unit == 0) {
    out[0] = 0;
    *size = 1;
    return;
  }
  if (table.sizeOf[unit] != 0) {
    *size = table.sizeOf[unit];
    memcpy(out, table.bytesOf[unit], *size);
    return;
  }
  out[0] = '?';
  for (const BestFit& fit : kBestFits)
    if (fit.unit == unit) out[0] = fit.byte;
  *size = 1;
}

// The character at bytes in UTF-8, strictly: no overlong forms, no encoded
// surrogates, nothing above U+10FFFF. How many bytes it took; 0 if invalid.
size_t DecodeUtf8(const unsigned char* bytes, char16_t* units, size_t* count) {
  unsigned char first = bytes[0];
  size_t length;
  uint32_t code;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (first < 0x80) {
    units[0] = first;
    *count = 1;
    return 1;
  } else if (first >= 0xC2 && first <= 0xDF) {
    length = 2, code = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3, code = first & 0x0F;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4, code = first & 0x07;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (size_t index = 1; index < length; ++index) {
    unsigned char next = bytes[index];
    if (index == 1 ? (next < low || next > high) : (next < 0x80 || next > 0xBF)) return 0;
    code = code << 6 | (next & 0x3F);
  }
  if (code >= 0x10000) {
    units[0] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    *count = 2;
  } else {
    units[0] = static_cast<char16_t>(code);
    *count = 1;
  }
  return length;
}

// The character at bytes in a table's code page; how many bytes it took, 0 if
// invalid.
size_t DecodeInTable(const Table& table, const unsigned char* bytes, char16_t* unit) {
  if (bytes[0] == 0) {
    *unit = 0;
    return 1;
  }
  if (table.lead[bytes[0]]) {
    if (bytes[1] == 0) return 0;
    *unit = table.unitOfPair[bytes[0] << 8 | bytes[1]];
    return *unit == 0 ? 0 : 2;
  }
  *unit = table.unitOfByte[bytes[0]];
  return *unit == 0 ? 0 : 1;
}

}  // namespace

size_t WideCharToMultiByte(uint32_t codePage, const char16_t* text, char* bytes, size_t room) {
  const Table* table = codePage == kUtf8 ? nullptr : &TableOf(codePage);
  size_t written = 0;
  for (;;) {
    char character[4];
    size_t size = 0;
    size_t units = 1;
    if (table == nullptr) units = EncodeUtf8(text, character, &size);
    else EncodeUnit(*table, *text, character, &size);
    for (size_t index = 0; index < size; ++index, ++written)
      if (written < room) bytes[written] = character[index];
    if (*text == 0) break;
    text += units;
  }
  return written <= room ? written : 0;
}

size_t MultiByteToWideChar(uint32_t codePage, const char* bytes, char16_t* text, size_t room) {
  const Table* table = codePage == kUtf8 ? nullptr : &TableOf(codePage);
  const unsigned char* next = reinterpret_cast<const unsigned char*>(bytes);
  size_t written = 0;
  for (;;) {
    char16_t units[2];
    size_t count = 1;
    size_t used = table == nullptr ? DecodeUtf8(next, units, &count)
                                   : DecodeInTable(*table, next, units);
    if (used == 0 || written + count > room) return 0;
    memcpy(text + written, units, count * sizeof(char16_t));
    written += count;
    if (units[0] == 0) return written;
    next += used;
  }
}

}  // namespace fake
