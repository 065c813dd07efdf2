// The two kinds of program file that the checks look into: a Java class file,
// for the strings of its constant pool, and a Windows PE file, for its
// machine, its subsystem and its version resource. Both bounded by their
// input and never read past it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "preflight/input.h"

namespace preflight {

// The constant pool's UTF-8 strings, as the class file holds them; false with
// *problem when the bytes are not a class file.
bool ReadClassStrings(const std::vector<uint8_t>& bytes, std::vector<std::string>* strings,
                      std::string* problem);

struct PeFile {
  uint16_t machine = 0;    // IMAGE_FILE_MACHINE_*
  bool pe32Plus = false;   // the 64-bit optional header
  uint16_t subsystem = 0;  // 2 GUI, 3 console
  std::string version;     // the version resource's ProductVersion, "1.6.0"; empty without
};

constexpr uint16_t kMachineAmd64 = 0x8664, kMachineI386 = 0x14C, kMachineArm64 = 0xAA64;
constexpr uint16_t kSubsystemGui = 2, kSubsystemConsole = 3;

// False with *problem when the input is not a PE file.
bool ReadPe(const Input& input, PeFile* pe, std::string* problem);
// "x86-64", "x86", "ARM64" or the number.
std::string MachineName(uint16_t machine);

}  // namespace preflight
