#include "crash/hardware_text.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/number_format.h"
#include "common/strings.h"

namespace velmora::crash {

namespace {

constexpr int kMaxDisks = 16;

std::wstring Trimmed(std::wstring_view text) {
  const size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring_view::npos) return {};
  const size_t last = text.find_last_not_of(L' ');
  return std::wstring(text.substr(first, last - first + 1));
}

std::wstring ReadTextValue(HKEY key, const wchar_t* name) {
  wchar_t value[256] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return Trimmed(FromBuffer(value, 256));
}

DWORD ReadNumberValue(HKEY key, const wchar_t* name) {
  DWORD value = 0, size = sizeof(value), type = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return 0;
  }
  return value;
}

uint64_t WholeMegabytes(uint64_t bytes) {
  return (bytes + 524288) / 1048576;
}

// Vendor and model from the storage driver; empty where it does not say.
std::wstring DiskModel(HANDLE disk) {
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(STORAGE_DEVICE_DESCRIPTOR) char buffer[1024] = {};
  DWORD returned = 0;
  if (!::DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer,
                         sizeof(buffer) - 1, &returned, nullptr) ||
      returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
    return {};
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer);
  std::string model;
  for (DWORD offset : {descriptor->VendorIdOffset, descriptor->ProductIdOffset}) {
    if (offset == 0 || offset >= returned) continue;
    std::string part = FromBuffer(buffer + offset, returned - offset);
    if (!model.empty()) model += ' ';
    model += part;
  }
  return Trimmed(DecodeCodePage(model, CP_ACP));
}

// The size from the disk's geometry: every supported Windows answers it
// without read access to the disk.
uint64_t DiskSize(HANDLE disk) {
  DISK_GEOMETRY geometry = {};
  DWORD returned = 0;
  if (!::DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                         sizeof(geometry), &returned, nullptr)) {
    return 0;
  }
  return static_cast<uint64_t>(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
         geometry.SectorsPerTrack * geometry.BytesPerSector;
}

void AppendDisplayMode(TextBuffer& out, const wchar_t* device) {
  DEVMODEW mode = {};
  mode.dmSize = sizeof(mode);
  if (!::EnumDisplaySettingsW(device, ENUM_CURRENT_SETTINGS, &mode)) return;
  out.Append(L", ");
  out.AppendDecimal(mode.dmPelsWidth);
  out.Append(L"x");
  out.AppendDecimal(mode.dmPelsHeight);
  out.Append(L", ");
  out.AppendDecimal(mode.dmBitsPerPel);
  out.Append(L" bits");
}

}  // namespace

void AppendProcessor(TextBuffer& out) {
  std::wstring name;
  DWORD megahertz = 0;
  UniqueRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                      KEY_READ, key.put()) == ERROR_SUCCESS) {
    name = ReadTextValue(key.get(), L"ProcessorNameString");
    // Older systems name only the family, model and stepping.
    if (name.empty()) {
      name = Trimmed(ReadTextValue(key.get(), L"VendorIdentifier") + L" " +
                     ReadTextValue(key.get(), L"Identifier"));
    }
    megahertz = ReadNumberValue(key.get(), L"~MHz");
  }
  SYSTEM_INFO info = {};
  ::GetSystemInfo(&info);
  out.Append(L"Processor: ");
  out.Append(name.empty() ? L"unknown" : name);
  if (megahertz != 0) {
    out.Append(L", ");
    out.AppendDecimal(megahertz);
    out.Append(L" MHz");
  }
  out.Append(L", ");
  out.AppendDecimal(info.dwNumberOfProcessors);
  out.AppendLine(info.dwNumberOfProcessors == 1 ? L" logical processor" : L" logical processors");
}

void AppendMemory(TextBuffer& out) {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  out.Append(L"Memory: ");
  if (!::GlobalMemoryStatusEx(&status)) {
    out.AppendLine(L"unknown");
    return;
  }
  out.AppendDecimal(WholeMegabytes(status.ullTotalPhys));
  out.Append(L" MB physical, ");
  out.AppendDecimal(WholeMegabytes(status.ullAvailPhys));
  out.AppendLine(L" MB available");
}

void AppendDisplays(TextBuffer& out) {
  std::vector<std::wstring> shown;
  std::vector<std::wstring> others;
  DISPLAY_DEVICEW device = {};
  device.cb = sizeof(device);
  for (DWORD i = 0; ::EnumDisplayDevicesW(nullptr, i, &device, 0);
       ++i, device.cb = sizeof(device)) {
    const std::wstring name = Trimmed(FromBuffer(device.DeviceString, 128));
    if (device.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) continue;
    if (!(device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)) {
      others.push_back(name);
      continue;
    }
    shown.push_back(name);
    out.Append(L"Display: ");
    out.Append(name);
    if (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) out.Append(L" (primary)");
    AppendDisplayMode(out, device.DeviceName);
    out.EndLine();
  }
  // An adapter has an entry for each of its outputs: name each one once.
  for (const std::wstring& name : others) {
    if (std::find(shown.begin(), shown.end(), name) != shown.end()) continue;
    shown.push_back(name);
    out.AppendLine(L"Display: " + name);
  }
  if (shown.empty()) out.AppendLine(L"Display: none found");
}

void AppendDisks(TextBuffer& out) {
  bool any = false;
  for (int i = 0; i < kMaxDisks; ++i) {
    const std::wstring path = L"\\\\.\\PhysicalDrive" + std::to_wstring(i);
    UniqueHandle disk(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!disk) continue;
    any = true;
    out.Append(L"Disk: ");
    out.Append(path);
    const std::wstring model = DiskModel(disk.get());
    if (!model.empty()) out.Append(L" " + model);
    if (const uint64_t size = DiskSize(disk.get())) out.Append(L", " + FormatByteSize(size));
    out.EndLine();
  }
  if (!any) out.AppendLine(L"Disk: none found");
}

}  // namespace velmora::crash
