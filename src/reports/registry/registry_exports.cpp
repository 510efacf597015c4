#include "reports/registry/registry_exports.h"

#include <vector>

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

class KeyExport {
 public:
  KeyExport(ExportForm form, std::wstring root_name, ReportList& list, TRegistry& registry)
      : form_(form), root_name_(std::move(root_name)), list_(list), registry_(registry) {}

  // Depth-first: a key's own values come before the blocks of its subkeys. A key
  // that does not open with full access is left out with everything below it.
  // A symbolic link key is written with its own value (its target) and never
  // entered: it may lead out of the tree or back into it without end.
  void Run(const std::wstring& key_path) {
    registry_.CloseCurrentKey();
    if (registry_.OpenKeyFull(key_path)) WriteOpenKey(1);
  }

 private:
  // Each child is opened below its parent's handle, never by its full path
  // again, so that no link on the way is followed.
  void WriteOpenKey(int depth) {
    const std::wstring key_path = registry_.CurrentPath();
    list_.push_back(L"");
    list_.push_back(L"[" + root_name_ + L"\\" + ShownRegistryName(key_path) + L"]");
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

  void AddValueLine(const std::wstring& name) {
    const std::wstring start = L"\"" + ShownRegistryName(name) + L"\"=";
    const TRegDataKind kind = registry_.ValueKind(name);
    // A value replaced by one of another type since it was listed, or too
    // large to be read, gets the marker; the export goes on with the next value.
    try {
      if (IsTextKind(kind)) {
        list_.push_back(start + L"\"" + TextOf(name) + L"\"");
      } else if (form_ == ExportForm::Escaped) {
        list_.push_back(start + registry_.ValueAsTextOfKind(name, kind, true));
      } else if (kind == TRegDataKind::Dword) {
        list_.push_back(start + FormatDwordText(static_cast<uint32_t>(registry_.ReadDword(name))));
      }
    } catch (const ERegistryException&) {
      list_.push_back(start + kReadFailureMarker);
    }
  }

  std::wstring TextOf(const std::wstring& name) const {
    const std::wstring text = registry_.ReadText(name);
    return form_ == ExportForm::Escaped ? ReplaceAllNoCase(text, L"\\", L"\\\\") : text;
  }

  ExportForm form_;
  std::wstring root_name_;
  ReportList& list_;
  TRegistry& registry_;
};

// Whatever goes wrong ends this export only; its lines so far stay.
template <typename Export>
void RunGuarded(Export run_export) {
  try {
    run_export();
  } catch (...) {
  }
}

}  // namespace

void ExportUninstallKeys(ReportList& list) {
  RunGuarded([&] {
    TRegistry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    KeyExport machine(ExportForm::Escaped, kMachineRootName, list, registry);
    machine.Run(kUninstallPath);
    if (IsWow64()) machine.Run(kUninstallPath32);
    // Every key of the user's own hive is the user's to replace by a link.
    registry.SetOpenLinks(true);
    registry.SetRoot(HKEY_CURRENT_USER);
    KeyExport user(ExportForm::Escaped, kUserRootName, list, registry);
    user.Run(kUninstallPath);
    if (IsWow64()) user.Run(kUninstallPath32);
  });
}

void ExportBootTimeKeys(ReportList& list) {
  RunGuarded([&] {
    TRegistry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    KeyExport machine(ExportForm::Escaped, kMachineRootName, list, registry);
    machine.Run(std::wstring(kServicesPath) + L"\\CorvaneBootTime");
    machine.Run(std::wstring(kServicesPath) + L"\\CorvaneDriver");
  });
}

void ExportServicesKey(ReportList& list) {
  RunGuarded([&] {
    TRegistry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    list.push_back(kSeparatorLine);
    KeyExport services(ExportForm::Services, kMachineRootName, list, registry);
    services.Run(kServicesPath);
  });
}

}  // namespace velmora
