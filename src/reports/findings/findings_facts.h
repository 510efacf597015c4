// What the findings know: the facts read back from the report files that the
// run has already written into its working folder. Nothing here asks the
// system; a fact that a file did not give is absent and never a red flag.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/report_list.h"

namespace velmora {

inline constexpr wchar_t kMainReportName[] = L"Velmora_Debug_Info.txt";
inline constexpr wchar_t kStorageReportName[] = L"StorageInfo.txt";
inline constexpr wchar_t kListingReportName[] = L"FilesInfo.txt";

// The "Label: value" lines of one block of the storage file, in their order.
struct LabelledLines {
  std::vector<std::pair<std::wstring, std::wstring>> lines;
  // The value of the first line with that label, or null.
  const std::wstring* Find(std::wstring_view label) const;
};

struct StorageVolume {
  std::wstring name;  // as after "Volume: "
  LabelledLines facts;
};

struct StorageFacts {
  LabelledLines machine;
  std::vector<StorageVolume> volumes;
};

struct ProcessFact {
  std::wstring id;  // as the list prints it, hexadecimal
  std::wstring name;
  uint64_t gdi_objects = 0;
  uint64_t user_objects = 0;
};

struct ServiceFact {
  std::wstring display_name;
  unsigned type = 0;
  int state = 0;
  int start_type = 0;
  std::wstring binary_path;
};

struct SecurityFacts {
  size_t products = 0;  // "Name:" lines under the three product headings
  bool firewall_product_enabled = false;
  // "HomeNetFwEnabled", "PublicNetFwEnabled", "FireWallEnabled", "FwObj" and their values.
  std::vector<std::pair<std::wstring, std::wstring>> firewall;
};

struct FilesReportRow {
  std::wstring line;  // the whole line, as support finds it
  std::wstring relative_path;
  std::wstring md5;
  std::wstring date;
};

struct MainReportFacts {
  std::optional<std::wstring> os_name;
  std::optional<uint64_t> memory_mb;
  std::optional<uint64_t> free_memory_mb;
  std::optional<std::vector<ProcessFact>> processes;
  std::optional<std::vector<ServiceFact>> services;
  std::optional<SecurityFacts> security;
  std::vector<FilesReportRow> files;  // none when the product has no program files
};

struct ListedFile {
  std::wstring path;
  std::wstring version;
};

// One block of the product listing: one installed version of the product.
struct ListedInstallation {
  std::wstring heading;
  std::wstring folder;  // the folder that holds all its files, with a trailing backslash
  std::vector<ListedFile> files;
};

// One report file's facts, or why the file could not be read.
template <typename Facts>
struct FileFacts {
  std::optional<Facts> facts;
  std::wstring why_unread;
};

struct ReportFacts {
  FileFacts<MainReportFacts> main;
  FileFacts<StorageFacts> storage;
  FileFacts<std::vector<ListedInstallation>> listing;
};

// One parser per report file, each given the file's lines.
MainReportFacts ParseMainReport(const ReportList& lines);
StorageFacts ParseStorageReport(const ReportList& lines);
std::vector<ListedInstallation> ParseProductListing(const ReportList& lines);

}  // namespace velmora
