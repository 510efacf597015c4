// Makes a test prefix hostile for the fault suite, with the Windows calls that
// reg.exe and sc.exe do not offer: values with exact types and bytes (names
// with embedded NULs included), keys whose security refuses the program,
// services with odd binary paths, shortcuts, and files held open without
// sharing.
//
//   velmora_fault_seeder SCRIPT
//     runs the commands of the file SCRIPT, one a line, fields separated by
//     tabs. Text fields are UTF-16LE bytes in hexadecimal, so that any name
//     (and any length) gets through; ROOT is HKLM or HKCU, VIEW 32 or 64.
//       key ROOT VIEW PATH
//       subkey ROOT VIEW PATH NAME               (NAME may hold NULs)
//       value ROOT VIEW PATH NAME TYPE DATA      (TYPE decimal, DATA raw bytes;
//                                                 PATH may hold NULs)
//       filled ROOT VIEW PATH NAME TYPE COUNT BYTE
//                                                (COUNT decimal times the byte BYTE)
//       link ROOT VIEW PATH NAME TARGET          (a symbolic link key NAME that
//                                                 leads to TARGET under ROOT)
//       protect ROOT VIEW PATH SDDL              (SDDL plain text)
//       delete ROOT VIEW PATH                    (with its subkeys, whatever their security)
//       service NAME DISPLAY BINARY-PATH         (own-process, started on demand)
//       delete-service NAME
//       shortcut FILE TARGET ARGUMENTS
//     Prints "failed: <line number>" for each command that did not work and
//     ends with exit code 1 then.
//   velmora_fault_seeder --hold SIGNAL FILE...
//     opens every FILE for reading without sharing, makes SIGNAL.held, and
//     holds them until SIGNAL exists (at most 30 minutes).
#include <windows.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "common/handles.h"
#include "common/registry_native.h"
#include "support/registry_seed.h"

namespace {

using velmora::ComPtr;
using velmora::UniqueHandle;
using velmora::UniqueRegKey;
using velmora::UniqueServiceHandle;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::wstring TextFromHex(const std::string& hex) {
  const std::string bytes = FromHex(hex);
  std::wstring text(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) fields.push_back(field);
  // An empty last field (no data, no arguments) leaves no field behind the tab.
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

HKEY RootOf(const std::string& name) {
  return name == "HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

REGSAM ViewOf(const std::string& name) {
  return name == "32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

// A path holding NULs leads to a key that "subkey" made before.
UniqueRegKey CreateKey(HKEY root, REGSAM view, const std::wstring& path) {
  UniqueRegKey key;
  if (path.find(L'\0') != std::wstring::npos) {
    velmora::OpenRegistryKey(root, path, KEY_ALL_ACCESS | view, false, key.put());
  } else {
    ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr);
  }
  return key;
}

bool IsLink(HKEY parent, const std::wstring& name, REGSAM view) {
  UniqueRegKey key;
  DWORD type = REG_NONE;
  return velmora::OpenRegistryKey(parent, name, KEY_QUERY_VALUE | view, true, key.put()) ==
             ERROR_SUCCESS &&
         ::RegQueryValueExW(key.get(), velmora::kSymbolicLinkValueName, nullptr, &type, nullptr,
                            nullptr) == ERROR_SUCCESS &&
         type == REG_LINK;
}

bool Protect(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& sddl) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | view, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return false;
  }
  const bool set =
      ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
  ::LocalFree(descriptor);
  return set;
}

// Gives every key of the tree back full access, so that it can be deleted:
// a key that refuses everything else still lets its security be changed.
void OpenUp(HKEY root, REGSAM view, const std::wstring& path) {
  Protect(root, view, path, L"D:(A;OICI;KA;;;WD)");
  UniqueRegKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | view, key.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  for (const std::wstring& child : velmora::test::SubkeyNames(key.get())) {
    // Names that hold NULs cannot be reached by path; they are never
    // protected. A link would lead elsewhere, or round in a circle.
    if (child.find(L'\0') == std::wstring::npos && !IsLink(key.get(), child, view)) {
      OpenUp(root, view, path + L"\\" + child);
    }
  }
}

bool DeleteTree(HKEY root, REGSAM view, const std::wstring& path) {
  OpenUp(root, view, path);
  velmora::test::DeleteKeyTree(root, path, view);
  UniqueRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) ==
         ERROR_FILE_NOT_FOUND;
}

