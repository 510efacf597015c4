#include "app/archive/archive_tree.h"

#include <algorithm>

#include "common/folder_entries.h"
#include "common/no_follow_files.h"
#include "common/strings.h"

namespace velmora {

namespace {

void WalkFolder(const std::wstring& folder, const std::wstring& prefix,
                std::vector<ArchiveItem>& items) {
  ForEachFolderEntry(folder + L"*.*", [&](const std::wstring& name, const WIN32_FIND_DATAW& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A junction or link could lead out of the tree or round in a circle.
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WalkFolder(folder + name + L"\\", prefix + name + L"/", items);
      }
      return;
    }
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return;
    items.push_back({folder + name, prefix + name, data.dwFileAttributes, data.ftLastWriteTime});
  });
}

}  // namespace

std::vector<ArchiveItem> WalkArchiveTree(const std::wstring& root) {
  std::vector<ArchiveItem> items;
  WalkFolder(EnsureTrailingBackslash(root), L"", items);
  return items;
}

UniqueHandle OpenForArchive(const std::wstring& path) {
  return UniqueHandle(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

int64_t OpenFileSize(HANDLE file) {
  LARGE_INTEGER size;
  return ::GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

bool ReadUpTo(HANDLE file, size_t wanted, std::string& out) {
  out.resize(wanted);
  size_t total = 0;
  while (total < wanted) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(wanted - total, 1u << 24));
    DWORD read = 0;
    if (!::ReadFile(file, out.data() + total, piece, &read, nullptr)) return false;
    if (read == 0) break;  // the file shrank since its size was taken
    total += read;
  }
  out.resize(total);
  return true;
}

}  // namespace velmora
