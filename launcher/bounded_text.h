// Bounded text building: a text that would not fit is never produced, and
// nothing is ever shortened.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

template <typename Unit>
size_t TextLength(const Unit* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Appends text to the text of *length units in buffer, whose room counts the
// terminator. When the result would not fit, returns false and leaves the
// buffer as it was.
template <typename Unit>
bool AppendText(Unit* buffer, size_t room, size_t* length, const Unit* text) {
  size_t added = TextLength(text);
  if (added >= room - *length) return false;
  memcpy(buffer + *length, text, (added + 1) * sizeof(Unit));
  *length += added;
  return true;
}

// Appends value as a signed decimal number, as printf's %d would.
inline bool AppendDecimal(char* buffer, size_t room, size_t* length, int32_t value) {
  char digits[12];  // a sign, ten digits and the terminator
  size_t first = sizeof digits - 1;
  digits[first] = 0;
  // Unsigned, so that the magnitude of INT32_MIN does not overflow.
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (value < 0) magnitude = 0u - magnitude;
  do {
    digits[--first] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--first] = '-';
  return AppendText(buffer, room, length, digits + first);
}

// The unit with an ASCII letter in upper case; every other unit as it is.
inline char16_t UpperAscii(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
}

// True when the two texts are equal unit for unit, terminators included:
// case-sensitive, with no regard to what the texts name.
template <typename Unit>
bool SameText(const Unit* a, const Unit* b) {
  while (*a != 0 && *a == *b) ++a, ++b;
  return *a == *b;
}
