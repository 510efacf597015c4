#include "reports/system/command_captures.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>

#include "common/cancellation.h"
#include "common/strings.h"
#include "environment/accounts.h"
#include "environment/folders.h"
#include "reports/system/tool_job.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::ScratchFolder;

// Runs the captures with the fake console tools in place of the system's and
// lets a test choose what they print, restoring the environment afterwards.
class FakeTools : public ::testing::Test {
 protected:
  static int CountProcesses(const std::wstring& image) {
    int count = 0;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
      if (EqualsNoCase(entry.szExeFile, image)) ++count;
    }
    return count;
  }
  static std::wstring FakeToolsFolder() { return test::BinDir() + L"\\fake-tools\\"; }

  void TearDown() override {
    for (const wchar_t* name : {L"VELMORA_FAKE_OUTPUT", L"VELMORA_FAKE_HANG", L"VELMORA_FAKE_CHILD",
                                L"VELMORA_FAKE_RECORD"}) {
      ::SetEnvironmentVariableW(name, nullptr);
    }
    ClearCancellation();
  }
  void FakePrints(const std::string& bytes) {
    const std::wstring path = data_.path() + L"output-" + std::to_wstring(++outputs_) + L".bin";
    test::WriteBytes(path, bytes);
    ::SetEnvironmentVariableW(L"VELMORA_FAKE_OUTPUT", path.c_str());
  }
  // The system's cmd.exe, the fake tools, and `work` for the files.
  ToolPlaces Places(const ScratchFolder& work) const {
    ToolPlaces places = SystemToolPlaces(work.path());
    places.tools_folder = FakeToolsFolder();
    return places;
  }
  static std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[32768] = {};
    ::GetEnvironmentVariableW(name, buffer, 32768);
    return buffer;
  }
  static bool FilesMatch(const std::wstring& pattern) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    return find.valid();
  }

  ScratchFolder data_{L"fake-data"};
  ScratchFolder work_{L"capture work with blanks"};
  int outputs_ = 0;
};

TEST_F(FakeTools, SystemInfoIsDecodedWithTheAnsiCodePageUnderThreeHeadings) {
  FakePrints("Host Name:                 VELMORA\r\nOS Name:                   Caf\xE9 OS\r\n");
  const ReportList list = CaptureSystemInfo(Places(work_));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_FALSE(list[0].empty());  // the date line
  EXPECT_EQ(list[1], L"");
  EXPECT_EQ(list[2], L"===== System =====");
  EXPECT_EQ(list[3], L"Host Name:                 VELMORA");
  EXPECT_EQ(list[4], L"OS Name:                   Caf" + DecodeCodePage("\xE9", CP_ACP) + L" OS");
  EXPECT_FALSE(FilesMatch(work_.path() + L"SystemInfo_*.txt"));
}

TEST_F(FakeTools, SystemInfoBeyondTheReadLimitIsCutAtALineWithANote) {
  const std::string line = std::string(99, 'x') + "\r\n";
  std::string output;
  while (output.size() <= kSystemInfoReadLimit + 4096) output += line;
  FakePrints(output);
  const ReportList list = CaptureSystemInfo(Places(work_));
  ASSERT_EQ(list.size(), 3 + kSystemInfoReadLimit / line.size() + 1);
  EXPECT_EQ(list[list.size() - 2], std::wstring(99, L'x'));
  EXPECT_EQ(list.back(), L"(systeminfo wrote more than 4194304 bytes; the rest is not shown)");
}

