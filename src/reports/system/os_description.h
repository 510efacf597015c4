// The name of the Windows edition the program runs on, as support reads it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace velmora {

struct TOS {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;  // low 16 bits only on the 9x family
  std::wstring service_pack;
  bool is_9x = false;
  uint8_t edition_9x = 0;
  bool is_nt = false;
  uint8_t edition_nt = 0;
  uint8_t edition = 0;  // index into the OS name table
  bool native_x64 = false;
  int32_t service_pack_number = 0;
  std::wstring description;
};

// What the platform says of itself, as the naming rules need it.
struct OsVersionFacts {
  uint32_t platform = 0;  // 1: 9x family, 2: NT family
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint8_t product_type = 0;  // 1: workstation
  std::wstring service_pack;
  bool native_amd64 = false;
  bool server_r2 = false;
  bool tablet_pc = false;
  bool starter = false;
  bool media_center = false;
};

// The NT family's answer (RtlGetVersion or GetVersionExW) as the naming rules
// take it; the system metrics and the processor are added by the caller.
OsVersionFacts NtVersionFacts(const OSVERSIONINFOEXW& info);
uint8_t SelectEditionCode(const OsVersionFacts& facts);
const wchar_t* EditionName(uint8_t code);
// The table name with the NT family's extensions (R2, Tablet PC, Starter,
// Media Center, x64, service pack).
std::wstring DescribeOs(const OsVersionFacts& facts, uint8_t edition);

// Computed on first use and kept; recomputed only while the description is empty.
TOS GetOsDescription();

}  // namespace velmora
