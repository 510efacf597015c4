#include "reports/registry/autoruns_report.h"

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "common/strings.h"
#include "environment/app_frame.h"
#include "environment/folders.h"
#include "environment/wow64.h"
#include "reports/files/find_files.h"
#include "reports/registry/autorun_values.h"
#include "reports/registry/registry_class_ex.h"
#include "reports/registry/resolve_shortcut.h"

namespace velmora {

namespace {

constexpr wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows\\";
constexpr wchar_t kWindowsTwinKey[] = L"Software\\Wow6432Node\\Microsoft\\Windows\\";
constexpr wchar_t kCurrentVersionKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
constexpr wchar_t kCurrentVersionTwinKey[] =
    L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\";
constexpr wchar_t kNtWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr wchar_t kNtWindowsTwinKey[] =
    L"Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr wchar_t kPoliciesSystemKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr wchar_t kPoliciesSystemTwinKey[] =
    L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr wchar_t kWinlogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr wchar_t kWinlogonTwinKey[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// Files that Explorer keeps in every folder; they start nothing.
constexpr const wchar_t* kExcludedFiles[] = {L"desktop.ini", L"Thumbs.db"};

struct Place {
  HKEY root;
  std::wstring path;
};

struct ValuePlace {
  HKEY root;
  std::wstring path;
  std::wstring value;
};

// A key under both roots, then on 64-bit Windows its Wow6432Node twin under both.
std::vector<Place> PlacesOf(const std::wstring& plain, const std::wstring& twin) {
  std::vector<Place> places = {{HKEY_CURRENT_USER, plain}, {HKEY_LOCAL_MACHINE, plain}};
  if (IsWow64()) {
    places.push_back({HKEY_CURRENT_USER, twin});
    places.push_back({HKEY_LOCAL_MACHINE, twin});
  }
  return places;
}

bool OpenPlace(TRegistry& registry, HKEY root, const std::wstring& path) {
  registry.SetRoot(root);
  // From the root, whatever an earlier place left open.
  return registry.OpenKeyRead(L"\\" + path);
}

// A value of another type than text is left out on its own, so that one odd
// entry does not cost the whole report.
std::optional<std::wstring> ReadAutostartText(const TRegistry& registry, const std::wstring& name) {
  try {
    return registry.ReadText(name);
  } catch (const ERegistryException&) {
    return std::nullopt;
  }
}

std::optional<std::wstring> ReadValuePlace(TRegistry& registry, const ValuePlace& place) {
  if (!OpenPlace(registry, place.root, place.path)) return std::nullopt;
  std::optional<std::wstring> text = ReadAutostartText(registry, place.value);
  registry.CloseCurrentKey();
  return text;
}

std::vector<std::wstring> ValueNamesOfOpenKey(const TRegistry& registry) {
  std::vector<std::wstring> names;
  registry.ListValues(names);
  return names;
}

// The header goes in only when the group has lines, right before the first.
template <typename Fill>
void AddGroup(ReportList& report, const std::wstring& name, Fill fill) {
  const size_t start = report.size();
  fill();
  if (report.size() > start) {
    report.insert(report.begin() + static_cast<ptrdiff_t>(start),
                  L"---------- " + name + L" ----------");
  }
}

bool IsExcludedFile(const std::wstring& name) {
  for (const wchar_t* excluded : kExcludedFiles) {
    if (EqualsNoCase(name, excluded)) return true;
  }
  return false;
}

bool IsShortcut(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  return dot != std::wstring::npos && EqualsNoCase(name.substr(dot), L".lnk");
}

void AddStartupFolder(ReportList& report, const std::wstring& folder) {
  if (folder.empty()) return;
  ReportList files;
  FindFiles(folder, files, FindKind::kFiles, L"", true);
  for (const std::wstring& path : files) {
    const std::wstring name = SplitAtLastBackslash(path).second;
    if (IsExcludedFile(name)) continue;
    report.push_back(IsShortcut(name) ? ResolveShortcut(path) : path);
  }
}

void AddStartupGroup(ReportList& report) {
  AddStartupFolder(report, TAppFrame::GetFolder(kStartupFolder));
  AddStartupFolder(report, GetSpecialFolder(CSIDL_COMMON_STARTUP));
}

// "<value name>=<data>" for every value of the key at each place.
void AddValueLines(ReportList& report, TRegistry& registry, const std::wstring& plain,
                   const std::wstring& twin) {
  for (const Place& place : PlacesOf(plain, twin)) {
    if (!OpenPlace(registry, place.root, place.path)) continue;
    for (const std::wstring& name : ValueNamesOfOpenKey(registry)) {
      if (const std::optional<std::wstring> text = ReadAutostartText(registry, name)) {
        report.push_back(name + L"=" + *text);
      }
    }
    registry.CloseCurrentKey();
  }
}

void AddRunOnceExEntry(ReportList& report, TRegistry& registry, const std::wstring& path) {
  if (!registry.OpenKeyRead(L"\\" + path)) return;
  for (const std::wstring& name : ValueNamesOfOpenKey(registry)) {
    if (const std::optional<std::wstring> text = ReadAutostartText(registry, name)) {
      AppendList(report, RunOnceExLines(*text));
    }
  }
  registry.CloseCurrentKey();
}

void AddRunOnceExGroup(ReportList& report, TRegistry& registry) {
  const std::wstring last = L"CurrentVersion\\RunOnceEx";
  for (const Place& place : PlacesOf(kWindowsKey + last, kWindowsTwinKey + last)) {
    if (!OpenPlace(registry, place.root, place.path)) continue;
    std::vector<std::wstring> entries;
    registry.ListSubkeys(entries);
    registry.CloseCurrentKey();
    for (const std::wstring& entry : entries) {
      AddRunOnceExEntry(report, registry, place.path + L"\\" + entry);
    }
  }
}

void AddNtRunGroup(ReportList& report, TRegistry& registry) {
  std::vector<std::wstring> paths = {kNtWindowsKey};
  if (IsWow64()) paths.push_back(kNtWindowsTwinKey);
  for (const std::wstring& path : paths) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      for (const wchar_t* value : {L"Run", L"Load"}) {
        if (const std::optional<std::wstring> text =
                ReadValuePlace(registry, {root, path, value})) {
          AppendList(report, CommaListLines(*text));
        }
      }
    }
  }
}

void AddWindowsShellGroup(ReportList& report, TRegistry& registry) {
  struct ShellPlace {
    ValuePlace place;
    const wchar_t* standard_program;
  };
  std::vector<ShellPlace> places = {
      {{HKEY_CURRENT_USER, kPoliciesSystemKey, L"Shell"}, L"explorer.exe"},
      {{HKEY_LOCAL_MACHINE, kWinlogonKey, L"Shell"}, L"explorer.exe"},
      {{HKEY_LOCAL_MACHINE, kWinlogonKey, L"Userinit"}, L"userinit.exe"},
  };
  if (IsWow64()) {
    places.push_back({{HKEY_CURRENT_USER, kPoliciesSystemTwinKey, L"Shell"}, L"explorer.exe"});
    places.push_back({{HKEY_LOCAL_MACHINE, kWinlogonTwinKey, L"Shell"}, L"explorer.exe"});
    places.push_back({{HKEY_LOCAL_MACHINE, kWinlogonTwinKey, L"Userinit"}, L"userinit.exe"});
  }
  const std::wstring system_dir = TAppFrame::GetFolder(kSystemFolder);
  const std::wstring windows_dir = TAppFrame::GetFolder(kWindowsFolder);
  for (const ShellPlace& shell : places) {
    if (const std::optional<std::wstring> text = ReadValuePlace(registry, shell.place)) {
      AppendList(report, WinlogonLines(*text, shell.standard_program, system_dir, windows_dir));
    }
  }
}

}  // namespace

