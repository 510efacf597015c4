// Registry keys that a test seeds in the throw-away prefix and removes again.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace velmora::test {

// The names of the key's subkeys as the registry holds them (NULs included).
std::vector<std::wstring> SubkeyNames(HKEY key);

// Deletes the key with everything below it; a missing key is no failure. A
// symbolic link, the key or one below it, is deleted itself, never what it
// leads to.
void DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view);

// A value or a subkey under a name that may hold NULs, which only the native
// calls take. True on success.
bool SetCountedValue(HKEY key, const std::wstring& name, DWORD type, const std::string& bytes);
bool CreateCountedSubkey(HKEY parent, const std::wstring& name, REGSAM view);

// The native path of a key, as a symbolic link holds its target:
// "\Registry\Machine\<path>" or "\Registry\User\<the user's SID>\<path>".
std::wstring NativeKeyPath(HKEY root, const std::wstring& path);
// A symbolic link key under `parent` that leads to `target`, a native path.
bool CreateLinkSubkey(HKEY parent, const std::wstring& name, const std::wstring& target,
                      REGSAM view);

// Leaves everyone only querying values, listing subkeys and deleting the key:
// a key that refuses full access, and KEY_READ, even to an administrator.
// False when the key's security cannot be changed.
bool RestrictKeyAccess(HKEY root, const std::wstring& path, REGSAM view);

// A key created fresh (a leftover of an earlier run is removed first) and
// deleted with all its subkeys when the test ends. `view` is KEY_WOW64_64KEY
// or KEY_WOW64_32KEY.
class SeededKey {
 public:
  SeededKey(HKEY root, std::wstring path, REGSAM view = KEY_WOW64_64KEY);
  ~SeededKey();
  SeededKey(const SeededKey&) = delete;
  SeededKey& operator=(const SeededKey&) = delete;

  HKEY handle() const { return key_; }
  const std::wstring& path() const { return path_; }

  // Any type with the exact bytes given (no terminating NUL is added). A name
  // may hold NULs, as programs that hide their entries write them.
  SeededKey& Raw(const std::wstring& name, DWORD type, const std::string& bytes);
  // Text with its terminating NUL.
  SeededKey& Text(const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ);
  SeededKey& Dword(const std::wstring& name, DWORD value);
  SeededKey& Qword(const std::wstring& name, unsigned long long value);
  // A subkey, created now and removed with this key. Its name may hold NULs.
  SeededKey& Subkey(const std::wstring& name);
  // A symbolic link subkey leading to `target` (a native path).
  SeededKey& Link(const std::wstring& name, const std::wstring& target);

 private:
  HKEY root_;
  std::wstring path_;
  REGSAM view_;
  HKEY key_ = nullptr;
};

// Everything below a key, values with their exact types and bytes.
struct KeySnapshot {
  struct Value {
    std::wstring name;
    DWORD type;
    std::string bytes;
  };
  std::vector<Value> values;
  std::vector<std::pair<std::wstring, KeySnapshot>> subkeys;
};

// Moves a key that the prefix may hold out of a test's way: the key and its
// subkeys are recorded and removed, and what stands at the path when the test
// ends is replaced by the recorded tree (or removed when there was none).
class StashedKey {
 public:
  StashedKey(HKEY root, std::wstring path, REGSAM view = KEY_WOW64_64KEY);
  ~StashedKey();
  StashedKey(const StashedKey&) = delete;
  StashedKey& operator=(const StashedKey&) = delete;

 private:
  HKEY root_;
  std::wstring path_;
  REGSAM view_;
  bool existed_ = false;
  KeySnapshot snapshot_;
};

}  // namespace velmora::test