TEST_F(FakeTools, SystemInfoThatNeverEndsIsGivenUpAndEnded) {
  FakePrints("Host Name: VELMORA\r\n");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  const auto start = std::chrono::steady_clock::now();
  const ReportList list = CaptureSystemInfo(Places(work_), 3s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  ASSERT_GE(list.size(), 3u);
  EXPECT_EQ(list[2], L"===== System =====");
  if (list.size() > 3) {
    EXPECT_EQ(list[3], L"Host Name: VELMORA");
  }
  ::Sleep(200);
  EXPECT_EQ(FindProcessByName(L"systeminfo.exe", L""), 0u);
}

TEST_F(FakeTools, ScheduledTasksFileHoldsOnlyThisRunsOutput) {
  const std::wstring target = work_.path() + L"taskschd.txt";
  FakePrints("TaskName: \\First run\r\n");
  CaptureScheduledTasks(Places(work_), target);
  EXPECT_EQ(test::ReadBytes(target), "TaskName: \\First run\r\n");
  FakePrints("TaskName: \\Second run\r\n");
  CaptureScheduledTasks(Places(work_), target);
  EXPECT_EQ(test::ReadBytes(target), "TaskName: \\Second run\r\n");
  EXPECT_FALSE(test::PathExists(work_.path() + L"schtasks.bat"));
}

TEST_F(FakeTools, ScheduledTasksThatNeverEndAreGivenUp) {
  FakePrints("TaskName: \\Stuck\r\n");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  const auto start = std::chrono::steady_clock::now();
  CaptureScheduledTasks(Places(work_), work_.path() + L"taskschd.txt", 3s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  ::Sleep(200);
  EXPECT_EQ(FindProcessByName(L"schtasks.exe", L""), 0u);
}

TEST_F(FakeTools, ScheduledTasksReachTheirFileWhateverTheFolderIsCalled) {
  // cmd reads a batch file in code page 437: a path written into it would be
  // mangled for a user named Jos\u00e9 or \u0414\u043c\u0438\u0442\u0440\u0438\u0439.
  ScratchFolder work(
      L"GetInfoDir Jos\u00e9 \u0414\u043c\u0438\u0442\u0440\u0438\u0439 \u65e5\u672c");
  FakePrints("TaskName: \\Caf\x82\r\n");
  CaptureScheduledTasks(Places(work), work.path() + L"taskschd.txt");
  EXPECT_EQ(test::ReadBytes(work.path() + L"taskschd.txt"), "TaskName: \\Caf\x82\r\n");
  EXPECT_FALSE(test::PathExists(work.path() + L"schtasks.bat"));
}

// Wine's cmd has no AutoRun commands that /D could skip: a fake shell shows
// the command lines and the folder that the tools are started with instead.
TEST_F(FakeTools, ToolsStartByTheirPathsFromTheSystemFolderWithoutAutoRun) {
  ToolPlaces places = Places(work_);
  places.shell = FakeToolsFolder() + L"cmd.exe";
  const std::wstring record = data_.path() + L"record.txt";
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_RECORD", record.c_str());
  CaptureSystemInfo(places, 30s);
  CaptureScheduledTasks(places, work_.path() + L"taskschd.txt", 30s);
  const std::wstring shell = L"\"" + places.shell + L"\" /D /S /C ";
  const std::wstring system = GetSystemDir() + L"\n";
  EXPECT_EQ(DecodeCodePage(test::ReadBytes(record), CP_UTF8),
            shell + L"\"\"" + places.tools_folder + L"systeminfo.exe\"\"\n" + system + shell +
                L"\"\"" + work_.path() + L"schtasks.bat\"\"\n" + system);
}

// A tool of the same name in the current folder or first on PATH is found
// first by a shell that searches for it.
TEST_F(FakeTools, ToolsPlantedInTheCurrentFolderOrOnPathNeverRun) {
  ScratchFolder planted(L"planted tools");
  for (const wchar_t* name : {L"systeminfo.exe", L"schtasks.exe", L"chcp.com"}) {
    ASSERT_TRUE(::CopyFileW((FakeToolsFolder() + L"systeminfo.exe").c_str(),
                            (planted.path() + name).c_str(), FALSE));
  }
  const std::wstring record = data_.path() + L"planted.txt";
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_RECORD", record.c_str());
  FakePrints("planted\r\n");
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  const std::wstring path = FakeTools::Environment(L"PATH");
  ::SetCurrentDirectoryW(planted.path().c_str());
  ::SetEnvironmentVariableW(L"PATH", (planted.path() + L";" + path).c_str());
  const ToolPlaces places = SystemToolPlaces(work_.path());
  const ReportList system_info = CaptureSystemInfo(places, 60s);
  CaptureScheduledTasks(places, work_.path() + L"taskschd.txt", 60s);
  ::SetCurrentDirectoryW(current);
  ::SetEnvironmentVariableW(L"PATH", path.c_str());
  EXPECT_FALSE(test::PathExists(record));
  EXPECT_EQ(std::count(system_info.begin(), system_info.end(), L"planted"), 0);
  EXPECT_EQ(test::ReadBytes(work_.path() + L"taskschd.txt").find("planted"), std::string::npos);
}

TEST_F(FakeTools, ToolsThatStartHelpersOfTheirOwnAreEndedWithThem) {
  FakePrints("TaskName: \\Stuck\r\n");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_CHILD", L"1");
  CaptureScheduledTasks(Places(work_), work_.path() + L"taskschd.txt", 3s);
  EXPECT_EQ(FindProcessByName(L"schtasks.exe", L""), 0u);
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_OUTPUT", nullptr);
  const ReportList list = CaptureSystemInfo(Places(work_), 3s);
  EXPECT_EQ(list[2], L"===== System =====");
  EXPECT_EQ(FindProcessByName(L"systeminfo.exe", L""), 0u);
}

TEST_F(FakeTools, AToolOutsideAJobIsEndedThroughItsProcessTree) {
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_CHILD", L"1");
  std::wstring command = L"\"" + test::BinDir() + L"\\fake-tools\\schtasks.exe\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
  UniqueHandle tool(process.hProcess);
  UniqueHandle thread(process.hThread);
  EXPECT_EQ(ProcessIdOf(tool.get()), process.dwProcessId);
  // Until the child shows up.
  for (int i = 0; i < 50 && CountProcesses(L"schtasks.exe") < 2; ++i) ::Sleep(100);
  ASSERT_EQ(CountProcesses(L"schtasks.exe"), 2);
  EndProcessTree(process.dwProcessId);
  EXPECT_EQ(CountProcesses(L"schtasks.exe"), 0);
}

TEST_F(FakeTools, AStoppedReportEndsAToolAtOnce) {
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  const std::wstring program = FakeToolsFolder() + L"systeminfo.exe";
  UniqueHandle stopper(::CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        ::Sleep(500);
        RequestCancellation();
        return 0;
      },
      nullptr, 0, nullptr));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RunHidden(program, L"\"" + program + L"\"", SW_HIDE, 60s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(FindProcessByName(L"systeminfo.exe", L""), 0u);
}

TEST(RunHidden, ReportsWhetherTheCommandStarted) {
  const ToolPlaces places = SystemToolPlaces(L"C:\\");
  EXPECT_TRUE(RunHidden(places.shell, L"cmd.exe /c exit 3", SW_HIDE, 30s));
  EXPECT_FALSE(RunHidden(L"C:\\no\\such\\program.exe", L"program.exe", SW_HIDE, 30s));
}

TEST(DecodeTextLines, MarksSelectTheEncoding) {
  EXPECT_EQ(DecodeTextLines("a\r\nb\r\n"), (ReportList{L"a", L"b"}));
  EXPECT_EQ(DecodeTextLines("a\nb\rc"), (ReportList{L"a", L"b", L"c"}));
  EXPECT_EQ(DecodeTextLines("a\r\n\r\nb"), (ReportList{L"a", L"", L"b"}));
  EXPECT_EQ(DecodeTextLines(""), ReportList{});
  EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF"
                            "caf\xC3\xA9\r\n"),
            ReportList{L"café"});
  EXPECT_EQ(DecodeTextLines(std::string("\xFF\xFE"
                                        "h\0i\0\r\0\n\0",
                                        10)),
            ReportList{L"hi"});
  EXPECT_EQ(DecodeTextLines(std::string("\xFE\xFF\0h\0i", 6)), ReportList{L"hi"});
}

}  // namespace
}  // namespace velmora
