// Deleting and writing without following junctions, symbolic links or other
// reparse points. The program runs elevated, while the user's own programs can
// write to the temporary folder it works in: a link planted where the program
// expects its own folder or file must never turn a delete or a write into one
// somewhere else.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles.h"

namespace velmora {

struct FolderEntryFacts;  // common/relative_files.h

// Whether two open handles are on the same file: the same volume and the same
// file number on it. A file that gives no number (0) is the same as nothing.
bool IsSameFile(HANDLE first, HANDLE second);

// Whether the path names a reparse point (a junction or a link) itself.
bool IsLinkPath(const std::wstring& path);

// Whether the path is a folder of its own: it exists, is a directory, and
// neither it nor the handle opened on it is a reparse point.
bool IsRealFolder(const std::wstring& path);

// Removes the link at `path` itself. Only a handle that the system reports as
// the reparse point is deleted, so a system that resolves links on open (as
// Wine does) keeps the link instead of losing its target. False when it stays.
bool RemoveLinkItself(const std::wstring& path);

// Deletes a folder with everything in it. Links inside are removed, never
// descended into; a folder that is itself a link loses only the link. True
// when the folder is gone afterwards; false when it was missing.
bool RemoveTreeNoFollow(const std::wstring& folder);

// Whether `folder` is a real folder reached from `root` through real folders
// only: neither it nor any folder between it and `root` is a link. `root`
// itself is trusted; a folder outside it never counts.
bool IsRealFolderBelow(const std::wstring& root, const std::wstring& folder);

// Whether the path names a file of its own: not a folder, not a link.
bool IsPlainFile(const std::wstring& path);

// An existing file opened for reading without following a link at its name,
// with the given sharing and flags. Invalid when the path names a link, a
// folder or anything that cannot be opened.
UniqueHandle OpenPlainFile(const std::wstring& path, DWORD share, DWORD flags = 0);

// What the system tells of an opened file's attributes. Replaceable, so that a
// test can present a link where the system cannot make links to files (Wine
// shows them as the files themselves). Returns the reader it replaced.
using HandleAttributesReader = DWORD (*)(HANDLE);
HandleAttributesReader SetHandleAttributesReader(HandleAttributesReader reader);

// Creates `folder` with any missing parents below `root` (which must exist),
// as real folders: a link in the way is removed first. True when `folder` is a
// real folder afterwards.
bool MakeRealFolderBelow(const std::wstring& root, const std::wstring& folder);

// A new, empty file at `path` opened for writing. A file or link that stood
// there is removed first and never written through. Invalid on failure.
UniqueHandle CreateFreshFile(const std::wstring& path);

// Copies a plain file (never a link, which is skipped) to a destination never
// reached through a link, with its attributes and last-write time. A file
// with more than one name (a hard link) is not copied either. Without
// overwrite an existing destination is kept. False when nothing was copied;
// a copy that fails part-way leaves nothing at the destination.
bool CopyFileNoFollow(const std::wstring& source, const std::wstring& destination, bool overwrite);

// ---- Reparse points that are links, and files opened through their folder

// Whether an object with this reparse tag is a link to another name: the
// name-surrogate bit (symbolic links, junctions, mount points). Other reparse
// points (deduplicated, tiered, cloud and archived files) hold their own data
// and are read as files. A tag that could not be read (0) counts as a link.
bool IsNameSurrogateTag(DWORD tag);

// Whether a found entry is a link: its reparse tag is in dwReserved0.
bool IsLinkEntry(const WIN32_FIND_DATAW& entry);

// What the system tells of an opened reparse point's tag (0 when it cannot
// say). Replaceable, as the attributes are, so that a test can present the
// tags that Windows documents where Wine makes none. Returns the one replaced.
using ReparseTagReader = DWORD (*)(HANDLE);
ReparseTagReader SetReparseTagReader(ReparseTagReader reader);

// A real folder (not a link) opened as itself for listing and for opening
// the files in it, held without delete sharing so that it cannot be renamed
// away while held. Invalid when the path names a link, a file or nothing.
UniqueHandle OpenRealFolderHandle(const std::wstring& path);

// A folder that is trusted as it is (a root that the system or the registry
// names, link or not), held as OpenRealFolderHandle holds one.
UniqueHandle OpenHeldFolder(const std::wstring& path);

// Whether an entry that a folder's handle listed is a link, by the tag that
// the listing gives.
bool IsLinkListed(const FolderEntryFacts& entry);

// The subfolder `entry` of the open `folder`, opened relative to the folder's
// handle and held: invalid unless the handle shows a real folder and the very
// one that was listed (the same file number), so that a name swapped for a
// link or another folder since the listing leads nowhere.
UniqueHandle OpenListedFolderIn(HANDLE folder, const FolderEntryFacts& entry);

// `folder` below `root` opened level by level, each folder relative to the
// one above it and checked on its own handle: no link anywhere between
// them. `root` itself is trusted.
UniqueHandle OpenRealFolderHandleBelow(const std::wstring& root, const std::wstring& folder);

// The file `name` in an opened folder, opened relative to the folder's handle
// and checked on its own handle as OpenPlainFile checks: whatever the folder's
// path names meanwhile, the file is the one in the folder that was opened.
UniqueHandle OpenPlainFileIn(HANDLE folder, const std::wstring& name, DWORD share, DWORD flags = 0);

// CopyFileNoFollow from a file already opened (and checked) by the caller.
bool CopyOpenFileNoFollow(HANDLE from, const std::wstring& destination, bool overwrite);

// The path in the "\\?\" form when it is too long for the plain one, so that
// deep trees can still be walked and deleted.
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace velmora
