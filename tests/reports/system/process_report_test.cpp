#include "reports/system/process_report.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "common/strings.h"
#include "crash/report_sections.h"
#include "environment/folders.h"
#include "reports/system/module_report.h"
#include "reports/system/process_entries.h"
#include "reports/system/process_sections.h"
#include "reports/system/process_table.h"
#include "support/test_support.h"
#include "support/zip_reader.h"

namespace velmora {
namespace {

ProcessEntry Process(uint32_t id, std::wstring path, uint32_t session = 0) {
  ProcessEntry e = EntryFromPath(path);
  e.process_id = id;
  e.session_id = session;
  return e;
}

std::vector<std::wstring> Rows(const std::wstring& text) {
  std::vector<std::wstring> rows;
  size_t start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    rows.push_back(text.substr(start, end - start));
  }
  rows.push_back(text.substr(start));
  return rows;
}

TEST(ProcessRows, MeasuredColumnsWithoutSessionColumn) {
  ProcessEntry idle = Process(0, L"Idle");
  ProcessEntry system = Process(0x4, L"System");
  system.priority_class = 32;
  system.handle_count = 523;
  system.thread_count = 12;
  system.working_set_mb = 15;
  system.pagefile_mb = 8;
  system.run_time_ms = 7500000;
  ProcessEntry shell = Process(0x1a2c, L"C:\\Windows\\explorer.exe");
  shell.priority_class = 0x8000;
  shell.gdi_objects = 1234;
  shell.user_objects = 56;
  shell.handle_count = 7;
  shell.thread_count = 3;
  shell.run_time_ms = 5230;
  EXPECT_EQ(Rows(FormatProcessRows({idle, system, shell}, L'.')),
            (std::vector<std::wstring>{
                L"0000 Idle         0    0  0  , 0|  0M, 0M| ,0 ms               ",
                L"0004 System       0    0  523,12| 15M, 8M| normal,2:05 h       ",
                L"1a2c explorer.exe 1234 56 7  , 3|  0M, 0M| above normal,5.23 s C:\\Windows",
            }));
}

TEST(ProcessRows, SessionColumnWhenAnySessionIsNotZero) {
  ProcessEntry service = Process(0x200, L"C:\\Windows\\System32\\services.exe", 0);
  ProcessEntry user = Process(0x1234, L"C:\\Windows\\explorer.exe", 12);
  const std::vector<std::wstring> rows = Rows(FormatProcessRows({service, user}, L'.'));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].substr(0, 25), L"0200 services.exe 0  0 0 ");
  EXPECT_EQ(rows[1].substr(0, 25), L"1234 explorer.exe 12 0 0 ");
  EXPECT_EQ(rows[1].substr(rows[1].size() - 10), L"C:\\Windows");
}

TEST(ProcessRows, EmptyListGivesNoRows) {
  EXPECT_EQ(FormatProcessRows({}, L'.'), L"");
}

TEST(PriorityName, NamedClassesAndOthers) {
  EXPECT_EQ(PriorityName(64), L"idle");
  EXPECT_EQ(PriorityName(16384), L"below normal");
  EXPECT_EQ(PriorityName(128), L"high");
  EXPECT_EQ(PriorityName(256), L"realtime");
  EXPECT_EQ(PriorityName(0), L"");
  EXPECT_EQ(PriorityName(-1), L"");
  EXPECT_EQ(PriorityName(0x4000000), L"$4000000");
}

