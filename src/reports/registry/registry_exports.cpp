#include "reports/registry/registry_exports.h"

#include <vector>

#include "common/report_budget.h"
#include "common/strings.h"
#include "environment/wow64.h"
#include "reports/registry/registry_class_ex.h"

namespace velmora {

namespace {

constexpr wchar_t kUninstallPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kUninstallPath32[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kServicesPath[] = L"SYSTEM\\CurrentControlSet\\services";
constexpr wchar_t kMachineRootName[] = L"HKEY_LOCAL_MACHINE";
constexpr wchar_t kUserRootName[] = L"HKEY_CURRENT_USER";

// The registry holds keys at most 512 levels deep; a walk that goes deeper has
// been led round by keys changing under it.
constexpr int kMostKeyLevels = 512;

// The fixed paths under HKEY_LOCAL_MACHINE that an export starts from are
// written by administrators only, and the services path goes through the
// system's own link CurrentControlSet: there links are followed. Under
// HKEY_CURRENT_USER no link is followed on the way to the start, and below
// any start none at all (OpenChildKey).

// Escaped: the form of the uninstall and boot-time files, text with every
// backslash doubled and every value kind written. Services: text as stored,
// DWORDs only besides text.
enum class ExportForm { Escaped, Services };

bool IsTextKind(TRegDataKind kind) {
  return kind == TRegDataKind::Text || kind == TRegDataKind::ExpandText;
}

// What one export file holds in total, and what it left out past that.
struct ExportBudget {
  ReportBudget budget{kRegistryExportBudget};
  size_t keys_left_out = 0;
  size_t values_left_out = 0;
};

class KeyExport {
 public:
  KeyExport(ExportForm form, std::wstring root_name, ReportList& list, TRegistry& registry,
            ExportBudget& budget)
      : form_(form),
        root_name_(std::move(root_name)),
        list_(list),
        registry_(registry),
        budget_(budget) {}

  // Depth-first: a key's own values come before the blocks of its subkeys. A key
  // that does not open with full access is left out with everything below it.
  // A symbolic link key is written with its own value (its target) and never
  // entered: it may lead out of the tree or back into it without end. Past
  // the file's budget the walk goes on only to count what it leaves out.
  void Run(const std::wstring& key_path) {
    registry_.CloseCurrentKey();
    if (registry_.OpenKeyFull(key_path)) WriteOpenKey(1);
  }

 private:
  // Each child is opened below its parent's handle, never by its full path
  // again, so that no link on the way is followed.
  void WriteOpenKey(int depth) {
    const std::wstring key_path = registry_.CurrentPath();
    AddKeyLine(key_path);
    std::vector<std::wstring> names;
    registry_.ListValues(names);
    for (const std::wstring& name : names) AddValueLine(name);
    if (registry_.IsLinkKey() || depth >= kMostKeyLevels || !registry_.HasChildKeys()) return;
    registry_.ListSubkeys(names);
    const UniqueRegKey parent = registry_.ReleaseCurrentKey();
    for (const std::wstring& child : names) {
      if (registry_.OpenChildKey(parent.get(), key_path, child)) WriteOpenKey(depth + 1);
    }
  }

  // The blank line and the key line go in together or not at all.
  void AddKeyLine(const std::wstring& key_path) {
    ReportBudget& budget = budget_.budget;
    if (budget.Add(list_, L"") &&
        budget.Add(list_, L"[" + root_name_ + L"\\" + ShownRegistryName(key_path) + L"]")) {
      return;
    }
    if (!list_.empty() && list_.back().empty()) list_.pop_back();
    ++budget_.keys_left_out;
  }

  void AddValueLine(const std::wstring& name) {
    const TRegDataKind kind = registry_.ValueKind(name);
    if (!IsWritten(kind)) return;
    if (budget_.budget.exhausted() || !budget_.budget.Add(list_, ValueLine(name, kind))) {
      ++budget_.values_left_out;
    }
  }

  bool IsWritten(TRegDataKind kind) const {
    return form_ == ExportForm::Escaped || IsTextKind(kind) || kind == TRegDataKind::Dword;
  }

  // A value replaced by one of another type since it was listed, or too large
  // to be read, gets the marker; the export goes on with the next value.
  std::wstring ValueLine(const std::wstring& name, TRegDataKind kind) const {
    std::wstring line = L"\"" + ShownRegistryName(name) + L"\"=";
    try {
      if (IsTextKind(kind)) {
        line += L"\"" + TextOf(name) + L"\"";
      } else if (form_ == ExportForm::Escaped) {
        line += registry_.ValueAsTextOfKind(name, kind, true);
      } else {
        line += FormatDwordText(static_cast<uint32_t>(registry_.ReadDword(name)));
      }
    } catch (const ERegistryException&) {
      line += kReadFailureMarker;
    }
    return line;
  }

  std::wstring TextOf(const std::wstring& name) const {
    const std::wstring text = registry_.ReadText(name);
    return form_ == ExportForm::Escaped ? ReplaceAllNoCase(text, L"\\", L"\\\\") : text;
  }

  ExportForm form_;
  std::wstring root_name_;
  ReportList& list_;
  TRegistry& registry_;
  ExportBudget& budget_;
};

// Whatever goes wrong ends this export only; its lines so far stay, and the
// marker of what the budget left out follows them. A registry-editor comment,
// so that the file still imports.
template <typename Export>
void RunGuarded(ReportList& list, Export run_export) {
  ExportBudget budget;
  try {
    run_export(budget);
  } catch (...) {
  }
  if (!budget.budget.exhausted()) return;
  list.push_back(L"; Left out from here, as an export holds at most " +
                 std::to_wstring(budget.budget.limit()) + L" characters: keys " +
                 std::to_wstring(budget.keys_left_out) + L", values " +
                 std::to_wstring(budget.values_left_out));
}

}  // namespace

void ExportUninstallKeys(ReportList& list) {
  RunGuarded(list, [&](ExportBudget& budget) {
    TRegistry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    KeyExport machine(ExportForm::Escaped, kMachineRootName, list, registry, budget);
    machine.Run(kUninstallPath);
    if (IsWow64()) machine.Run(kUninstallPath32);
    // Every key of the user's own hive is the user's to replace by a link.
    registry.SetOpenLinks(true);
    registry.SetRoot(HKEY_CURRENT_USER);
    KeyExport user(ExportForm::Escaped, kUserRootName, list, registry, budget);
    user.Run(kUninstallPath);
    if (IsWow64()) user.Run(kUninstallPath32);
  });
}

void ExportBootTimeKeys(ReportList& list) {
  RunGuarded(list, [&](ExportBudget& budget) {
    TRegistry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    KeyExport machine(ExportForm::Escaped, kMachineRootName, list, registry, budget);
    machine.Run(std::wstring(kServicesPath) + L"\\CorvaneBootTime");
    machine.Run(std::wstring(kServicesPath) + L"\\CorvaneDriver");
  });
}

void ExportServicesKey(ReportList& list) {
  RunGuarded(list, [&](ExportBudget& budget) {
    TRegistry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    list.push_back(kSeparatorLine);
    KeyExport services(ExportForm::Services, kMachineRootName, list, registry, budget);
    services.Run(kServicesPath);
  });
}

}  // namespace velmora
