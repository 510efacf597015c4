#include "common/folder_entries.h"

#include "common/handles.h"
#include "common/no_follow_files.h"
#include "common/strings.h"

namespace velmora {

bool ForEachFolderEntry(
    const std::wstring& pattern,
    const std::function<void(const std::wstring& name, const WIN32_FIND_DATAW& entry)>& visit) {
  WIN32_FIND_DATAW entry = {};
  // Deep folders are searched too: their patterns take the "\\?\" form.
  UniqueFindHandle find(::FindFirstFileW(ExtendedLengthPath(pattern).c_str(), &entry));
  if (!find) return false;
  do {
    const std::wstring name = FromBuffer(entry.cFileName, MAX_PATH);
    if (name != L"." && name != L"..") visit(name, entry);
  } while (::FindNextFileW(find.get(), &entry));
  return true;
}

}  // namespace velmora
