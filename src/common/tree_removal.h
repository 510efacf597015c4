// Deleting a folder tree by handle. The program runs elevated in folders the
// user's own programs may reach: a subfolder swapped for a link while the
// deletion runs must never turn it into a delete somewhere else. So every
// child is opened relative to its folder's handle, checked on that handle and
// deleted on it; a link is removed as a link, never entered, and what cannot
// be removed that way is left alone.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// What a handle must be opened with for RemoveTreeByHandle: the subfolders
// are opened with the same, without delete sharing, so that nobody can
// rename or replace one while it is being emptied.
constexpr ACCESS_MASK kRemoveTreeAccess =
    DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kRemoveTreeShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Empties the open folder and marks it for deletion, which happens when its
// handle closes. True when everything inside went and the folder is marked.
bool RemoveTreeByHandle(HANDLE folder);

// Removes what stands at `name` inside the open `folder` as the walk does: a
// link as itself, a folder with everything in it. True when it is gone.
bool RemoveChildTree(HANDLE folder, const std::wstring& name);

}  // namespace velmora
