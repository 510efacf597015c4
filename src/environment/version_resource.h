// The version resource of a file, parsed from its block structure.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct VersionResource {
  std::optional<VS_FIXEDFILEINFO> fixed;
  // Each entry: language in the low 16 bits, code page in the high 16 bits.
  std::vector<DWORD> translations;
  // String tables in resource order, keyed like "040904E4".
  std::vector<std::pair<std::wstring, std::map<std::wstring, std::wstring>>> string_tables;

  // The table for the first translation, else the first table present.
  const std::map<std::wstring, std::wstring>* PrimaryStringTable() const;
};

// Empty when the file has no version resource or it cannot be read.
std::optional<VersionResource> ReadVersionResource(const std::wstring& file);
// Loads the version library now rather than at the first read: for readers
// that must not load a DLL when they run (a crash report's sections).
void LoadVersionFunctions();
// The path to hand to the system's version calls, which take no "\\?\"
// form: the path itself up to MAX_PATH, else its short form when that fits;
// empty when neither does.
std::wstring PathForVersionCalls(const std::wstring& file);
// Parses raw version-information bytes as GetFileVersionInfoW returns them.
std::optional<VersionResource> ParseVersionResource(const BYTE* data, size_t size);

// The FileVersion string through the first translation; `fallback` when the
// file has no version resource or no translation, "" when the table lacks it.
std::wstring GetFileVersionString(const std::wstring& file, const std::wstring& fallback);

// The four parts of the fixed file version joined by dots, without padding.
std::wstring FixedVersionText(const VS_FIXEDFILEINFO& fixed);

// "a.b.c.d" from the fixed file version; when that is 0.0.0.0, the FileVersion string.
std::wstring GetModuleVersionText(const std::wstring& file);

}  // namespace velmora
