#include "common/process_snapshot.h"

#include "common/handles.h"

namespace velmora {

void ForEachProcess(const std::function<bool(const PROCESSENTRY32W&)>& visit) {
  UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (visit(entry)) return;
  }
}

}  // namespace velmora