TEST(ImagePaths, NormalisedAndSplit) {
  const std::wstring smss = NormaliseImagePath(L"\\SystemRoot\\System32\\smss.exe", L"C:\\W\\s32");
  EXPECT_EQ(smss, L"C:\\W\\s32\\smss.exe");
  EXPECT_EQ(EntryFromPath(smss).folder, L"C:\\W\\s32");
  EXPECT_EQ(NormaliseImagePath(L"\\systemroot\\SYSTEM32\\x.exe", L"D:\\S"), L"D:\\S\\x.exe");
  const std::wstring csrss =
      NormaliseImagePath(L"\\??\\C:\\Windows\\system32\\csrss.exe", L"C:\\Windows\\system32");
  EXPECT_EQ(csrss, L"C:\\Windows\\system32\\csrss.exe");
  EXPECT_EQ(EntryFromPath(csrss).folder, L"C:\\Windows\\system32");
  EXPECT_EQ(EntryFromPath(csrss).name, L"csrss.exe");
  EXPECT_EQ(NormaliseImagePath(L"C:\\plain.exe", L"C:\\W"), L"C:\\plain.exe");
}

TEST(MemoryLine, RoundedMegabytesAndTruncatedDriveSizes) {
  MemoryFigures f;
  f.avail_virtual = 1843ull << 20;
  f.total_virtual = (2047ull << 20) + 524288;    // rounds up to 2048
  f.avail_page_file = (9120ull << 20) + 524287;  // rounds down
  f.total_page_file = 16264ull << 20;
  f.drive_free = 215154ull << 20;
  f.drive_total = 500105216000ull;
  EXPECT_EQ(FormatMemoryLine(f, L'.'),
            L"1843/2048 MB(free/total), PageSize:9120/16264 MB(free/total), "
            L"SysDrv:210.11 GB/465.75 GB");
}

TEST(AtomLine, GroupsBySixCharactersAndNamesTheTwoLargest) {
  EXPECT_EQ(FormatAtomLine(0, 0, {}), L"Atom:0, RWM:0");
  EXPECT_EQ(FormatAtomLine(1, 0, {L"OleDropTarget"}), L"Atom:1, RWM:0, Max(1):OleDropTarget");
  EXPECT_EQ(FormatAtomLine(3, 3,
                           {L"ControlOfs01", L"Native", L"ControlOfs02", L"WM_HTML_GETOBJECT",
                            L"controlofs03", L"WM_HTMLx", L"ControlOfs04"}),
            L"Atom:3, RWM:3, Max(3):ControlOfs01, Max(2):WM_HTML_GETOBJECT");
  // The key is six characters: names that part at the sixth are two groups.
  EXPECT_EQ(FormatAtomLine(3, 0, {L"abcdeX1", L"abcdeY1", L"abcdeY2"}),
            L"Atom:3, RWM:0, Max(2):abcdeY1, Max(1):abcdeX1");
  // A tie goes to the group seen first.
  EXPECT_EQ(FormatAtomLine(2, 0, {L"aaaaaa1", L"bbbbbb1", L"bbbbbb2", L"aaaaaa2", L"cccccc"}),
            L"Atom:2, RWM:0, Max(2):aaaaaa1, Max(2):bbbbbb1");
}

TEST(ProcessReport, ListsThisProcessWithItsFolderAndEndsWithTheThreeLines) {
  const std::wstring report = GetProcessReport();
  const auto [folder, name] = SplitAtLastBackslash(GetProgramFile());
  const std::wstring own_id = HexLower(::GetCurrentProcessId(), 1);
  bool found = false;
  for (const std::wstring& row : Rows(report)) {
    if (row.find(L" " + name + L" ") == std::wstring::npos) continue;
    found = true;
    EXPECT_NE(row.find(own_id), std::wstring::npos) << row;
    EXPECT_EQ(row.substr(row.size() - folder.size()), folder) << row;
    EXPECT_NE(row.find(L"| normal,"), std::wstring::npos) << row;
  }
  EXPECT_TRUE(found) << report;
  const size_t blank = report.find(L"\r\n\r\nVirtual memory:");
  ASSERT_NE(blank, std::wstring::npos);
  const std::vector<std::wstring> tail = Rows(report.substr(blank + 4));
  ASSERT_EQ(tail.size(), 4u);
  EXPECT_EQ(tail[0].find(L"Virtual memory:"), 0u);
  EXPECT_NE(tail[0].find(L" MB(free/total), PageSize:"), std::wstring::npos);
  EXPECT_EQ(tail[1].find(L"GlobalAtomInfo:Atom:"), 0u);
  EXPECT_NE(tail[1].find(L", Max("), std::wstring::npos);
  EXPECT_EQ(tail[2].find(L"DesktopHeap:"), 0u);
  EXPECT_EQ(tail[3], L"");
}

