#include "reports/registry/autoruns_report.h"

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/registry_value.h"
#include "common/report_budget.h"
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

// The report's lines within its budget, counting the lines left out past it.
class BudgetedLines {
 public:
  explicit BudgetedLines(ReportList& list) : list_(list) {}

  void push_back(std::wstring line) {
    if (!budget_.Add(list_, std::move(line))) ++left_out_;
  }
  size_t size() const { return list_.size(); }
  // A group's header, which the budget does not count: there are seven.
  void Insert(size_t at, std::wstring line) {
    list_.insert(list_.begin() + static_cast<ptrdiff_t>(at), std::move(line));
  }
  // Ends the lines with what the budget left out, if it left out any.
  void AddLeftOutNote() {
    if (!budget_.exhausted()) return;
    list_.push_back(LeftOutNote(left_out_, budget_));
  }

 private:
  ReportList& list_;
  ReportBudget budget_{kReportBlockBudget};
  size_t left_out_ = 0;
};

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
  // The user may make any key of their own hive a link, to a key that only
  // administrators may read: there none is followed, at any level.
  registry.SetOpenLinks(root == HKEY_CURRENT_USER);
  // From the root, whatever an earlier place left open.
  return registry.OpenKeyRead(L"\\" + path);
}

// What one autostart value gives: its text; nothing, for a value of another
// type than text, which is left out on its own so that one odd entry does not
// cost the whole report; or, for a value too large to be read, its size.
struct AutostartValue {
  std::optional<std::wstring> text;
  DWORD too_large_size = 0;
};

AutostartValue ReadAutostartValue(const TRegistry& registry, const std::wstring& name) {
  try {
    return {registry.ReadText(name)};
  } catch (const ERegistryValueTooLarge& e) {
    return {std::nullopt, e.size()};
  } catch (const ERegistryException&) {
    return {};
  }
}

// Stands where the lines of a value too large to be read would be.
std::wstring TooLargeNote(const std::wstring& name, DWORD size) {
  return L"(value \"" + ShownRegistryName(name) + L"\" not shown: " + std::to_wstring(size) +
         L" bytes of data, more than the " + std::to_wstring(kRegistryValueLimit) + L" read)";
}

// The lines that `lines_of` makes of a value's text, or the note of a value
// too large to be read.
template <typename LinesOf>
void AddValue(BudgetedLines& report, const std::wstring& name, const AutostartValue& value,
              LinesOf lines_of) {
  if (value.text) {
    for (std::wstring& line : lines_of(*value.text)) report.push_back(std::move(line));
  } else if (value.too_large_size > 0) {
    report.push_back(TooLargeNote(name, value.too_large_size));
  }
}

void AddValuePlace(BudgetedLines& report, TRegistry& registry, const ValuePlace& place,
                   const std::function<ReportList(const std::wstring&)>& lines_of) {
  if (!OpenPlace(registry, place.root, place.path)) return;
  const AutostartValue value = ReadAutostartValue(registry, place.value);
  registry.CloseCurrentKey();
  AddValue(report, place.value, value, lines_of);
}

std::vector<std::wstring> ValueNamesOfOpenKey(const TRegistry& registry) {
  std::vector<std::wstring> names;
  registry.ListValues(names);
  return names;
}

// The header goes in only when the group has lines, right before the first.
template <typename Fill>
void AddGroup(BudgetedLines& report, const std::wstring& name, Fill fill) {
  const size_t start = report.size();
  fill();
  if (report.size() > start) report.Insert(start, L"---------- " + name + L" ----------");
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

void AddStartupFolder(BudgetedLines& report, const std::wstring& folder) {
  if (folder.empty()) return;
  ReportList files;
  FindFiles(folder, files, FindKind::kFiles, L"", true);
  for (const std::wstring& path : files) {
    const std::wstring name = SplitAtLastBackslash(path).second;
    if (IsExcludedFile(name)) continue;
    report.push_back(IsShortcut(name) ? ResolveShortcut(path) : path);
  }
}

void AddStartupGroup(BudgetedLines& report) {
  AddStartupFolder(report, TAppFrame::GetFolder(kStartupFolder));
  AddStartupFolder(report, GetSpecialFolder(CSIDL_COMMON_STARTUP));
}

// "<value name>=<data>" for every value of the key at each place; a value too
// large to be read shows its name with nothing after the "=", then a note.
void AddValueLines(BudgetedLines& report, TRegistry& registry, const std::wstring& plain,
                   const std::wstring& twin) {
  for (const Place& place : PlacesOf(plain, twin)) {
    if (!OpenPlace(registry, place.root, place.path)) continue;
    for (const std::wstring& name : ValueNamesOfOpenKey(registry)) {
      const AutostartValue value = ReadAutostartValue(registry, name);
      if (value.text) {
        report.push_back(ShownRegistryName(name) + L"=" + *value.text);
      } else if (value.too_large_size > 0) {
        report.push_back(ShownRegistryName(name) + L"=");
        report.push_back(TooLargeNote(name, value.too_large_size));
      }
    }
    registry.CloseCurrentKey();
  }
}

void AddRunOnceExEntry(BudgetedLines& report, TRegistry& registry, const std::wstring& path) {
  if (!registry.OpenKeyRead(L"\\" + path)) return;
  for (const std::wstring& name : ValueNamesOfOpenKey(registry)) {
    AddValue(report, name, ReadAutostartValue(registry, name), RunOnceExLines);
  }
  registry.CloseCurrentKey();
}

void AddRunOnceExGroup(BudgetedLines& report, TRegistry& registry) {
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

void AddNtRunGroup(BudgetedLines& report, TRegistry& registry) {
  std::vector<std::wstring> paths = {kNtWindowsKey};
  if (IsWow64()) paths.push_back(kNtWindowsTwinKey);
  for (const std::wstring& path : paths) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      for (const wchar_t* value : {L"Run", L"Load"}) {
        AddValuePlace(report, registry, {root, path, value}, CommaListLines);
      }
    }
  }
}

void AddWindowsShellGroup(BudgetedLines& report, TRegistry& registry) {
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
    AddValuePlace(report, registry, shell.place, [&](const std::wstring& text) {
      return WinlogonLines(text, shell.standard_program, system_dir, windows_dir);
    });
  }
}

}  // namespace

ReportList GetAutorunsReport() {
  ReportList list = {L"", L"===== Autoruns =====", L""};
  BudgetedLines report(list);
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
  report.AddLeftOutNote();
  return list;
}

}  // namespace velmora
