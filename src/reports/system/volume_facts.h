// What a volume and the disks under it say about themselves through the
// storage and file-system control codes. The queries open devices with the
// least access each needs and full sharing; the texts are the values of the
// storage profile's lines, "unknown (why)" where a fact cannot be read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/ticks.h"
#include "reports/system/free_space_extents.h"

namespace velmora {

std::wstring UnknownValue(const std::wstring& why);
// A few words for a failed call's error code.
std::wstring UnknownFromError(DWORD error);

// The answer of a storage property query: the error (ERROR_SUCCESS when it
// answered) and the descriptor's bytes as the device returned them.
struct PropertyAnswer {
  DWORD error = ERROR_SUCCESS;
  std::vector<uint8_t> bytes;
};

// A disk's ATA IDENTIFY DEVICE data (256 words) through the ATA pass-through:
// `error` is the pass-through's result.
struct IdentifyAnswer {
  DWORD error = ERROR_NOT_SUPPORTED;
  std::vector<uint8_t> data;
};

// Windows 7 and later answer the seek-penalty query; a device without a seek
// penalty is solid state. Where that query does not answer, the nominal
// rotation rate of the disk's identify data (word 217) tells.
std::wstring MediaTypeValue(const PropertyAnswer& seek_penalty, bool windows7_or_later,
                            const IdentifyAnswer& identify = {});
bool SeekPenaltyAnswered(const PropertyAnswer& seek_penalty);
std::wstring TrimDeviceValue(const PropertyAnswer& trim, bool windows7_or_later);
// Windows 7 is the first to send TRIM and to answer the seek-penalty query.
bool IsWindows7OrLater();
// The system's DisableDeleteNotify: `error` is the registry read's result.
std::wstring TrimSystemValue(LONG error, DWORD type, DWORD value);
// Model and bus from a STORAGE_DEVICE_DESCRIPTOR.
std::wstring PhysicalDiskValue(DWORD disk_number, const PropertyAnswer& device);
std::wstring BusTypeName(DWORD bus_type);
std::wstring DirtyBitValue(DWORD error, ULONG flags);
// From an IOCTL_STORAGE_PREDICT_FAILURE answer (STORAGE_PREDICT_FAILURE).
std::wstring SmartValue(DWORD error, ULONG predict_failure);

// "5368709120 bytes (5.00 GB)".
std::wstring BytesValue(uint64_t bytes);
// "5368709120 bytes (5.0 %)" of `total`.
std::wstring FreeSpaceValue(uint64_t free_bytes, uint64_t total_bytes);

// The facts of one volume, each a finished value text.
struct VolumeFacts {
  std::wstring file_system;
  std::wstring cluster_size;
  uint64_t cluster_bytes = 0;  // 0 when unknown
  std::wstring size;
  std::wstring free_space;
  std::vector<std::wstring> physical_disks;
  std::vector<DWORD> disk_numbers;
  std::wstring media_type;
  std::wstring trim_device;
  std::wstring dirty_bit;
  std::wstring free_extents;
  std::wstring largest_free_extent;
  std::wstring mft_size;
  std::wstring mft_zone;
  std::wstring shadow_copies;
  std::wstring shadow_storage;
  std::wstring smart;
};

// A fixed volume: its block title ("C:\", a mount folder or the volume
// name), the root for the Win32 volume calls and the device to open.
struct VolumeTarget {
  std::wstring title;
  std::wstring root;    // with trailing backslash
  std::wstring device;  // "\\.\C:" or "\\?\Volume{...}"
};

// Fixed volumes by letter, then fixed volumes that have none (Windows XP and
// later list them).
std::vector<VolumeTarget> ListFixedVolumes();

// Reads every fact of the volume; the bitmap is read in chunks of at most
// `bitmap_chunk_bytes` and given up on once the deadline has passed.
VolumeFacts ReadVolumeFacts(const VolumeTarget& target, size_t bitmap_chunk_bytes,
                            const TickDeadline& deadline);

// The bitmap's fragmentation lines from the counts.
std::wstring FreeExtentsValue(const FreeSpaceExtents& extents);
std::wstring LargestFreeExtentValue(const FreeSpaceExtents& extents, uint64_t cluster_bytes);

// At most this much bitmap is asked for at once.
inline constexpr size_t kBitmapChunkBytes = 1u << 20;

}  // namespace velmora