TEST(ModuleReport, ListsTheTestProgramWithTheCrcOfItsFile) {
  const std::wstring report = GetModuleReport();
  const auto [folder, name] = SplitAtLastBackslash(GetProgramFile());
  const std::string bytes = test::ReadBytes(GetProgramFile());
  const std::wstring crc = HexLower(test::Crc32Of(bytes), 8);
  const std::wstring base = HexLower(reinterpret_cast<uintptr_t>(::GetModuleHandleW(nullptr)), 8);
  bool found_program = false, found_system = false;
  for (const std::wstring& row : Rows(report)) {
    if (row.rfind(base + L" " + name + L" ", 0) == 0) {
      found_program = true;
      EXPECT_NE(row.find(L",$" + crc + L" "), std::wstring::npos) << row;
      EXPECT_EQ(row.substr(row.size() - folder.size()), folder);
    }
    if (row.find(L" ntdll.dll ") != std::wstring::npos) {
      found_system = true;
      EXPECT_EQ(row.find(L",$"), std::wstring::npos) << row;  // Windows' own: no checksum
    }
  }
  EXPECT_TRUE(found_program) << report;
  EXPECT_TRUE(found_system) << report;
}

TEST(ModuleReport, FileCrcMatchesZlibAndMissingFilesHaveNone) {
  const std::string bytes = test::ReadBytes(GetProgramFile());
  EXPECT_EQ(FileCrc32(GetProgramFile()), test::Crc32Of(bytes));
  EXPECT_FALSE(FileCrc32(L"C:\\no\\such\\file.dll").has_value());
}

std::wstring FirstHandler() {
  return L"first";
}
std::wstring SecondHandler() {
  return L"second";
}

TEST(ReportSections, RegisteringAnExistingNameReplacesOnlyTheHandler) {
  crash::RegisterSection(L"test-section", L"a description", &FirstHandler);
  crash::RegisterSection(L"test-section", L"another description", &SecondHandler);
  crash::RegisterSection(L"Test-Section", L"case differs", &FirstHandler);
  size_t named = 0;
  for (const auto& s : crash::Sections()) named += s.name == L"test-section";
  EXPECT_EQ(named, 1u);
  const auto section = crash::FindSection(L"test-section");
  ASSERT_TRUE(section.has_value());
  EXPECT_EQ(section->description, L"a description");
  EXPECT_EQ(section->handler(), L"second");
  EXPECT_TRUE(crash::FindSection(L"Test-Section").has_value());
  crash::UnregisterSection(L"test-section");
  crash::UnregisterSection(L"Test-Section");
  EXPECT_FALSE(crash::FindSection(L"test-section").has_value());
}

TEST(ReportSections, ProcessAndModuleSectionsInOrder) {
  RegisterProcessSections();
  RegisterProcessSections();  // again: still two sections
  const auto sections = crash::Sections();
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].name, L"processes");
  EXPECT_EQ(sections[0].description, L"list of running processes");
  EXPECT_EQ(sections[0].handler, &GetProcessReport);
  EXPECT_EQ(sections[1].name, L"modules");
  EXPECT_EQ(sections[1].description, L"list of loaded modules");
  EXPECT_EQ(sections[1].handler, &GetModuleReport);
  UnregisterProcessSections();
  EXPECT_TRUE(crash::Sections().empty());
}

}  // namespace
}  // namespace velmora
