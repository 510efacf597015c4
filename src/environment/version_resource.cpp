#include "environment/version_resource.h"

#include <cstring>

#include "common/dynamic_function.h"
#include "common/no_follow_files.h"
#include "common/strings.h"
#include "common/system_library.h"

namespace velmora {

namespace {

// One node of the resource: wLength, wValueLength, wType, key, value, children.
struct Block {
  std::wstring key;
  const BYTE* value = nullptr;
  size_t value_bytes = 0;
  bool text = false;
  const BYTE* children = nullptr;
  const BYTE* end = nullptr;
};

size_t AlignUp4(const BYTE* base, const BYTE* p) {
  return static_cast<size_t>((4 - ((p - base) & 3)) & 3);
}

std::optional<Block> ReadBlock(const BYTE* base, const BYTE* p, const BYTE* limit) {
  if (limit - p < 6) return std::nullopt;
  const WORD length = *reinterpret_cast<const WORD*>(p);
  const WORD value_length = *reinterpret_cast<const WORD*>(p + 2);
  const WORD type = *reinterpret_cast<const WORD*>(p + 4);
  if (length < 6 || length > limit - p) return std::nullopt;
  Block block;
  block.end = p + length;
  const auto* key = reinterpret_cast<const wchar_t*>(p + 6);
  const size_t key_capacity = static_cast<size_t>(block.end - (p + 6)) / sizeof(wchar_t);
  block.key = FromBuffer(key, key_capacity);
  const BYTE* cursor = p + 6 + (block.key.size() + 1) * sizeof(wchar_t);
  if (cursor > block.end) return std::nullopt;
  cursor += AlignUp4(base, cursor);
  block.text = type == 1;
  block.value_bytes = block.text ? value_length * sizeof(wchar_t) : value_length;
  block.value = cursor;
  if (cursor > block.end || block.value_bytes > static_cast<size_t>(block.end - cursor)) {
    block.value_bytes = cursor > block.end ? 0 : static_cast<size_t>(block.end - cursor);
  }
  cursor += block.value_bytes;
  if (cursor <= block.end) cursor += AlignUp4(base, cursor);
  block.children = cursor < block.end ? cursor : block.end;
  return block;
}

template <typename Visit>
void ForEachChild(const BYTE* base, const Block& parent, Visit visit) {
  const BYTE* p = parent.children;
  while (p < parent.end) {
    std::optional<Block> child = ReadBlock(base, p, parent.end);
    if (!child) return;
    visit(*child);
    p = child->end + AlignUp4(base, child->end);
  }
}

std::wstring TextValue(const Block& block) {
  return FromBuffer(reinterpret_cast<const wchar_t*>(block.value),
                    block.value_bytes / sizeof(wchar_t));
}

void ReadStringFileInfo(const BYTE* base, const Block& info, VersionResource& out) {
  ForEachChild(base, info, [&](const Block& table) {
    std::map<std::wstring, std::wstring> strings;
    ForEachChild(base, table, [&](const Block& entry) { strings[entry.key] = TextValue(entry); });
    out.string_tables.emplace_back(table.key, std::move(strings));
  });
}

void ReadVarFileInfo(const BYTE* base, const Block& info, VersionResource& out) {
  ForEachChild(base, info, [&](const Block& var) {
    if (!EqualsNoCase(var.key, L"Translation")) return;
    for (size_t i = 0; i + 4 <= var.value_bytes; i += 4) {
      out.translations.push_back(*reinterpret_cast<const DWORD*>(var.value + i));
    }
  });
}

std::wstring TranslationKey(DWORD translation) {
  return Format(L"%04X%04X", static_cast<unsigned>(LOWORD(translation)),
                static_cast<unsigned>(HIWORD(translation)));
}

std::optional<std::wstring> FileVersionEntry(const VersionResource& resource) {
  const auto* table = resource.PrimaryStringTable();
  if (table == nullptr) return std::nullopt;
  // The platform's own lookup ignores the case of key names, and so do
  // resource compilers that write "Fileversion".
  for (const auto& [key, value] : *table) {
    if (EqualsNoCase(key, L"FileVersion")) return value;
  }
  return std::wstring();
}

// The version library is no system DLL that every Windows loads from its own
// folder: it is loaded by its full path when first needed, not imported.
struct VersionFunctions {
  using InfoSizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  InfoSizeFn info_size = nullptr;
  InfoFn info = nullptr;

