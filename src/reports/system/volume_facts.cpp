#include "reports/system/volume_facts.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include <algorithm>
#include <cstring>

#include "common/dynamic_function.h"
#include "common/handles.h"
#include "common/number_format.h"
#include "common/strings.h"
#include "common/system_library.h"
#include "environment/windows_version.h"

namespace velmora {

namespace {

// The layouts Windows documents for these answers, spelled out here: the
// headers hide the newer ones below the program's Windows 2000 target.
struct BooleanDescriptor {  // DEVICE_SEEK_PENALTY_DESCRIPTOR, DEVICE_TRIM_DESCRIPTOR
  DWORD version;
  DWORD size;
  BOOLEAN value;
};
struct PropertyQuery {  // STORAGE_PROPERTY_QUERY
  DWORD property_id;
  DWORD query_type;
  BYTE additional[1];
};
struct PredictFailure {  // STORAGE_PREDICT_FAILURE
  ULONG predict_failure;
  UCHAR vendor_specific[512];
};
struct SnapshotNames {  // VOLSNAP_NAMES: the MULTI_SZ list follows
  ULONG multi_sz_length;
  WCHAR names[1];
};

constexpr DWORD kDeviceProperty = 0;
constexpr DWORD kSeekPenaltyProperty = 7;
constexpr DWORD kTrimProperty = 8;
constexpr DWORD kQueryStorageProperty =
    CTL_CODE(IOCTL_STORAGE_BASE, 0x500, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kPredictFailure =
    CTL_CODE(IOCTL_STORAGE_BASE, 0x440, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kVolumeDiskExtents = CTL_CODE(0x56, 0, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kSnapshotNames = CTL_CODE(0x53, 6, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kVolumeIsDirty = 1;

std::wstring Decimal(uint64_t value) {
  return Format(L"%llu", static_cast<unsigned long long>(value));
}

bool AnsweredBoolean(const PropertyAnswer& answer, bool& value) {
  if (answer.error != ERROR_SUCCESS) return false;
  if (answer.bytes.size() < offsetof(BooleanDescriptor, value) + 1) return false;
  BooleanDescriptor descriptor = {};
  std::memcpy(&descriptor, answer.bytes.data(), std::min(answer.bytes.size(), sizeof descriptor));
  value = descriptor.value != 0;
  return true;
}

std::wstring UnknownPropertyValue(const PropertyAnswer& answer, bool windows7_or_later) {
  if (!windows7_or_later) return UnknownValue(L"Windows 7 and later say");
  if (answer.error == ERROR_SUCCESS) return UnknownValue(L"short answer");
  return UnknownFromError(answer.error);
}

// Word 217 of the identify data: 1 for a medium that does not rotate,
// 0401h to FFFEh its speed in rpm; 0 (not reported) and the rest say nothing.
std::wstring RotationRateValue(const IdentifyAnswer& identify) {
  constexpr size_t kRotationRateWord = 217;
  if (identify.error != ERROR_SUCCESS || identify.data.size() < 2 * (kRotationRateWord + 1)) {
    return {};
  }
  const unsigned rate = identify.data[2 * kRotationRateWord] |
                        (unsigned{identify.data[2 * kRotationRateWord + 1]} << 8);
  if (rate == 1) return L"SSD (rotation rate: non-rotating)";
  if (rate >= 0x0401 && rate <= 0xFFFE) return Format(L"hard disk (%u rpm)", rate);
  return {};
}

UniqueHandle OpenDevice(const std::wstring& device, DWORD access) {
  return UniqueHandle(::CreateFileW(device.c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
}

DWORD Control(HANDLE device, DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size,
              DWORD* returned = nullptr) {
  DWORD bytes = 0;
  const BOOL ok = ::DeviceIoControl(device, code, const_cast<void*>(in), in_size, out, out_size,
                                    &bytes, nullptr);
  if (returned != nullptr) *returned = bytes;
  return ok ? ERROR_SUCCESS : ::GetLastError();
}

PropertyAnswer QueryProperty(HANDLE device, DWORD property_id) {
  PropertyQuery query = {property_id, 0, {0}};
  PropertyAnswer answer;
  answer.bytes.resize(1024);
  DWORD returned = 0;
  answer.error = Control(device, kQueryStorageProperty, &query, sizeof query, answer.bytes.data(),
                         static_cast<DWORD>(answer.bytes.size()), &returned);
  answer.bytes.resize(answer.error == ERROR_SUCCESS ? returned : 0);
  return answer;
}

// IDENTIFY DEVICE through the ATA pass-through. The disk is opened for
// reading and writing only here: the pass-through asks for both, though the
// command only reads.
IdentifyAnswer IdentifyDevice(DWORD disk_number) {
  constexpr UCHAR kIdentifyDevice = 0xEC;
  constexpr size_t kIdentifyBytes = 512;
  struct Request {
    ATA_PASS_THROUGH_EX header;
    uint8_t data[kIdentifyBytes];
  } request = {};
  IdentifyAnswer answer;
  const UniqueHandle disk =
      OpenDevice(Format(L"\\\\.\\PhysicalDrive%lu", disk_number), GENERIC_READ | GENERIC_WRITE);
  if (!disk) {
    answer.error = ::GetLastError();
    return answer;
  }
  request.header.Length = sizeof request.header;
  request.header.AtaFlags = ATA_FLAGS_DRDY_REQUIRED | ATA_FLAGS_DATA_IN;
  request.header.DataTransferLength = kIdentifyBytes;
  request.header.TimeOutValue = 3;
  request.header.DataBufferOffset = offsetof(Request, data);
  request.header.CurrentTaskFile[6] = kIdentifyDevice;
  DWORD returned = 0;
  answer.error = Control(disk.get(), IOCTL_ATA_PASS_THROUGH, &request, sizeof request, &request,
                         sizeof request, &returned);
  if (answer.error != ERROR_SUCCESS) return answer;
  // The status register comes back in the command's place; its low bit is
  // the device's error.
  const size_t held = returned > offsetof(Request, data) ? returned - offsetof(Request, data) : 0;
  const size_t bytes = std::min<size_t>({held, request.header.DataTransferLength, kIdentifyBytes});
  if ((request.header.CurrentTaskFile[6] & 0x01) != 0 || bytes == 0) {
    answer.error = ERROR_NOT_SUPPORTED;
    return answer;
  }
  answer.data.assign(request.data, request.data + bytes);
  return answer;
}

std::wstring DescriptorText(const std::vector<uint8_t>& bytes, DWORD offset) {
  if (offset == 0 || offset >= bytes.size()) return L"";
  const char* start = reinterpret_cast<const char*>(bytes.data()) + offset;
  const void* end = std::memchr(start, 0, bytes.size() - offset);
  const size_t length = end ? static_cast<const char*>(end) - start : bytes.size() - offset;
  return Trimmed(DecodeCodePage(std::string_view(start, length), CP_ACP));
}

void ReadGeometry(const VolumeTarget& target, VolumeFacts& facts) {
  wchar_t file_system[MAX_PATH + 1] = {};
  if (::GetVolumeInformationW(target.root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                              file_system, MAX_PATH + 1)) {
    facts.file_system = FromBuffer(file_system, MAX_PATH + 1);
  } else {
    facts.file_system = UnknownFromError(::GetLastError());
  }
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
  if (::GetDiskFreeSpaceW(target.root.c_str(), &sectors_per_cluster, &bytes_per_sector,
                          &free_clusters, &clusters)) {
    facts.cluster_bytes = uint64_t{sectors_per_cluster} * bytes_per_sector;
    facts.cluster_size = Decimal(facts.cluster_bytes) + L" bytes";
  } else {
    facts.cluster_size = UnknownFromError(::GetLastError());
  }
  ULARGE_INTEGER available, total, total_free;
  if (::GetDiskFreeSpaceExW(target.root.c_str(), &available, &total, &total_free)) {
    facts.size = BytesValue(total.QuadPart);
    facts.free_space = FreeSpaceValue(total_free.QuadPart, total.QuadPart);
  } else {
    facts.size = facts.free_space = UnknownFromError(::GetLastError());
  }
}

void ReadDisks(HANDLE volume, VolumeFacts& facts) {
  std::vector<uint8_t> buffer(sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT));
  DWORD returned = 0;
  DWORD error = Control(volume, kVolumeDiskExtents, nullptr, 0, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned);
  // A success without the list (Wine gives one) tells nothing.
  if (error == ERROR_SUCCESS && returned < sizeof(VOLUME_DISK_EXTENTS)) error = ERROR_NOT_SUPPORTED;
  const bool windows7 = IsWindows7OrLater();
  if (error != ERROR_SUCCESS) {
    facts.physical_disks = {UnknownFromError(error)};
    facts.media_type = facts.trim_device = facts.smart = UnknownFromError(error);
    return;
  }
  const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
  const DWORD count = std::min<DWORD>(extents->NumberOfDiskExtents, 32);
  if (count == 0) {
    facts.physical_disks = {UnknownValue(L"no disk under the volume")};
    facts.media_type = facts.trim_device = facts.smart = UnknownValue(L"no disk under the volume");
    return;
  }
  for (DWORD i = 0; i < count; ++i) {
    const DWORD number = extents->Extents[i].DiskNumber;
    if (std::find(facts.disk_numbers.begin(), facts.disk_numbers.end(), number) !=
        facts.disk_numbers.end()) {
      continue;
    }
    facts.disk_numbers.push_back(number);
    const UniqueHandle disk = OpenDevice(Format(L"\\\\.\\PhysicalDrive%lu", number), 0);
    if (!disk) {
      facts.physical_disks.push_back(Format(L"%lu, ", number) + UnknownFromError(::GetLastError()));
      continue;
    }
    facts.physical_disks.push_back(
        PhysicalDiskValue(number, QueryProperty(disk.get(), kDeviceProperty)));
    // Several disks under one volume: the first one's media and health stand for it
    // in its value lines; each disk is named in its own line above.
    if (facts.disk_numbers.size() > 1) continue;
    const PropertyAnswer seek_penalty = QueryProperty(disk.get(), kSeekPenaltyProperty);
    facts.media_type = MediaTypeValue(
        seek_penalty, windows7,
        SeekPenaltyAnswered(seek_penalty) ? IdentifyAnswer() : IdentifyDevice(number));
    facts.trim_device = TrimDeviceValue(QueryProperty(disk.get(), kTrimProperty), windows7);
    PredictFailure predict = {};
    const DWORD smart_error =
        Control(disk.get(), kPredictFailure, nullptr, 0, &predict, sizeof predict);
    facts.smart = SmartValue(smart_error, predict.predict_failure);
  }
}

void ReadDirtyBit(HANDLE volume, VolumeFacts& facts) {
  ULONG flags = 0;
  const DWORD error = Control(volume, FSCTL_IS_VOLUME_DIRTY, nullptr, 0, &flags, sizeof flags);
  facts.dirty_bit = DirtyBitValue(error, flags);
}

void ReadNtfsData(HANDLE volume, VolumeFacts& facts) {
  NTFS_VOLUME_DATA_BUFFER data = {};
  const DWORD error = Control(volume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &data, sizeof data);
  if (error != ERROR_SUCCESS) {
    facts.mft_size = facts.mft_zone =
        error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER
            ? UnknownValue(L"not NTFS")
            : UnknownFromError(error);
    return;
  }
  facts.mft_size = BytesValue(static_cast<uint64_t>(data.MftValidDataLength.QuadPart));
  const uint64_t cluster = data.BytesPerCluster;
  const uint64_t start = static_cast<uint64_t>(data.MftZoneStart.QuadPart);
  const uint64_t end = static_cast<uint64_t>(data.MftZoneEnd.QuadPart);
  facts.mft_zone = BytesValue(end > start ? (end - start) * cluster : 0) +
                   Format(L", clusters %llu to %llu", static_cast<unsigned long long>(start),
                          static_cast<unsigned long long>(end));
}

void ReadShadowCopies(HANDLE volume, VolumeFacts& facts) {
  std::vector<uint8_t> buffer(64 * 1024);
  const DWORD error =
      Control(volume, kSnapshotNames, nullptr, 0, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (error != ERROR_SUCCESS) {
    facts.shadow_copies = UnknownFromError(error);
    return;
  }
  const auto* names = reinterpret_cast<const SnapshotNames*>(buffer.data());
  const size_t chars = std::min<size_t>(names->multi_sz_length / sizeof(WCHAR),
                                        (buffer.size() - sizeof(ULONG)) / sizeof(WCHAR));
  size_t count = 0;
  for (size_t i = 0; i < chars; ++i) {
    if (names->names[i] != 0 && (i == 0 || names->names[i - 1] == 0)) ++count;
  }
  facts.shadow_copies = Decimal(count);
}

void ReadBitmap(const VolumeTarget& target, size_t chunk_bytes, const TickDeadline& deadline,
                VolumeFacts& facts) {
  const UniqueHandle volume = OpenDevice(target.device, GENERIC_READ);
  if (!volume) {
    facts.free_extents = facts.largest_free_extent = UnknownFromError(::GetLastError());
    return;
  }
  const size_t header = offsetof(VOLUME_BITMAP_BUFFER, Buffer);
  std::vector<uint8_t> buffer(header + chunk_bytes);
  FreeExtentCounter counter;
  int64_t next = 0;
  for (;;) {
    if (deadline.Passed()) {
      facts.free_extents = facts.largest_free_extent = UnknownValue(L"timed out");
      return;
    }
    STARTING_LCN_INPUT_BUFFER start = {};
    start.StartingLcn.QuadPart = next;
    DWORD returned = 0;
    const DWORD error = Control(volume.get(), FSCTL_GET_VOLUME_BITMAP, &start, sizeof start,
                                buffer.data(), static_cast<DWORD>(buffer.size()), &returned);
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
      facts.free_extents = facts.largest_free_extent = UnknownFromError(error);
      return;
    }
    VOLUME_BITMAP_BUFFER answer = {};
    std::memcpy(&answer, buffer.data(), header);
    // The file system may start the answer a little before the cluster asked for.
    const int64_t first = answer.StartingLcn.QuadPart;
    const int64_t total = answer.BitmapSize.QuadPart;
    const uint64_t held_bits = uint64_t{returned > header ? returned - header : 0} * 8;
    const uint64_t skip = static_cast<uint64_t>(next - first);
    if (first > next || total <= next || held_bits <= skip) break;
    const uint64_t bits = std::min<uint64_t>(held_bits, static_cast<uint64_t>(total - first));
    if (skip % 8 != 0) break;  // never seen: the answer starts on a byte
    counter.Feed(buffer.data() + header + skip / 8, bits - skip);
    next = first + static_cast<int64_t>(bits);
    if (error == ERROR_SUCCESS || next >= total) break;
  }
  const FreeSpaceExtents extents = counter.Totals();
  facts.free_extents = FreeExtentsValue(extents);
  facts.largest_free_extent = LargestFreeExtentValue(extents, facts.cluster_bytes);
}

using FindFirstVolumeFunction = HANDLE(WINAPI*)(LPWSTR, DWORD);
using FindNextVolumeFunction = BOOL(WINAPI*)(HANDLE, LPWSTR, DWORD);
using FindVolumeCloseFunction = BOOL(WINAPI*)(HANDLE);
using VolumePathNamesFunction = BOOL(WINAPI*)(LPCWSTR, LPWCH, DWORD, PDWORD);

// The mount folders of a volume; whether one of them is a drive's root.
std::vector<std::wstring> VolumePaths(VolumePathNamesFunction path_names, const wchar_t* volume) {
  std::vector<wchar_t> buffer(4096);
  DWORD length = 0;
  if (!path_names(volume, buffer.data(), static_cast<DWORD>(buffer.size()), &length)) return {};
  std::vector<std::wstring> paths;
  for (const wchar_t* p = buffer.data(); *p != 0 && p < buffer.data() + buffer.size();
       p += wcslen(p) + 1) {
    paths.emplace_back(p);
  }
  return paths;
}

void AppendVolumesWithoutLetter(std::vector<VolumeTarget>& targets) {
  FindFirstVolumeFunction find_first = nullptr;
  FindNextVolumeFunction find_next = nullptr;
  FindVolumeCloseFunction find_close = nullptr;
  VolumePathNamesFunction path_names = nullptr;
  if (!LookUpFunctions(LoadSystemLibrary(L"kernel32.dll"), Named(find_first, "FindFirstVolumeW"),
                       Named(find_next, "FindNextVolumeW"), Named(find_close, "FindVolumeClose"),
                       Named(path_names, "GetVolumePathNamesForVolumeNameW"))) {
    return;
  }
  wchar_t name[MAX_PATH] = {};
  const HANDLE find = find_first(name, MAX_PATH);
  if (find == INVALID_HANDLE_VALUE) return;
  for (int guard = 0; guard < 256; ++guard) {
    const std::wstring volume = FromBuffer(name, MAX_PATH);
    const std::vector<std::wstring> paths = VolumePaths(path_names, volume.c_str());
    const bool lettered = std::any_of(paths.begin(), paths.end(), [](const std::wstring& path) {
      return path.size() == 3 && path[1] == L':';
    });
    if (!lettered && ::GetDriveTypeW(volume.c_str()) == DRIVE_FIXED) {
      targets.push_back(
          {paths.empty() ? volume : paths.front(), volume, WithoutTrailingBackslash(volume)});
    }
    if (!find_next(find, name, MAX_PATH)) break;
  }
  find_close(find);
}

}  // namespace

bool IsWindows7OrLater() {
  const OSVERSIONINFOEXW version = GetWindowsVersion();
  return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
}

std::wstring UnknownValue(const std::wstring& why) {
  return L"unknown (" + why + L")";
}

std::wstring UnknownFromError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return UnknownValue(L"access denied");
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_PARAMETER:
      return UnknownValue(L"the device does not say");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return UnknownValue(L"no such device");
    case ERROR_NOT_READY:
      return UnknownValue(L"not ready");
    default:
      return UnknownValue(Format(L"error %lu", error));
  }
}

bool SeekPenaltyAnswered(const PropertyAnswer& seek_penalty) {
  bool incurs_penalty = false;
  return AnsweredBoolean(seek_penalty, incurs_penalty);
}

std::wstring MediaTypeValue(const PropertyAnswer& seek_penalty, bool windows7_or_later,
                            const IdentifyAnswer& identify) {
  bool incurs_penalty = false;
  if (AnsweredBoolean(seek_penalty, incurs_penalty)) {
    return incurs_penalty ? L"hard disk (seek penalty)" : L"SSD (no seek penalty)";
  }
  const std::wstring by_rotation = RotationRateValue(identify);
  return by_rotation.empty() ? UnknownPropertyValue(seek_penalty, windows7_or_later) : by_rotation;
}

std::wstring TrimDeviceValue(const PropertyAnswer& trim, bool windows7_or_later) {
  bool enabled = false;
  if (!AnsweredBoolean(trim, enabled)) return UnknownPropertyValue(trim, windows7_or_later);
  return enabled ? L"supported" : L"not supported";
}

std::wstring TrimSystemValue(LONG error, DWORD type, DWORD value) {
  if (error == ERROR_FILE_NOT_FOUND) return L"on (DisableDeleteNotify not set)";
  if (error != ERROR_SUCCESS) return UnknownFromError(static_cast<DWORD>(error));
  if (type != REG_DWORD) return UnknownValue(L"DisableDeleteNotify is not a number");
  return Format(value == 0 ? L"on (DisableDeleteNotify = %lu)" : L"off (DisableDeleteNotify = %lu)",
                value);
}

std::wstring BusTypeName(DWORD bus_type) {
  static const wchar_t* const kNames[] = {L"unknown",
                                          L"SCSI",
                                          L"ATAPI",
                                          L"ATA",
                                          L"1394",
                                          L"SSA",
                                          L"Fibre Channel",
                                          L"USB",
                                          L"RAID",
                                          L"iSCSI",
                                          L"SAS",
                                          L"SATA",
                                          L"SD",
                                          L"MMC",
                                          L"virtual",
                                          L"file-backed virtual",
                                          L"Storage Spaces",
                                          L"NVMe",
                                          L"SCM",
                                          L"UFS"};
  if (bus_type < sizeof kNames / sizeof kNames[0]) return kNames[bus_type];
  return Format(L"bus type %lu", bus_type);
}

std::wstring PhysicalDiskValue(DWORD disk_number, const PropertyAnswer& device) {
  const std::wstring number = Format(L"%lu", disk_number);
  if (device.error != ERROR_SUCCESS) return number + L", " + UnknownFromError(device.error);
  if (device.bytes.size() < offsetof(STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength)) {
    return number + L", " + UnknownValue(L"short answer");
  }
  STORAGE_DEVICE_DESCRIPTOR descriptor = {};
  std::memcpy(&descriptor, device.bytes.data(), std::min(device.bytes.size(), sizeof descriptor));
  std::wstring model = Trimmed(DescriptorText(device.bytes, descriptor.VendorIdOffset) + L" " +
                               DescriptorText(device.bytes, descriptor.ProductIdOffset));
  if (model.empty()) model = L"model not given";
  return number + L", " + model + L", bus " + BusTypeName(descriptor.BusType);
}

std::wstring DirtyBitValue(DWORD error, ULONG flags) {
  if (error != ERROR_SUCCESS) return UnknownFromError(error);
  return (flags & kVolumeIsDirty) ? L"set" : L"not set";
}

std::wstring SmartValue(DWORD error, ULONG predict_failure) {
  if (error != ERROR_SUCCESS) return UnknownFromError(error);
  return predict_failure != 0 ? L"failure predicted" : L"no failure predicted";
}

std::wstring BytesValue(uint64_t bytes) {
  return Decimal(bytes) + L" bytes (" + FormatByteSize(bytes, L'.') + L")";
}

std::wstring FreeSpaceValue(uint64_t free_bytes, uint64_t total_bytes) {
  if (total_bytes == 0) return Decimal(free_bytes) + L" bytes";
  // Tenths of a per cent, rounded, in integers: no locale's separator.
  const uint64_t tenths = (free_bytes * 2000 / total_bytes + 1) / 2;
  return Format(L"%ls bytes (%llu.%llu %%)", Decimal(free_bytes).c_str(),
                static_cast<unsigned long long>(tenths / 10),
                static_cast<unsigned long long>(tenths % 10));
}

std::wstring FreeExtentsValue(const FreeSpaceExtents& extents) {
  return Decimal(extents.extents);
}

std::wstring LargestFreeExtentValue(const FreeSpaceExtents& extents, uint64_t cluster_bytes) {
  const std::wstring clusters = Decimal(extents.largest) + L" clusters";
  if (cluster_bytes == 0) return clusters;
  return clusters + L" (" + FormatByteSize(extents.largest * cluster_bytes, L'.') + L")";
}

std::vector<VolumeTarget> ListFixedVolumes() {
  std::vector<VolumeTarget> targets;
  const DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
    if (!(drives & (1u << (letter - L'A')))) continue;
    const std::wstring root = std::wstring(1, letter) + L":\\";
    if (::GetDriveTypeW(root.c_str()) != DRIVE_FIXED) continue;
    targets.push_back({root, root, L"\\\\.\\" + std::wstring(1, letter) + L":"});
  }
  AppendVolumesWithoutLetter(targets);
  return targets;
}

VolumeFacts ReadVolumeFacts(const VolumeTarget& target, size_t bitmap_chunk_bytes,
                            const TickDeadline& deadline) {
  VolumeFacts facts;
  ReadGeometry(target, facts);
  const UniqueHandle volume = OpenDevice(target.device, FILE_READ_ATTRIBUTES);
  if (!volume) {
    const std::wstring why = UnknownFromError(::GetLastError());
    facts.physical_disks = {why};
    facts.media_type = facts.trim_device = facts.smart = facts.dirty_bit = why;
    facts.mft_size = facts.mft_zone = facts.shadow_copies = why;
  } else {
    ReadDisks(volume.get(), facts);
    ReadDirtyBit(volume.get(), facts);
    ReadNtfsData(volume.get(), facts);
    ReadShadowCopies(volume.get(), facts);
  }
  ReadBitmap(target, bitmap_chunk_bytes, deadline, facts);
  return facts;
}

}  // namespace velmora
