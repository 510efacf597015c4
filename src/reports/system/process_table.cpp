#include "reports/system/process_table.h"

#include <windows.h>

#include <algorithm>

#include "common/number_format.h"
#include "common/strings.h"

namespace velmora {

namespace {

std::wstring MiddleText(const ProcessEntry& e, wchar_t separator) {
  return PadRight(std::to_wstring(e.handle_count), 3) + L"," +
         PadLeft(std::to_wstring(e.thread_count), 2) + L"| " +
         PadLeft(std::to_wstring(e.working_set_mb), 2) + L"M," +
         PadLeft(std::to_wstring(e.pagefile_mb), 2) + L"M| " + PriorityName(e.priority_class) +
         L"," + FormatDuration(e.run_time_ms, separator);
}

struct ColumnWidths {
  size_t id = 0, name = 0, session = 0, gdi = 0, user = 0, middle = 0;
};

ColumnWidths MeasureColumns(const std::vector<ProcessEntry>& entries,
                            const std::vector<std::wstring>& middles) {
  ColumnWidths w;
  for (size_t i = 0; i < entries.size(); ++i) {
    const ProcessEntry& e = entries[i];
    w.id = std::max(w.id, HexLower(e.process_id, 1).size());
    w.name = std::max(w.name, e.name.size());
    if (e.session_id != 0) w.session = std::max(w.session, std::to_wstring(e.session_id).size());
    w.gdi = std::max(w.gdi, std::to_wstring(e.gdi_objects).size());
    w.user = std::max(w.user, std::to_wstring(e.user_objects).size());
    w.middle = std::max(w.middle, middles[i].size());
  }
  return w;
}

}  // namespace

std::wstring PriorityName(int32_t priority_class) {
  switch (priority_class) {
    case IDLE_PRIORITY_CLASS:
      return L"idle";
    case BELOW_NORMAL_PRIORITY_CLASS:
      return L"below normal";
    case NORMAL_PRIORITY_CLASS:
      return L"normal";
    case ABOVE_NORMAL_PRIORITY_CLASS:
      return L"above normal";
    case HIGH_PRIORITY_CLASS:
      return L"high";
    case REALTIME_PRIORITY_CLASS:
      return L"realtime";
    case 0:
    case -1:
      return L"";
    default:
      return L"$" + HexLower(static_cast<uint32_t>(priority_class), 1);
  }
}

std::wstring FormatProcessRows(const std::vector<ProcessEntry>& entries, wchar_t separator) {
  std::vector<std::wstring> middles;
  middles.reserve(entries.size());
  for (const ProcessEntry& e : entries) middles.push_back(MiddleText(e, separator));
  const ColumnWidths w = MeasureColumns(entries, middles);
  std::wstring rows;
  for (size_t i = 0; i < entries.size(); ++i) {
    const ProcessEntry& e = entries[i];
    if (i > 0) rows += L"\r\n";
    rows += HexLower(e.process_id, static_cast<int>(w.id)) + L" " + PadRight(e.name, w.name + 1);
    if (w.session > 0) rows += PadRight(std::to_wstring(e.session_id), w.session + 1);
    rows += PadRight(std::to_wstring(e.gdi_objects), w.gdi + 1);
    rows += PadRight(std::to_wstring(e.user_objects), w.user + 1);
    rows += PadRight(middles[i], w.middle + 1);
    rows += e.folder;
  }
  return rows;
}

}  // namespace velmora