  static const VersionFunctions& Get() {
    static const VersionFunctions functions = [] {
      const HMODULE library = LoadSystemLibrary(L"version.dll");
      VersionFunctions loaded{LookUpFunction<InfoSizeFn>(library, "GetFileVersionInfoSizeW"),
                              LookUpFunction<InfoFn>(library, "GetFileVersionInfoW")};
      if (loaded.info == nullptr) loaded.info_size = nullptr;
      return loaded;
    }();
    return functions;
  }
};

}  // namespace

std::wstring PathForVersionCalls(const std::wstring& file) {
  if (file.size() < MAX_PATH) return file;
  // The version calls take no "\\?\" paths: the short form may still fit.
  const std::wstring extended = ExtendedLengthPath(file);
  std::wstring short_path(32768, L'\0');
  const DWORD n = ::GetShortPathNameW(extended.c_str(), short_path.data(),
                                      static_cast<DWORD>(short_path.size()));
  if (n == 0 || n >= short_path.size()) return {};
  short_path.resize(n);
  if (short_path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    short_path = L"\\\\" + short_path.substr(8);
  } else if (short_path.rfind(L"\\\\?\\", 0) == 0) {
    short_path = short_path.substr(4);
  }
  return short_path.size() < MAX_PATH ? short_path : std::wstring();
}

const std::map<std::wstring, std::wstring>* VersionResource::PrimaryStringTable() const {
  if (translations.empty()) return nullptr;
  const std::wstring key = TranslationKey(translations.front());
  for (const auto& [table_key, strings] : string_tables) {
    if (EqualsNoCase(table_key, key)) return &strings;
  }
  return string_tables.empty() ? nullptr : &string_tables.front().second;
}

std::optional<VersionResource> ParseVersionResource(const BYTE* data, size_t size) {
  std::optional<Block> root = ReadBlock(data, data, data + size);
  if (!root) return std::nullopt;
  VersionResource out;
  if (root->value_bytes >= sizeof(VS_FIXEDFILEINFO)) {
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root->value, sizeof(fixed));
    if (fixed.dwSignature == VS_FFI_SIGNATURE) out.fixed = fixed;
  }
  ForEachChild(data, *root, [&](const Block& child) {
    if (EqualsNoCase(child.key, L"StringFileInfo")) ReadStringFileInfo(data, child, out);
    if (EqualsNoCase(child.key, L"VarFileInfo")) ReadVarFileInfo(data, child, out);
  });
  return out;
}

void LoadVersionFunctions() {
  VersionFunctions::Get();
}

std::optional<VersionResource> ReadVersionResource(const std::wstring& file) {
  const VersionFunctions& version = VersionFunctions::Get();
  const std::wstring path = PathForVersionCalls(file);
  if (version.info_size == nullptr || path.empty()) return std::nullopt;
  DWORD handle = 0;
  const DWORD size = version.info_size(path.c_str(), &handle);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> data(size);
  if (!version.info(path.c_str(), 0, size, data.data())) return std::nullopt;
  return ParseVersionResource(data.data(), data.size());
}

std::wstring GetFileVersionString(const std::wstring& file, const std::wstring& fallback) {
  const std::optional<VersionResource> resource = ReadVersionResource(file);
  if (!resource) return fallback;
  return FileVersionEntry(*resource).value_or(fallback);
}

std::wstring FixedVersionText(const VS_FIXEDFILEINFO& fixed) {
  return Format(L"%u.%u.%u.%u", HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS),
                HIWORD(fixed.dwFileVersionLS), LOWORD(fixed.dwFileVersionLS));
}

std::wstring GetModuleVersionText(const std::wstring& file) {
  const std::optional<VersionResource> resource = ReadVersionResource(file);
  if (!resource) return {};
  if (resource->fixed &&
      (resource->fixed->dwFileVersionMS != 0 || resource->fixed->dwFileVersionLS != 0)) {
    return FixedVersionText(*resource->fixed);
  }
  return FileVersionEntry(*resource).value_or(L"");
}

}  // namespace velmora
