// Files and folders reached by handle: each child opened relative to its
// folder's handle, as itself (a link is opened, never followed, on systems
// that honour that), and asked about on the handle that was opened. A name
// looked up again by path may lead somewhere else by then; a handle cannot.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"

namespace velmora {

// What a handle tells of the object it is open on.
struct FileFacts {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  DWORD reparse_tag = 0;

  bool known() const { return attributes != INVALID_FILE_ATTRIBUTES; }
  // Any reparse point: what it leads to is never entered, whatever its kind.
  bool link() const { return known() && (attributes & FILE_ATTRIBUTE_REPARSE_POINT); }
  bool folder() const { return known() && (attributes & FILE_ATTRIBUTE_DIRECTORY); }
};

// One entry of a folder's listing, as the folder itself tells it.
struct FolderEntryFacts {
  std::wstring name;
  DWORD attributes = 0;
  // The file's number on its volume; 0 where the system gives none.
  LONGLONG file_id = 0;
  LONGLONG size = 0;
  // The reparse tag of a reparse point; 0 where the listing gives none.
  DWORD reparse_tag = 0;
};

// Opens `name`, one name without backslashes, inside the open `folder`, as
// itself. An empty name opens `folder` again.
UniqueHandle OpenChild(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                       ULONG options = 0);

// Makes the new folder `name` inside the open `folder` and returns the handle
// that made it: fails when anything at all stands there, so the folder is one
// the caller made, held from the moment it exists.
UniqueHandle CreateChildFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                               ULONG share, PSECURITY_DESCRIPTOR security);

// The folder at `path` opened as itself (a link at its name is not followed).
UniqueHandle OpenFolderAsItself(const std::wstring& path, ACCESS_MASK access, ULONG share);

// The attributes and reparse tag of the open object. Replaceable, so that a
// test can present a junction where the system cannot make one (Wine resolves
// links on open). Returns the reader it replaced.
FileFacts ReadFileFacts(HANDLE handle);
using FileFactsReader = FileFacts (*)(HANDLE);
FileFactsReader SetFileFactsReader(FileFactsReader reader);

// The open object's number on its volume; 0 when the system does not say.
LONGLONG FileIdOf(HANDLE handle);

// Every entry of the open folder but "." and "..". False when it cannot be read.
bool ListFolderEntries(HANDLE folder, std::vector<FolderEntryFacts>* entries);

// The open folder's entry of that name, as the folder tells it now.
bool FindFolderEntry(HANDLE folder, const std::wstring& name, FolderEntryFacts* entry);

// Marks the open object for deletion when its last handle closes.
bool MarkForDeletion(HANDLE handle);

// Takes the read-only attribute off the open object, which otherwise cannot
// be deleted. True when it was not set.
bool ClearReadOnly(HANDLE handle, DWORD attributes);

}  // namespace velmora
