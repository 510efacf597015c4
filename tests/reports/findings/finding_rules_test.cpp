#include "reports/findings/finding_rules.h"

#include <gtest/gtest.h>

#include "common/report_file.h"
#include "reports/findings/findings_report.h"
#include "reports/findings/findings_text.h"
#include "common/strings.h"
#include "support/test_support.h"
#include "support/zip_reader.h"

namespace velmora {
namespace {

const std::wstring kSeparator(81, L'*');
const std::wstring kDigest = L"0123456789abcdef0123456789abcdef";

const std::wstring kInstall = L"C:\\Program Files\\Velmora\\Corvane\\";

std::wstring ServiceLine(const std::wstring& name, const std::wstring& rest) {
  return PadRight(name, 30) + L" " + rest;
}

const std::wstring kEngine =
    ServiceLine(L"Corvane Engine", L"10  4  0 2 \"" + kInstall + L"engine.exe\" /service ");
const std::wstring kSpooler =
    ServiceLine(L"Print Spooler", L"10  1  0 4 C:\\Windows\\spoolsv.exe Ver:6.1   MD5:" + kDigest);
const std::wstring kHelper = ServiceLine(
    L"Velmora Helper Service", L"10  4  0 3 " + kInstall + L"h.exe Ver:6.0.0.1   MD5:" + kDigest);
const std::wstring kDriver = ServiceLine(
    L"vdisk", L"1  4  0 1 \\??\\" + kInstall + L"drivers\\vdisk.sys Ver:   MD5:" + kDigest);

// Report files of a quiet machine, laid out as the run writes them.
ReportList QuietMainReport() {
  return {L"Version:1.7.0.783",
          L"Date:1/31/2024 9:05:00 AM",
          kSeparator,
          L"OS Name:\tWindows 10 x64",
          L"OS Version:\t6.2.9200",
          L"Memory Size:\t8191 MB",
          L"Free Size:\t4000 MB",
          L"Cur Users:\tbob[admin]",
          L"",
          kSeparator,
          L"0000 Idle         0    0    0  , 1|  0M, 0M| ,0 ms ",
          L"04d2 explorer.exe 9000 9000 523,12| 15M, 8M| normal,2:05 h C:\\Windows",
          L"",
          L"Virtual memory:1843/2047 MB(free/total)",
          L"GlobalAtomInfo:Atom:1",
          L"DesktopHeap:x",
          L"",
          kSeparator,
          kEngine,
          kSpooler,
          kHelper,
          kDriver,
          kSeparator,
          L"",
          L"===== BHOs =====",
          L"",
          L"",
          L"===== Autoruns =====",
          L"",
          kSeparator,
          L"[AntiVirusProduct]",
          L"",
          L"Name:Windows Defender",
          L"Enabled=True(00061100)",
          L"UptoDate=True",
          L"",
          L"[AntiSpywareProduct]",
          L"",
          L"[FirewallProduct]",
          L"",
          L"[Windows FireWall]",
          L"HomeNetFwEnabled=True",
          L"PublicNetFwEnabled=True",
          L"FireWallEnabled=True",
          L"FwObj=valid",
          kSeparator,
          L"Corvane.exe   Ver:6.0.0.1   MD5:" + kDigest + L"   DT:1/31/2024",
          L"drivers\\vdisk.sys   Ver:   MD5:d41d8cd98f00b204e9800998ecf8427e   DT:7/4/2023",
          L""};
}

ReportList QuietStorageReport() {
  return {L"Machine",
          L"Windows scheduled defragmentation: disabled",
          L"Windows defragmentation schedule: unknown (no task)",
          L"Product scheduled defragmentation: none",
          L"System disk errors (last 30 days): 0",
          L"",
          L"Volume: C:\\",
          L"Holds: Windows, Corvane",
          L"File system: NTFS",
          L"Cluster size: 4096 bytes",
          L"Size: 100000000000 bytes (93.1 GB)",
          L"Free space: 10000000000 bytes (10.0 %)",
          L"Media type: SSD (no seek penalty)",
          L"TRIM (device): supported",
          L"TRIM (system): on",
          L"Dirty bit: not set",
          L"Shadow copies: 0",
          L"SMART: no failure predicted",
          L"Disk errors (last 30 days): 0",
          L"",
          L"Volume: D:\\",
          L"Holds: nothing of Windows or Corvane",
          L"Cluster size: 65536 bytes",
          L"Size: 1000 bytes (1000 Bytes)",
          L"Free space: 1 bytes (0.1 %)",
          L"Media type: hard disk (seek penalty)",
          L"TRIM (system): off (DisableDeleteNotify = 1)",
          L"Dirty bit: set",
          L"Shadow copies: 3",
          L"SMART: no failure predicted",
          L"Disk errors (last 30 days): 0",
          L""};
}

ReportList QuietListing() {
  const std::wstring folder = L"C:\\Program Files\\Velmora\\Corvane\\";
  return {L"",
          L"===== Corvane v4 Pro",
          L"",
          L"",
          L"===== Corvane v6",
          L"",
          folder + L"Corvane.exe, 6.0.0.1, 100, " + kDigest,
          folder + L"engine.exe, 6.0.0.1, 100, " + kDigest,
          folder + L"unins000.exe, 51.52.0.0, 100, " + kDigest,
          folder + L"Lang\\readme, odd.txt, , 10, " + kDigest,
          L""};
}

enum class File { kMain, kStorage, kListing };

// A line replaced by others; no lines takes it out.
struct Edit {
  File file;
  std::wstring line;
  ReportList replacement;
};

void Apply(ReportList& lines, const Edit& edit) {
  const auto at = std::find(lines.begin(), lines.end(), edit.line);
  ASSERT_NE(at, lines.end()) << test::Utf8(edit.line);
  const auto next = lines.erase(at);
  lines.insert(next, edit.replacement.begin(), edit.replacement.end());
}

ReportFacts FactsOf(const std::vector<Edit>& edits) {
  ReportList main = QuietMainReport(), storage = QuietStorageReport(), listing = QuietListing();
  for (const Edit& edit : edits) {
    Apply(edit.file == File::kMain ? main : edit.file == File::kStorage ? storage : listing, edit);
  }
  ReportFacts facts;
  facts.main.facts = ParseMainReport(main);
  facts.storage.facts = ParseStorageReport(storage);
  facts.listing.facts = ParseProductListing(listing);
  return facts;
}

ReportList Expected(const ReportList& findings, const ReportList& unread = {}) {
  ReportList lines = {L"===== Findings =====", L""};
  AppendList(lines, findings.empty() ? ReportList{L"No red flags found."} : findings);
  if (!unread.empty()) AppendList(lines, {L"", L"===== Could not be read =====", L""});
  AppendList(lines, unread);
  return lines;
}

struct RuleCase {
  const char* name;
  std::vector<Edit> edits;
  ReportList findings;
  ReportList unread = {};
};

Edit Storage(const std::wstring& line, ReportList replacement) {
  return {File::kStorage, line, std::move(replacement)};
}
Edit Main(const std::wstring& line, ReportList replacement) {
  return {File::kMain, line, std::move(replacement)};
}

const std::wstring kC = L"StorageInfo.txt: Volume: C:\\, ";

// For each rule: facts that fire it, facts just short of its threshold, and an
// unknown fact, which never fires.
const RuleCase kRuleCases[] = {
    {"disk predicts failure",
     {Storage(L"SMART: no failure predicted", {L"SMART: failure predicted"})},
     {L"The disk of volume C:\\ predicts failure (see " + kC + L"\"SMART: failure predicted\")"}},
    {"smart unknown",
     {Storage(L"SMART: no failure predicted", {L"SMART: unknown (no answer)"})},
     {},
     {kC + L"\"SMART: unknown (no answer)\""}},
    {"errors on a volume",
     {Storage(L"Disk errors (last 30 days): 0",
              {L"Disk errors (last 30 days): 1", L"  2026-12-01 10:00:00  Ntfs  55  corrupt"})},
     {L"Volume C:\\: disk or file-system errors logged in the last 30 days: 1 (see " + kC +
      L"\"Disk errors (last 30 days): 1\")"}},
    {"errors of the machine",
     {Storage(L"System disk errors (last 30 days): 0", {L"System disk errors (last 30 days): 2"})},
     {L"Disk or file-system errors logged in the last 30 days: 2 (see StorageInfo.txt: Machine, "
      L"\"System disk errors (last 30 days): 2\")"}},
    {"errors unknown",
     {Storage(L"System disk errors (last 30 days): 0",
              {L"System disk errors (last 30 days): unknown (no log)"})},
     {},
     {L"StorageInfo.txt: Machine, \"System disk errors (last 30 days): unknown (no log)\""}},
    {"system volume dirty",
     {Storage(L"Dirty bit: not set", {L"Dirty bit: set"})},
     {L"Volume C:\\ (holds Windows, Corvane) is marked dirty: Windows will check it at the next "
      L"start (see " +
      kC + L"\"Dirty bit: set\")"}},
    {"system volume low on space",
     {Storage(L"Free space: 10000000000 bytes (10.0 %)",
              {L"Free space: 9999999999 bytes (9.9 %)"})},
     {L"Volume C:\\ (holds Windows, Corvane) has less than 10 % free space (see " + kC +
      L"\"Free space: 9999999999 bytes (9.9 %)\")"}},
    {"free space unknown",
     {Storage(L"Free space: 10000000000 bytes (10.0 %)", {L"Free space: unknown (denied)"})},
     {},
     {kC + L"\"Free space: unknown (denied)\""}},
    {"no holds line", {Storage(L"Holds: Windows, Corvane", {})}, {}, {kC + L"no \"Holds:\" line"}},
    {"shadow copies at risk",
     {Storage(L"Shadow copies: 0", {L"Shadow copies: 2 (newest 12/1/2026)"})},
     {L"Defragmenting volume C:\\ risks its shadow copies: its clusters are smaller than 16 KB "
      L"(see " +
      kC + L"\"Cluster size: 4096 bytes\", \"Shadow copies: 2 (newest 12/1/2026)\")"}},
    {"shadow copies with 16 KB clusters",
     {Storage(L"Shadow copies: 0", {L"Shadow copies: 2"}),
      Storage(L"Cluster size: 4096 bytes", {L"Cluster size: 16384 bytes"})},
     {}},
    {"product binary missing",
     {Main(L"Corvane.exe   Ver:6.0.0.1   MD5:" + kDigest + L"   DT:1/31/2024",
           {L"Corvane.exe   Ver:   MD5:d41d8cd98f00b204e9800998ecf8427e   DT:12/30/1899"})},
     {L"A product binary listed in the files report cannot be found or read: Corvane.exe (see "
      L"Velmora_Debug_Info.txt: files report, \"Corvane.exe   Ver:   MD5:"
      L"d41d8cd98f00b204e9800998ecf8427e   DT:12/30/1899\")"}},
    {"product service stopped, driver disabled",
     {Main(kEngine, {ServiceLine(L"Corvane Engine",
                                 L"10  1  1077 2 \"" + kInstall + L"engine.exe\" /service ")}),
      Main(kDriver, {ServiceLine(L"vdisk", L"1  4  0 4 \\??\\" + kInstall +
                                               L"drivers\\vdisk.sys Ver:   MD5:" + kDigest)})},
     {L"A product service is stopped: Corvane Engine (see Velmora_Debug_Info.txt: services "
      L"table, the line of \"Corvane Engine\": state 1, start type 2)",
      L"A product driver is disabled: vdisk (see Velmora_Debug_Info.txt: services table, the "
      L"line of \"vdisk\": state 4, start type 4)"}},
    {"mixed versions",
     {{File::kListing,
       L"C:\\Program Files\\Velmora\\Corvane\\engine.exe, 6.0.0.1, 100, " + kDigest,
       {L"C:\\Program Files\\Velmora\\Corvane\\engine.exe, 5.9.0.1, 100, " + kDigest}}},
     {L"The product's files are of mixed versions in one installation: 6.0.0.1 (Corvane.exe), "
      L"5.9.0.1 (engine.exe) (see FilesInfo.txt: \"===== Corvane v6\")"}},
    {"low physical memory",
     {Main(L"Free Size:\t4000 MB", {L"Free Size:\t409 MB"})},
     {L"Physical memory free is below 5 %: 409 of 8191 MB (see Velmora_Debug_Info.txt: "
      L"\"Memory Size:\", \"Free Size:\")"}},
    {"memory just above 5 %", {Main(L"Free Size:\t4000 MB", {L"Free Size:\t410 MB"})}, {}},
    {"memory not read",
     {Main(L"Memory Size:\t8191 MB", {L"Memory Size:\t0 MB"})},
     {},
     {L"Velmora_Debug_Info.txt: \"Memory Size:\" and \"Free Size:\" (no figures)"}},
    {"gdi and user objects near the limit, with sessions",
     {Main(L"0000 Idle         0    0    0  , 1|  0M, 0M| ,0 ms ",
           {L"0000 Idle         0 0    0    0  , 1|  0M, 0M| ,0 ms "}),
      Main(L"04d2 explorer.exe 9000 9000 523,12| 15M, 8M| normal,2:05 h C:\\Windows",
           {L"04d2 My Shell.exe 1 9001 9001 523,12| 15M, 8M| normal,2:05 h C:\\Windows"})},
     {L"A process holds more than 9,000 GDI objects (the limit is 10,000): My Shell.exe holds "
      L"9001 (see Velmora_Debug_Info.txt: process list, the row of id 04d2)",
      L"A process holds more than 9,000 USER objects (the limit is 10,000): My Shell.exe holds "
      L"9001 (see Velmora_Debug_Info.txt: process list, the row of id 04d2)"}},
    {"ssd defragmented by both schedules",
     {Storage(L"Windows scheduled defragmentation: disabled",
              {L"Windows scheduled defragmentation: enabled (weekly)"}),
      Storage(L"Product scheduled defragmentation: none",
              {L"Product scheduled defragmentation: Corvane Nightly"})},
     {L"Volume C:\\ is an SSD that Windows' own and the product's schedule defragments (see " + kC +
          L"\"Media type: SSD (no seek penalty)\"; Machine, \"Windows scheduled defragmentation: "
          L"enabled (weekly)\", \"Product scheduled defragmentation: Corvane Nightly\")",
      L"Windows' own scheduled defragmentation is enabled beside the product's (see "
      L"StorageInfo.txt: Machine, \"Windows scheduled defragmentation: enabled (weekly)\", "
      L"\"Product scheduled defragmentation: Corvane Nightly\")"}},
    {"hard disk on a schedule",
     {Storage(L"Media type: SSD (no seek penalty)", {L"Media type: hard disk (seek penalty)"}),
      Storage(L"Windows scheduled defragmentation: disabled",
              {L"Windows scheduled defragmentation: enabled (weekly)"})},
     {}},
    {"media unknown",
     {Storage(L"Media type: SSD (no seek penalty)", {L"Media type: unknown (no answer)"})},
     {},
     {kC + L"\"Media type: unknown (no answer)\""}},
    {"ssd without trim",
     {Storage(L"TRIM (system): on", {L"TRIM (system): off (DisableDeleteNotify = 1)"})},
     {L"Volume C:\\ is an SSD with TRIM off (see " + kC +
      L"\"TRIM (system): off (DisableDeleteNotify = 1)\")"}},
    {"no security product",
     {Main(L"Name:Windows Defender", {})},
     {L"No security product is registered with Windows Security Center (see "
      L"Velmora_Debug_Info.txt: [AntiVirusProduct], [AntiSpywareProduct], [FirewallProduct] name "
      L"none)"}},
    {"server without security center",
     {Main(L"Name:Windows Defender", {}),
      Main(L"OS Name:\tWindows 10 x64", {L"OS Name:\tWindows 2008 R2 x64"})},
     {},
     {L"Velmora_Debug_Info.txt: \"OS Name:\tWindows 2008 R2 x64\": this Windows has no "
      L"Security Center to name products"}},
    {"firewall off everywhere",
     {Main(L"HomeNetFwEnabled=True", {L"HomeNetFwEnabled=False"}),
      Main(L"PublicNetFwEnabled=True", {L"PublicNetFwEnabled=False"}),
      Main(L"FireWallEnabled=True", {L"FireWallEnabled=False"})},
     {L"The Windows Firewall is off on every profile (see Velmora_Debug_Info.txt: [Windows "
      L"FireWall], \"HomeNetFwEnabled=False\", \"PublicNetFwEnabled=False\", "
      L"\"FireWallEnabled=False\")"}},
    {"firewall on one profile",
     {Main(L"HomeNetFwEnabled=True", {L"HomeNetFwEnabled=False"}),
      Main(L"FireWallEnabled=True", {L"FireWallEnabled=False"})},
     {}},
    {"no firewall object: shown, not judged",
     {Main(L"HomeNetFwEnabled=True", {L"HomeNetFwEnabled=False"}),
      Main(L"PublicNetFwEnabled=True", {L"PublicNetFwEnabled=False"}),
      Main(L"FireWallEnabled=True", {L"FireWallEnabled=False"}),
      Main(L"FwObj=valid", {L"FwObj=nil"})},
     {},
     {L"Velmora_Debug_Info.txt: [Windows FireWall], \"FwObj=nil\": the system did not say "
      L"whether its firewall is on"}},
};

TEST(FindingRules, EachFiresOnItsFactsAndNotJustShortOfItsThreshold) {
  for (const RuleCase& c : kRuleCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MakeFindings(FactsOf(c.edits)), Expected(c.findings, c.unread));
  }
}

// A report whose service manager could not be opened has no table at all.
TEST(FindingRules, NoServicesTableIsUnread) {
  ReportList main = QuietMainReport();
  const auto heap = std::find(main.begin(), main.end(), L"DesktopHeap:x");
  main.erase(heap + 2, heap + 7);  // the table's separator and its rows
  ReportFacts facts = FactsOf({});
  facts.main.facts = ParseMainReport(main);
  EXPECT_EQ(MakeFindings(facts), Expected({}, {L"Velmora_Debug_Info.txt: no services table"}));
}

TEST(FindingRules, QuietMachineHasNoRedFlags) {
  EXPECT_EQ(MakeFindings(FactsOf({})), Expected({}));
}

TEST(FindingRules, MostSeriousFirst) {
  ReportFacts facts = FactsOf(
      {Main(L"Name:Windows Defender", {}), Main(L"Free Size:\t4000 MB", {L"Free Size:\t1 MB"}),
       Storage(L"SMART: no failure predicted", {L"SMART: failure predicted"})});
  const ReportList lines = MakeFindings(facts);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2].rfind(L"The disk of volume C:\\ predicts failure", 0), 0u);
  EXPECT_EQ(lines[3].rfind(L"Physical memory free is below 5 %", 0), 0u);
  EXPECT_EQ(lines[4].rfind(L"No security product", 0), 0u);
}