ReportList GetAutorunsReport() {
  ReportList report = {L"", L"===== Autoruns =====", L""};
  TRegistry registry(KEY_READ);
  AddGroup(report, L"Startup", [&] { AddStartupGroup(report); });
  AddGroup(report, L"Run", [&] {
    AddValueLines(report, registry, std::wstring(kWindowsKey) + L"CurrentVersion\\Run",
                  std::wstring(kWindowsTwinKey) + L"CurrentVersion\\Run");
  });
  AddGroup(report, L"RunOnce", [&] {
    AddValueLines(report, registry, std::wstring(kWindowsKey) + L"CurrentVersion\\RunOnce",
                  std::wstring(kWindowsTwinKey) + L"CurrentVersion\\RunOnce");
  });
  AddGroup(report, L"RunOnceEx", [&] { AddRunOnceExGroup(report, registry); });
  AddGroup(report, L"policies Run", [&] {
    AddValueLines(report, registry, std::wstring(kCurrentVersionKey) + L"Policies\\Explorer\\Run",
                  std::wstring(kCurrentVersionTwinKey) + L"Policies\\Explorer\\Run");
  });
  AddGroup(report, L"NT Run", [&] { AddNtRunGroup(report, registry); });
  AddGroup(report, L"Windows Shell", [&] { AddWindowsShellGroup(report, registry); });
  return report;
}

}  // namespace velmora
