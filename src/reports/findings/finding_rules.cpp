#include "reports/findings/finding_rules.h"

#include <algorithm>

#include "common/strings.h"
#include "reports/findings/findings_text.h"

namespace velmora {

namespace {

// The thresholds; the README states each of them.
constexpr uint64_t kLowFreePercent = 10;
constexpr uint64_t kSmallClusterBytes = 16 * 1024;
constexpr uint64_t kGuiObjectsWarning = 9000;  // of the 10,000 a process may hold
constexpr uint64_t kLowMemoryPercent = 5;
constexpr wchar_t kEmptyDigest[] = L"d41d8cd98f00b204e9800998ecf8427e";

std::wstring See(std::wstring_view file, std::wstring_view where) {
  return L" (see " + std::wstring(file) + L": " + std::wstring(where) + L")";
}

std::wstring Quoted(std::wstring_view text) {
  return L"\"" + std::wstring(text) + L"\"";
}

std::wstring Line(std::wstring_view label, std::wstring_view value) {
  return Quoted(std::wstring(label) + L": " + std::wstring(value));
}

// -- the storage file --------------------------------------------------------

const StorageFacts* Storage(const ReportFacts& facts, RuleOutput& out) {
  if (facts.storage.facts) return &*facts.storage.facts;
  out.unread.push_back(std::wstring(kStorageReportName) + L": " + facts.storage.why_unread);
  return nullptr;
}

// A block's value when the file gave it; otherwise the line goes to the unread ones.
const std::wstring* Known(const LabelledLines& block, std::wstring_view where,
                          std::wstring_view label, RuleOutput& out) {
  const std::wstring* value = block.Find(label);
  const std::wstring prefix =
      std::wstring(kStorageReportName) + L": " + std::wstring(where) + L", ";
  if (value == nullptr) {
    out.unread.push_back(prefix + L"no " + Quoted(std::wstring(label) + L":") + L" line");
  } else if (StartsWith(*value, L"unknown")) {
    out.unread.push_back(prefix + Line(label, *value));
    return nullptr;
  }
  return value;
}

std::optional<uint64_t> KnownNumber(const LabelledLines& block, std::wstring_view where,
                                    std::wstring_view label, RuleOutput& out) {
  const std::wstring* value = Known(block, where, label, out);
  if (value == nullptr) return std::nullopt;
  const auto number = LeadingNumber(*value);
  if (!number) {
    out.unread.push_back(std::wstring(kStorageReportName) + L": " + std::wstring(where) + L", " +
                         Line(label, *value));
  }
  return number;
}

std::wstring Where(const StorageVolume& volume) {
  return L"Volume: " + volume.name;
}

// What of Windows and the product the volume holds; nothing for other volumes.
std::optional<std::wstring> ProductVolume(const StorageVolume& volume, RuleOutput& out) {
  const std::wstring* holds = Known(volume.facts, Where(volume), L"Holds", out);
  if (holds == nullptr || StartsWith(*holds, L"nothing")) return std::nullopt;
  if (holds->find(L"Windows") == std::wstring::npos &&
      holds->find(L"Corvane") == std::wstring::npos) {
    return std::nullopt;
  }
  return *holds;
}

bool IsSsd(const StorageVolume& volume, RuleOutput& out) {
  const std::wstring* media = Known(volume.facts, Where(volume), L"Media type", out);
  return media != nullptr && StartsWith(*media, L"SSD");
}

template <typename Check>
void ForEachVolume(const ReportFacts& facts, RuleOutput& out, Check check) {
  const StorageFacts* storage = Storage(facts, out);
  if (storage == nullptr) return;
  for (const StorageVolume& volume : storage->volumes) check(volume);
}

// The volumes that hold Windows or the product, with what they hold.
template <typename Check>
void ForEachProductVolume(const ReportFacts& facts, RuleOutput& out, Check check) {
  ForEachVolume(facts, out, [&](const StorageVolume& volume) {
    if (const auto holds = ProductVolume(volume, out)) check(volume, *holds);
  });
}

// -- the rules ---------------------------------------------------------------

void DiskPredictsFailure(const ReportFacts& facts, RuleOutput& out) {
  ForEachVolume(facts, out, [&](const StorageVolume& volume) {
    const std::wstring* smart = Known(volume.facts, Where(volume), L"SMART", out);
    if (smart == nullptr || !StartsWith(*smart, L"failure predicted")) return;
    out.findings.push_back(L"The disk of volume " + volume.name + L" predicts failure" +
                           See(kStorageReportName, Where(volume) + L", " + Line(L"SMART", *smart)));
  });
}

void DiskErrorsLogged(const ReportFacts& facts, RuleOutput& out) {
  const StorageFacts* storage = Storage(facts, out);
  if (storage == nullptr) return;
  const auto check = [&](const LabelledLines& block, const std::wstring& where,
                         const wchar_t* label, const std::wstring& errors_of) {
    const auto errors = KnownNumber(block, where, label, out);
    if (!errors || *errors == 0) return;
    out.findings.push_back(
        errors_of + L" logged in the last 30 days: " + std::to_wstring(*errors) +
        See(kStorageReportName, where + L", " + Line(label, *block.Find(label))));
  };
  check(storage->machine, L"Machine", L"System disk errors (last 30 days)",
        L"Disk or file-system errors");
  for (const StorageVolume& volume : storage->volumes) {
    check(volume.facts, Where(volume), L"Disk errors (last 30 days)",
          L"Volume " + volume.name + L": disk or file-system errors");
  }
}

void ProductVolumeDirty(const ReportFacts& facts, RuleOutput& out) {
  ForEachProductVolume(facts, out, [&](const StorageVolume& volume, const std::wstring& holds) {
    const std::wstring* dirty = Known(volume.facts, Where(volume), L"Dirty bit", out);
    if (dirty == nullptr || !StartsWith(*dirty, L"set")) return;
    out.findings.push_back(
        L"Volume " + volume.name + L" (holds " + holds +
        L") is marked dirty: Windows will check it at the next start" +
        See(kStorageReportName, Where(volume) + L", " + Line(L"Dirty bit", *dirty)));
  });
}

void ProductVolumeLowOnSpace(const ReportFacts& facts, RuleOutput& out) {
  ForEachProductVolume(facts, out, [&](const StorageVolume& volume, const std::wstring& holds) {
    const auto size = KnownNumber(volume.facts, Where(volume), L"Size", out);
    const auto free = KnownNumber(volume.facts, Where(volume), L"Free space", out);
    if (!size || !free || *size == 0 || *free * 100 >= *size * kLowFreePercent) return;
    out.findings.push_back(
        L"Volume " + volume.name + L" (holds " + holds + L") has less than " +
        std::to_wstring(kLowFreePercent) + L" % free space" +
        See(kStorageReportName,
            Where(volume) + L", " + Line(L"Free space", *volume.facts.Find(L"Free space"))));
  });
}

void ShadowCopiesAtRisk(const ReportFacts& facts, RuleOutput& out) {
  ForEachVolume(facts, out, [&](const StorageVolume& volume) {
    const auto cluster = KnownNumber(volume.facts, Where(volume), L"Cluster size", out);
    if (!cluster || *cluster >= kSmallClusterBytes) return;
    const auto copies = KnownNumber(volume.facts, Where(volume), L"Shadow copies", out);
    if (!copies || *copies == 0) return;
    out.findings.push_back(
        L"Defragmenting volume " + volume.name +
        L" risks its shadow copies: its clusters are smaller than 16 KB" +
        See(kStorageReportName,
            Where(volume) + L", " + Line(L"Cluster size", *volume.facts.Find(L"Cluster size")) +
                L", " + Line(L"Shadow copies", *volume.facts.Find(L"Shadow copies"))));
  });
}

const MainReportFacts* Main(const ReportFacts& facts, RuleOutput& out) {
  if (facts.main.facts) return &*facts.main.facts;
  out.unread.push_back(std::wstring(kMainReportName) + L": " + facts.main.why_unread);
  return nullptr;
}

void UnreadInMain(RuleOutput& out, std::wstring_view what) {
  out.unread.push_back(std::wstring(kMainReportName) + L": " + std::wstring(what));
}

// A row whose file could be neither found nor read when it was fingerprinted:
// the date of the zero time (30 December 1899) and the digest of no bytes.
void ProductBinaryMissing(const ReportFacts& facts, RuleOutput& out) {
  const MainReportFacts* main = Main(facts, out);
  if (main == nullptr) return;
  for (const FilesReportRow& row : main->files) {
    if (row.md5 != kEmptyDigest || row.date.find(L"1899") == std::wstring::npos) continue;
    out.findings.push_back(
        L"A product binary listed in the files report cannot be found or read: " +
        row.relative_path + See(kMainReportName, L"files report, " + Quoted(row.line)));
  }
}

std::wstring WithoutQuotesAndPrefix(std::wstring path) {
  if (StartsWith(path, L"\"")) path.erase(0, 1);
  if (StartsWith(path, L"\\??\\")) path.erase(0, 4);
  return path;
}

bool IsProductService(const ServiceFact& service, const ReportFacts& facts) {
  if (ToLower(service.display_name).find(L"corvane") != std::wstring::npos) return true;
  if (!facts.listing.facts) return false;
  const std::wstring path = WithoutQuotesAndPrefix(service.binary_path);
  return std::any_of(facts.listing.facts->begin(), facts.listing.facts->end(),
                     [&](const ListedInstallation& installation) {
                       return !installation.folder.empty() &&
                              StartsWithNoCase(path, installation.folder);
                     });
}

void ProductServiceNotRunning(const ReportFacts& facts, RuleOutput& out) {
  const MainReportFacts* main = Main(facts, out);
  if (main == nullptr) return;
  if (!main->services) return UnreadInMain(out, L"no services table");
  constexpr int kStopped = 1, kDisabled = 4;
  for (const ServiceFact& service : *main->services) {
    const bool stopped = service.state == kStopped, disabled = service.start_type == kDisabled;
    if ((!stopped && !disabled) || !IsProductService(service, facts)) continue;
    const bool driver = service.type == 1 || service.type == 2;
    out.findings.push_back(
        std::wstring(driver ? L"A product driver is " : L"A product service is ") +
        (stopped && disabled ? L"stopped and disabled: "
         : stopped           ? L"stopped: "
                             : L"disabled: ") +
        service.display_name +
        See(kMainReportName, L"services table, the line of " + Quoted(service.display_name) +
                                 L": state " + std::to_wstring(service.state) + L", start type " +
                                 std::to_wstring(service.start_type)));
  }
}

bool IsVersionedBinary(const ListedFile& file) {
  const std::wstring name = ToLower(SplitAtLastBackslash(file.path).second);
  const size_t dot = name.rfind(L'.');
  const std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot);
  // The installer's uninstaller carries the installer's own version.
  const bool uninstaller = StartsWith(name, L"unins") && extension == L".exe";
  return !file.version.empty() && !uninstaller &&
         (extension == L".exe" || extension == L".dll" || extension == L".sys");
}

void MixedProductVersions(const ReportFacts& facts, RuleOutput& out) {
  if (!facts.listing.facts) {
    out.unread.push_back(std::wstring(kListingReportName) + L": " + facts.listing.why_unread);
    return;
  }
  for (const ListedInstallation& installation : *facts.listing.facts) {
    std::vector<std::pair<std::wstring, std::wstring>> versions;  // version, first file
    for (const ListedFile& file : installation.files) {
      if (!IsVersionedBinary(file)) continue;
      const bool seen = std::any_of(versions.begin(), versions.end(),
                                    [&](const auto& v) { return v.first == file.version; });
      if (!seen) versions.emplace_back(file.version, SplitAtLastBackslash(file.path).second);
    }
    if (versions.size() < 2) continue;
    std::wstring list;
    for (const auto& [version, file] : versions) {
      list += (list.empty() ? L"" : L", ") + version + L" (" + file + L")";
    }
    out.findings.push_back(L"The product's files are of mixed versions in one installation: " +
                           list + See(kListingReportName, Quoted(installation.heading)));
  }
}

void LowPhysicalMemory(const ReportFacts& facts, RuleOutput& out) {
  const MainReportFacts* main = Main(facts, out);
  if (main == nullptr) return;
  if (!main->memory_mb || !main->free_memory_mb) {
    return UnreadInMain(out, L"\"Memory Size:\" and \"Free Size:\" (no figures)");
  }
  if (*main->free_memory_mb * 100 >= *main->memory_mb * kLowMemoryPercent) return;
  out.findings.push_back(L"Physical memory free is below " + std::to_wstring(kLowMemoryPercent) +
                         L" %: " + std::to_wstring(*main->free_memory_mb) + L" of " +
                         std::to_wstring(*main->memory_mb) + L" MB" +
                         See(kMainReportName, L"\"Memory Size:\", \"Free Size:\""));
}

void ProcessNearGuiObjectLimit(const ReportFacts& facts, RuleOutput& out) {
  const MainReportFacts* main = Main(facts, out);
  if (main == nullptr) return;
  if (!main->processes) return UnreadInMain(out, L"no process list");
  for (const ProcessFact& process : *main->processes) {
    for (const auto& [kind, count] :
         {std::pair{L"GDI", process.gdi_objects}, std::pair{L"USER", process.user_objects}}) {
      if (count <= kGuiObjectsWarning) continue;
      out.findings.push_back(L"A process holds more than 9,000 " + std::wstring(kind) +
                             L" objects (the limit is 10,000): " + process.name + L" holds " +
                             std::to_wstring(count) +
                             See(kMainReportName, L"process list, the row of id " + process.id));
    }
  }
}

struct Schedules {
  const std::wstring* windows = nullptr;  // known values only
  const std::wstring* product = nullptr;
  bool windows_on() const { return windows != nullptr && StartsWith(*windows, L"enabled"); }
  bool product_on() const { return product != nullptr && !StartsWith(*product, L"none"); }
};

Schedules ReadSchedules(const StorageFacts& storage, RuleOutput& out) {
  return {Known(storage.machine, L"Machine", L"Windows scheduled defragmentation", out),
          Known(storage.machine, L"Machine", L"Product scheduled defragmentation", out)};
}

void SsdOnDefragmentationSchedule(const ReportFacts& facts, RuleOutput& out) {
  const StorageFacts* storage = Storage(facts, out);
  if (storage == nullptr) return;
  std::optional<Schedules> schedules;  // read only once an SSD needs them
  for (const StorageVolume& volume : storage->volumes) {
    if (!IsSsd(volume, out)) continue;
    if (!schedules) schedules = ReadSchedules(*storage, out);
    std::wstring whose, evidence;
    if (schedules->windows_on()) {
      whose = L"Windows' own";
      evidence = Line(L"Windows scheduled defragmentation", *schedules->windows);
    }
    if (schedules->product_on()) {
      whose += (whose.empty() ? L"" : L" and ") + std::wstring(L"the product's");
      evidence += (evidence.empty() ? L"" : L", ") +
                  Line(L"Product scheduled defragmentation", *schedules->product);
    }
    if (whose.empty()) continue;
    out.findings.push_back(
        L"Volume " + volume.name + L" is an SSD that " + whose + L" schedule defragments" +
        See(kStorageReportName, Where(volume) + L", " +
                                    Line(L"Media type", *volume.facts.Find(L"Media type")) +
                                    L"; Machine, " + evidence));
  }
}

void SsdWithoutTrim(const ReportFacts& facts, RuleOutput& out) {
  ForEachVolume(facts, out, [&](const StorageVolume& volume) {
    if (!IsSsd(volume, out)) return;
    const std::wstring* trim = Known(volume.facts, Where(volume), L"TRIM (system)", out);
    if (trim == nullptr || !StartsWith(*trim, L"off")) return;
    out.findings.push_back(
        L"Volume " + volume.name + L" is an SSD with TRIM off" +
        See(kStorageReportName, Where(volume) + L", " + Line(L"TRIM (system)", *trim)));
  });
}

void WindowsScheduleBesideProducts(const ReportFacts& facts, RuleOutput& out) {
  const StorageFacts* storage = Storage(facts, out);
  if (storage == nullptr) return;
  const Schedules schedules = ReadSchedules(*storage, out);
  if (!schedules.windows_on() || !schedules.product_on()) return;
  out.findings.push_back(
      L"Windows' own scheduled defragmentation is enabled beside the product's" +
      See(kStorageReportName,
          L"Machine, " + Line(L"Windows scheduled defragmentation", *schedules.windows) + L", " +
              Line(L"Product scheduled defragmentation", *schedules.product)));
}

// Windows before XP and the server editions have no Security Center to ask.
bool HasSecurityCenter(const std::wstring& os_name) {
  for (const wchar_t* without :
       {L"Windows 9", L"Windows ME", L"Windows NT 3", L"Windows NT 4", L"Windows 2000",
        L"Windows 2003", L"Windows 2008", L"Windows 2012", L"None"}) {
    if (StartsWith(os_name, without)) return false;
  }
  return os_name.find(L"Server") == std::wstring::npos;
}

void NoSecurityProduct(const ReportFacts& facts, RuleOutput& out) {
  const MainReportFacts* main = Main(facts, out);
  if (main == nullptr) return;
  if (!main->security) return UnreadInMain(out, L"no security products section");
  if (!main->os_name) return UnreadInMain(out, L"no \"OS Name:\" line");
  if (!HasSecurityCenter(*main->os_name)) {
    return UnreadInMain(out, L"\"OS Name:\t" + *main->os_name +
                                 L"\": this Windows has no Security Center to name products");
  }
  if (main->security->products > 0) return;
  out.findings.push_back(L"No security product is registered with Windows Security Center" +
                         See(kMainReportName,
                             L"[AntiVirusProduct], [AntiSpywareProduct], "
                             L"[FirewallProduct] name none"));
}

void FirewallOffEverywhere(const ReportFacts& facts, RuleOutput& out) {
  const MainReportFacts* main = Main(facts, out);
  if (main == nullptr) return;
  if (!main->security) return UnreadInMain(out, L"no [Windows FireWall] section");
  const auto value = [&](std::wstring_view name) -> const std::wstring* {
    for (const auto& [label, text] : main->security->firewall) {
      if (label == name) return &text;
    }
    return nullptr;
  };
  const std::wstring* object = value(L"FwObj");
  // Without the firewall's object every answer reads False: shown, not judged.
  if (object == nullptr || *object != L"valid") {
    return UnreadInMain(out, L"[Windows FireWall], \"FwObj=" + (object ? *object : L"") +
                                 L"\": the system did not say whether its firewall is on");
  }
  std::wstring evidence;
  for (const wchar_t* name : {L"HomeNetFwEnabled", L"PublicNetFwEnabled", L"FireWallEnabled"}) {
    const std::wstring* state = value(name);
    if (state == nullptr)
      return UnreadInMain(out, L"[Windows FireWall], no " + Quoted(name) + L" line");
    if (*state != L"False") return;
    evidence += L", " + Quoted(std::wstring(name) + L"=" + *state);
  }
  if (main->security->firewall_product_enabled) return;  // another firewall stands in
  out.findings.push_back(L"The Windows Firewall is off on every profile" +
                         See(kMainReportName, L"[Windows FireWall]" + evidence));
}

void AddOnce(std::vector<std::wstring>& list, const std::wstring& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

}  // namespace

const std::vector<FindingRule>& FindingRules() {
  static const std::vector<FindingRule> rules = {
      {L"disk predicts failure", DiskPredictsFailure},
      {L"disk or file-system errors logged", DiskErrorsLogged},
      {L"system or product volume dirty", ProductVolumeDirty},
      {L"system or product volume low on free space", ProductVolumeLowOnSpace},
      {L"shadow copies at risk", ShadowCopiesAtRisk},
      {L"product binary missing", ProductBinaryMissing},
      {L"product service or driver not running", ProductServiceNotRunning},
      {L"mixed product versions", MixedProductVersions},
      {L"low physical memory", LowPhysicalMemory},
      {L"process near the GDI/USER object limit", ProcessNearGuiObjectLimit},
      {L"SSD on a defragmentation schedule", SsdOnDefragmentationSchedule},
      {L"SSD without TRIM", SsdWithoutTrim},
      {L"Windows' schedule beside the product's", WindowsScheduleBesideProducts},
      {L"no security product", NoSecurityProduct},
      {L"firewall off on every profile", FirewallOffEverywhere},
  };
  return rules;
}

ReportList MakeFindings(const ReportFacts& facts) {
  std::vector<std::wstring> findings, unread;
  for (const FindingRule& rule : FindingRules()) {
    RuleOutput out;
    rule.check(facts, out);
    findings.insert(findings.end(), out.findings.begin(), out.findings.end());
    for (const std::wstring& item : out.unread) AddOnce(unread, item);
  }
  ReportList lines = {L"===== Findings =====", L""};
  if (findings.empty()) findings.push_back(L"No red flags found.");
  AppendList(lines, findings);
  if (!unread.empty()) {
    AppendList(lines, {L"", L"===== Could not be read =====", L""});
    AppendList(lines, unread);
  }
  return lines;
}

}  // namespace velmora
