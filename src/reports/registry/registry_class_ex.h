// The registry access class of the registry and start-up reports. It keeps one
// open key at a time under one root and, on 64-bit Windows, picks the registry
// view by itself: the 64-bit view for every path, the 32-bit view for paths that
// name Wow6432Node explicitly.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/handles.h"

namespace velmora {

enum class TRegDataKind { Text, ExpandText, Dword, Binary, Other };

// Written as the value text of a value whose data could not be read.
inline constexpr wchar_t kReadFailureMarker[] = L"velmorareaderror";

// "Invalid data type for '<name>'" or "Failed to get data for '<name>'".
class ERegistryException : public std::runtime_error {
 public:
  explicit ERegistryException(const std::wstring& message);
  const std::wstring& message() const { return message_; }

 private:
  std::wstring message_;
};

// A value that holds more data than is read (kRegistryValueLimit): "Value too
// large for '<name>'", with the size of its data.
class ERegistryValueTooLarge : public ERegistryException {
 public:
  ERegistryValueTooLarge(const std::wstring& name, DWORD size);
  DWORD size() const { return size_; }

 private:
  DWORD size_;
};

class TRegistry {
 public:
  // Full access (KEY_ALL_ACCESS); the root starts as HKEY_CURRENT_USER.
  TRegistry();
  explicit TRegistry(REGSAM access);
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY CurrentKey() const { return current_key_.get(); }
  HKEY RootKey() const { return root_key_; }
  // Below the root, without a leading backslash; empty when no key is open.
  const std::wstring& CurrentPath() const { return current_path_; }
  // The mask of the full-access open, with the view bits of the last open.
  REGSAM Access() const { return access_; }
  bool Is64BitWindows() const { return is_64bit_windows_; }
  // When set, a key that is a symbolic link opens as the link key itself
  // rather than as the key it points to; off by default.
  bool OpenLinks() const { return open_links_; }
  void SetOpenLinks(bool value) { open_links_ = value; }

  // A different root closes the current key (never the root itself); the
  // same root again keeps it open.
  void SetRoot(HKEY root);
  // A path beginning with "\" starts at the root; any other path is relative
  // to the open key (or to the root when none is open). Names may hold NULs.
  bool OpenKeyFull(const std::wstring& path);
  // Opens the subkey `name` of `parent`, a key the caller holds whose path is
  // `parent_path`, with the access mask, as the current key. A walk opens each
  // child so, below its parent's own handle: a parent replaced since it was
  // listed cannot lead it elsewhere. A link is never followed here, whatever
  // OpenLinks says: it opens as the link key itself.
  bool OpenChildKey(HKEY parent, const std::wstring& parent_path, const std::wstring& name);
  // Hands the current key over to the caller; no key is open afterwards.
  UniqueRegKey ReleaseCurrentKey();
  // Tries KEY_READ, then query and enumerate, then query alone.
  bool OpenKeyRead(const std::wstring& path);
  void CloseCurrentKey();

  // In the registry's order; a subkey named Wow6432Node (any case) is left out.
  void ListSubkeys(std::vector<std::wstring>& names) const;
  // In the registry's order; the default value, when set, under the empty name.
  // Handles the calling thread's waiting messages once per value.
  void ListValues(std::vector<std::wstring>& names) const;
  // Other when the value cannot be queried.
  TRegDataKind ValueKind(const std::wstring& name) const;
  bool HasChildKeys() const;
  // The open key is a symbolic link key (opened as itself): it holds its
  // target in a REG_LINK value named SymbolicLinkValue.
  bool IsLinkKey() const;

  // The whole text up to its first NUL, unexpanded; empty when missing or
  // empty. Raises "Invalid data type" when the value is not text, and
  // ERegistryValueTooLarge when it holds more than kRegistryValueLimit bytes.
  std::wstring ReadText(const std::wstring& name) const;
  // Raises "Invalid data type" when the value is not a DWORD of at most four
  // bytes, "Failed to get data" when it cannot be read.
  int32_t ReadDword(const std::wstring& name) const;
  // 0 when the value cannot be queried. Raises "Invalid data type" for text
  // and DWORD values and for data larger than the buffer, "Failed to get
  // data" when the read fails.
  DWORD ReadBytes(const std::wstring& name, BYTE* buffer, DWORD buffer_size) const;
  // The value text of an export line for a value that the caller found to be
  // of `kind`: the bare text, "dword:" and eight upper-case hex digits (or
  // signed decimal without prefix), "hex:" and comma-separated byte pairs
  // (bare pairs without prefix); empty for a missing or empty value; the
  // read-failure marker when the data changed kind or size under us (one of
  // another kind since), could not be read or is larger than what is read.
  std::wstring ValueAsTextOfKind(const std::wstring& name, TRegDataKind kind, bool prefix) const;

 private:
  struct KeyPlace {
    HKEY base;
    std::wstring sub_path;   // as handed to the platform
    std::wstring full_path;  // the current path once opened
  };
  void SelectView(const std::wstring& path);
  KeyPlace PlaceOf(const std::wstring& path) const;
  void TakeKey(HKEY key, std::wstring full_path);
  bool QueryTypeAndSize(const std::wstring& name, DWORD& type, DWORD& size) const;
  void CheckSizeLimit(const std::wstring& name) const;

  UniqueRegKey current_key_;
  HKEY root_key_ = HKEY_CURRENT_USER;
  std::wstring current_path_;
  REGSAM access_ = KEY_ALL_ACCESS;
  bool is_64bit_windows_;
  bool open_links_ = false;
};

// A key or value name, or a key path, as the reports show it: each NUL (which
// programs put into names to hide their entries) written as "\0".
std::wstring ShownRegistryName(const std::wstring& name);

// Appends data as "01,AB,00": two upper-case hex digits per byte, single commas.
void AppendHexBytes(std::wstring& text, const BYTE* bytes, size_t count);
// "dword:" and the value as eight upper-case hex digits.
std::wstring FormatDwordText(uint32_t value);

}  // namespace velmora
