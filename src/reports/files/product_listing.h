// "FilesInfo.txt": for each known version of the product, every file of its
// installation folder with version, size and MD5.
#pragma once

#include <string>

#include "common/report_list.h"
#include "reports/files/find_files.h"

namespace velmora {

struct ProductListingRow {
  const wchar_t* uninstall_entry;
  const wchar_t* heading;
};

// The versions in the order of the listing, each with the heading of its
// block, exactly as support knows them (trailing blanks included).
inline constexpr ProductListingRow kProductListing[] = {
    {L"Corvane 2_is1", L"===== Corvane v2 free"}, {L"Corvane 2 Pro_is1", L"===== Corvane v2 pro "},
    {L"Corvane 3_is1", L"===== Corvane v3 free"}, {L"Corvane 3 Pro_is1", L"===== Corvane v3 pro "},
    {L"Corvane 4_is1", L"===== Corvane v4 free"}, {L"Corvane 4 Pro_is1", L"===== Corvane v4 Pro"},
    {L"Corvane_is1", L"===== Corvane v6"},
};

// Every file below the folder, breadth first (the top folder's files, then
// each subfolder's in the order they were found), as "<path>=<size>". Empty
// when the folder does not exist; a folder that cannot be searched ends the
// walk with what was found so far; a folder reached again through a link is
// not walked twice.
ReportList ListFolderTree(const std::wstring& folder);

// The same walk, each file handed to `visit` in that order while the folder it
// was listed in is held open.
void WalkFolderTree(const std::wstring& folder, const FoundEntryVisitor& visit);

// The block of one version: an empty line, the heading, an empty line and one
// line "<path>, <version>, <size>, <MD5>" per file. Just the heading between
// the empty lines when the uninstall entry cannot be read or its
// "InstallLocation" is not text; nothing at all when the installation folder
// holds no files (or there is none).
ReportList ListProductInstallation(const std::wstring& uninstall_entry,
                                   const std::wstring& heading);

// Writes the blocks of every version to W + "FilesInfo.txt" as a report text
// file; raises ReportError when the file cannot be written.
void SaveProductListing(const std::wstring& working_folder);

}  // namespace velmora