TEST(FindingRules, AFileNotWrittenIsOneUnreadLineAndFiresNothing) {
  ReportFacts facts =
      FactsOf({Storage(L"SMART: no failure predicted", {L"SMART: failure predicted"})});
  facts.storage = {std::nullopt, L"not written by this run"};
  EXPECT_EQ(MakeFindings(facts), Expected({}, {L"StorageInfo.txt: not written by this run"}));
}

TEST(FindingsReport, ReadsTheReportFilesOfTheWorkingFolder) {
  test::ScratchFolder folder(L"findings");
  ReportList main = QuietMainReport();
  main.erase(std::find(main.begin(), main.end(), L"Name:Windows Defender"));
  SaveReportFile(main, folder.path() + L"Velmora_Debug_Info.txt");
  test::WriteBytes(folder.path() + L"FilesInfo.txt", "no byte-order mark");
  SaveFindings(folder.path());
  const auto lines = ReportLinesOf(test::ReadBytes(folder.path() + L"Findings.txt"));
  ASSERT_TRUE(lines.has_value());
  EXPECT_EQ(*lines, Expected({L"No security product is registered with Windows Security Center "
                              L"(see Velmora_Debug_Info.txt: [AntiVirusProduct], "
                              L"[AntiSpywareProduct], [FirewallProduct] name none)"},
                             {L"StorageInfo.txt: not written by this run",
                              L"FilesInfo.txt: not a report text file"}));
}

}  // namespace
}  // namespace velmora