bool CreateOwnService(const std::wstring& name, const std::wstring& display,
                      const std::wstring& binary_path) {
  UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  UniqueServiceHandle service(
      ::CreateServiceW(manager.get(), name.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                       binary_path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  return static_cast<bool>(service);
}

bool DeleteOwnService(const std::wstring& name) {
  UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  UniqueServiceHandle service(::OpenServiceW(manager.get(), name.c_str(), DELETE));
  if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  return ::DeleteService(service.get()) != FALSE;
}

bool SaveShortcut(const std::wstring& file, const std::wstring& target,
                  const std::wstring& arguments) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> persist;
  return SUCCEEDED(velmora::CreateInProcess(CLSID_ShellLink, IID_IShellLinkW, link)) &&
         SUCCEEDED(link->SetPath(target.c_str())) &&
         SUCCEEDED(link->SetArguments(arguments.c_str())) &&
         SUCCEEDED(link.QueryInto(IID_IPersistFile, persist)) &&
         SUCCEEDED(persist->Save(file.c_str(), TRUE));
}

bool RunCommand(const std::vector<std::string>& f) {
  const std::string& command = f.empty() ? std::string() : f[0];
  if (command == "key" && f.size() == 4) {
    return static_cast<bool>(CreateKey(RootOf(f[1]), ViewOf(f[2]), TextFromHex(f[3])));
  }
  if (command == "subkey" && f.size() == 5) {
    const UniqueRegKey parent = CreateKey(RootOf(f[1]), ViewOf(f[2]), TextFromHex(f[3]));
    return parent &&
           velmora::test::CreateCountedSubkey(parent.get(), TextFromHex(f[4]), ViewOf(f[2]));
  }
  if (command == "value" && f.size() == 7) {
    const UniqueRegKey key = CreateKey(RootOf(f[1]), ViewOf(f[2]), TextFromHex(f[3]));
    return key && velmora::test::SetCountedValue(key.get(), TextFromHex(f[4]), std::stoul(f[5]),
                                                 FromHex(f[6]));
  }
  if (command == "filled" && f.size() == 8) {
    const UniqueRegKey key = CreateKey(RootOf(f[1]), ViewOf(f[2]), TextFromHex(f[3]));
    return key &&
           velmora::test::SetCountedValue(
               key.get(), TextFromHex(f[4]), std::stoul(f[5]),
               std::string(std::stoul(f[6]), static_cast<char>(std::stoi(f[7], nullptr, 16))));
  }
  if (command == "link" && f.size() == 6) {
    const UniqueRegKey parent = CreateKey(RootOf(f[1]), ViewOf(f[2]), TextFromHex(f[3]));
    return parent &&
           velmora::test::CreateLinkSubkey(
               parent.get(), TextFromHex(f[4]),
               velmora::test::NativeKeyPath(RootOf(f[1]), TextFromHex(f[5])), ViewOf(f[2]));
  }
  if (command == "protect" && f.size() == 5) {
    return Protect(RootOf(f[1]), ViewOf(f[2]), TextFromHex(f[3]),
                   std::wstring(f[4].begin(), f[4].end()));
  }
  if (command == "delete" && f.size() == 4) {
    return DeleteTree(RootOf(f[1]), ViewOf(f[2]), TextFromHex(f[3]));
  }
  if (command == "service" && f.size() == 4) {
    return CreateOwnService(TextFromHex(f[1]), TextFromHex(f[2]), TextFromHex(f[3]));
  }
  if (command == "delete-service" && f.size() == 2) return DeleteOwnService(TextFromHex(f[1]));
  if (command == "shortcut" && f.size() == 4) {
    return SaveShortcut(TextFromHex(f[1]), TextFromHex(f[2]), TextFromHex(f[3]));
  }
  return false;
}

int RunScript(const wchar_t* script) {
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    std::printf("failed: cannot read the script\n");
    return 1;
  }
  velmora::ComApartment apartment;
  int failures = 0;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!RunCommand(Fields(line))) {
      std::printf("failed: %d\n", number);
      ++failures;
    }
  }
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}

int Hold(int count, wchar_t** files, const std::wstring& signal) {
  std::vector<UniqueHandle> held;
  for (int i = 0; i < count; ++i) {
    UniqueHandle file(::CreateFileW(files[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
      std::printf("failed: cannot hold %ls\n", files[i]);
      std::fflush(stdout);
      return 1;
    }
    held.push_back(std::move(file));
  }
  UniqueHandle ready(::CreateFileW((signal + L".held").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ready.reset();
  const DWORD start = ::GetTickCount();
  while (::GetFileAttributesW(signal.c_str()) == INVALID_FILE_ATTRIBUTES &&
         ::GetTickCount() - start < 30 * 60 * 1000) {
    ::Sleep(100);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wstring(argv[1]) == L"--hold") return Hold(argc - 3, argv + 3, argv[2]);
  if (argc == 2) return RunScript(argv[1]);
  std::printf("usage: velmora_fault_seeder SCRIPT | --hold SIGNAL FILE...\n");
  return 2;
}
