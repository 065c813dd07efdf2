// Windows' conversions between UTF-16 and the 8-bit code pages that the host
// tests choose, as a program whose ANSI code page it is sees them:
//   65001  UTF-8 (the active code page that setup.exe's manifest asks for)
//   1252   Western, 1251 Cyrillic: one byte per character
//   932    Japanese: one or two bytes per character
// The single- and double-byte tables are glibc's. A character that the code
// page lacks comes out as Windows writes it without flags: a look-alike for
// the few best-fit characters below, the default character "?" for others.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace fake {

// As WideCharToMultiByte(codePage, 0, text, -1, bytes, room, nullptr, nullptr):
// the bytes written, terminator included, or 0 when they do not fit; bytes
// then holds as many as fit, never more than room.
size_t WideCharToMultiByte(uint32_t codePage, const char16_t* text, char* bytes, size_t room);

// As MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, -1, text,
// room): the units written, terminator included, or 0 for bytes that are not
// valid text in the code page or do not fit.
size_t MultiByteToWideChar(uint32_t codePage, const char* bytes, char16_t* text, size_t room);

}  // namespace fake
