// The drive letters present and the file system of each ("diskinfo.txt").
#pragma once

#include <string>

#include "common/report_list.h"

namespace velmora {

struct VolumeNames {
  std::wstring label;
  std::wstring file_system;
};

// One line per present drive C: to Z:, such as "C:\ NTFS", or "D:\ " when the
// drive cannot be read. Does nothing when given no list.
void AppendDiskVolumes(ReportList* list);
VolumeNames GetVolumeNames(wchar_t drive_letter);

}  // namespace velmora
