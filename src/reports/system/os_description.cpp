#include "reports/system/os_description.h"

#include <windows.h>

#include "common/dynamic_function.h"
#include "common/strings.h"

namespace velmora {

namespace {

// Later editions continue the table after "Windows NT New", so that every
// earlier code keeps its name.
constexpr const wchar_t* kEditionNames[] = {
    L"None",          L"Windows 95",     L"Windows 95 OSR-2", L"Windows 98",
    L"Windows 98 SE", L"Windows ME",     L"Windows 9x New",   L"Windows NT 3",
    L"Windows NT 4",  L"Windows 2000",   L"Windows XP",       L"Windows 2003",
    L"Windows Vista", L"Windows 2008",   L"Windows 7",        L"Windows 2008 R2",
    L"Windows 8",     L"Windows 2012",   L"Windows 8.1",      L"Windows 2012 R2",
    L"Windows 10",    L"Windows NT New", L"Windows 11",       L"Windows 2016",
    L"Windows 2019",  L"Windows 2022",   L"Windows 2025",
};

constexpr uint8_t kWindows10 = 20;
constexpr uint8_t kWindows11 = 22;
constexpr uint32_t kFirstWindows11Build = 22000;

// Windows 11 and the servers since 2016 all say 10.0; only the build tells
// them apart. Server builds below the first release are previews.
struct ServerRelease {
  uint32_t first_build;
  uint8_t edition;
};
constexpr ServerRelease kServerReleases[] = {
    {26100, 26},  // Windows Server 2025
    {20348, 25},  // Windows Server 2022
    {17763, 24},  // Windows Server 2019
    {14393, 23},  // Windows Server 2016
};

uint8_t SelectVersion10Edition(const OsVersionFacts& f) {
  if (f.product_type == VER_NT_WORKSTATION) {
    return f.build >= kFirstWindows11Build ? kWindows11 : kWindows10;
  }
  for (const ServerRelease& release : kServerReleases) {
    if (f.build >= release.first_build) return release.edition;
  }
  return kWindows10;
}

uint8_t Select9xEdition(const OsVersionFacts& f) {
  if (f.major < 4) return 0;
  if (f.major > 4) return 6;
  if (f.minor < 10) return f.build <= 1000 ? 1 : 2;
  if (f.minor == 10) return f.build > 2700 ? 5 : (f.build > 2000 ? 4 : 3);
  return f.minor <= 90 ? 5 : 6;
}

uint8_t SelectNtEdition(const OsVersionFacts& f) {
  const bool workstation = f.product_type == VER_NT_WORKSTATION;
  if (f.major <= 3) return 7;
  if (f.major == 4) return 8;
  if (f.major == 5) {
    if (f.minor == 0) return 9;
    if (f.minor == 1) return 10;
    return workstation ? 10 : 11;
  }
  if (f.major == 6) {
    if (f.minor >= 4) return 21;
    static constexpr uint8_t kWorkstation[] = {12, 14, 16, 18};
    return workstation ? kWorkstation[f.minor] : kWorkstation[f.minor] + 1;
  }
  return f.major == 10 ? SelectVersion10Edition(f) : 21;
}

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
OsVersionFacts Read9xFacts() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);  // 148
  ::GetVersionExA(&info);
  OsVersionFacts f;
  f.platform = info.dwPlatformId;
  f.major = info.dwMajorVersion;
  f.minor = info.dwMinorVersion;
  f.build = info.dwBuildNumber & 0xFFFF;
  // Widened byte by byte, as the 9x family writes these texts in ASCII.
  for (char c : FromBuffer(info.szCSDVersion, sizeof(info.szCSDVersion))) {
    f.service_pack.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  return f;
}

OSVERSIONINFOEXW ReadNtVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);  // 284
  // The real version: GetVersionExW answers what the manifest declares.
  auto rtl_get_version =
      LookUpFunction<RtlGetVersionFn>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  if (rtl_get_version != nullptr && rtl_get_version(&info) == 0) return info;
  if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return info;
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);  // 276
  ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
  return info;
}
#pragma GCC diagnostic pop

bool NativeAmd64() {
  auto native_info = LookUpFunction<GetNativeSystemInfoFn>(::GetModuleHandleW(L"kernel32.dll"),
                                                           "GetNativeSystemInfo");
  if (native_info == nullptr) return false;
  SYSTEM_INFO info = {};
  native_info(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

TOS ComputeOsDescription() {
  const bool family_9x = (::GetVersion() & 0x80000000u) != 0;
  OsVersionFacts f;
  int32_t service_pack_number = 0;
  if (family_9x) {
    f = Read9xFacts();
  } else {
    const OSVERSIONINFOEXW info = ReadNtVersion();
    f = NtVersionFacts(info);
    service_pack_number = info.wServicePackMajor;
  }
  if (f.platform == VER_PLATFORM_WIN32_NT) {
    f.native_amd64 = NativeAmd64();
    f.server_r2 = ::GetSystemMetrics(SM_SERVERR2) != 0;
    f.tablet_pc = ::GetSystemMetrics(SM_TABLETPC) != 0;
    f.starter = ::GetSystemMetrics(SM_STARTER) != 0;
    f.media_center = ::GetSystemMetrics(SM_MEDIACENTER) != 0;
  }
  TOS os;
  os.major = f.major;
  os.minor = f.minor;
  os.build = f.build;
  os.service_pack = f.service_pack;
  os.is_9x = f.platform == VER_PLATFORM_WIN32_WINDOWS;
  os.is_nt = f.platform == VER_PLATFORM_WIN32_NT;
  os.edition = SelectEditionCode(f);
  os.edition_9x = os.is_9x ? os.edition : 0;
  os.edition_nt = os.is_nt ? os.edition : 0;
  os.native_x64 = f.native_amd64;
  os.service_pack_number = service_pack_number;
  os.description = DescribeOs(f, os.edition);
  return os;
}

}  // namespace

OsVersionFacts NtVersionFacts(const OSVERSIONINFOEXW& info) {
  OsVersionFacts f;
  f.platform = info.dwPlatformId;
  f.major = info.dwMajorVersion;
  f.minor = info.dwMinorVersion;
  f.build = info.dwBuildNumber;
  f.product_type = info.wProductType;
  f.service_pack = FromBuffer(info.szCSDVersion, 128);
  return f;
}

uint8_t SelectEditionCode(const OsVersionFacts& facts) {
  if (facts.platform == VER_PLATFORM_WIN32_WINDOWS) return Select9xEdition(facts);
  if (facts.platform == VER_PLATFORM_WIN32_NT) return SelectNtEdition(facts);
  return 0;
}

const wchar_t* EditionName(uint8_t code) {
  return code < std::size(kEditionNames) ? kEditionNames[code] : kEditionNames[0];
}

std::wstring DescribeOs(const OsVersionFacts& f, uint8_t edition) {
  std::wstring text = EditionName(edition);
  if (f.platform != VER_PLATFORM_WIN32_NT) return text;
  if (f.server_r2) text += L" R2";
  if (f.tablet_pc) text += L" Tablet PC";
  if (f.starter) text += L" Starter";
  if (f.media_center && edition < 12) text += L" Media Center";
  if (f.native_amd64) text += L" x64";
  if (!f.service_pack.empty()) text += L" " + f.service_pack;
  return text;
}

TOS GetOsDescription() {
  static TOS cached;
  if (cached.description.empty()) cached = ComputeOsDescription();
  return cached;
}

}  // namespace velmora
