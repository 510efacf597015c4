#include "reports/system/command_captures.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <chrono>

#include "common/cancellation.h"
#include "common/strings.h"
#include "environment/accounts.h"
#include "reports/system/tool_job.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::ScratchFolder;

// Puts the fake console tools first on PATH and lets a test choose what they
// print, restoring the environment afterwards.
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

  void SetUp() override {
    old_path_ = Environment(L"PATH");
    old_tmp_ = Environment(L"TMP");
    ::SetEnvironmentVariableW(L"PATH", (test::BinDir() + L"\\fake-tools;" + old_path_).c_str());
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"PATH", old_path_.c_str());
    ::SetEnvironmentVariableW(L"TMP", old_tmp_.empty() ? nullptr : old_tmp_.c_str());
    ::SetEnvironmentVariableW(L"VELMORA_FAKE_OUTPUT", nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_FAKE_CHILD", nullptr);
    ClearCancellation();
  }
  void FakePrints(const std::string& bytes) {
    const std::wstring path = data_.path() + L"output-" + std::to_wstring(++outputs_) + L".bin";
    test::WriteBytes(path, bytes);
    ::SetEnvironmentVariableW(L"VELMORA_FAKE_OUTPUT", path.c_str());
  }
  void UseTempFolder(const std::wstring& folder) {
    ::SetEnvironmentVariableW(L"TMP", folder.c_str());
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
  int outputs_ = 0;
  std::wstring old_path_, old_tmp_;
};

TEST_F(FakeTools, SystemInfoIsDecodedWithTheAnsiCodePageUnderThreeHeadings) {
  ScratchFolder temp(L"capture temp with blanks");
  UseTempFolder(temp.path());
  FakePrints("Host Name:                 VELMORA\r\nOS Name:                   Caf\xE9 OS\r\n");
  const ReportList list = CaptureSystemInfo();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_FALSE(list[0].empty());  // the date line
  EXPECT_EQ(list[1], L"");
  EXPECT_EQ(list[2], L"===== System =====");
  EXPECT_EQ(list[3], L"Host Name:                 VELMORA");
  EXPECT_EQ(list[4], L"OS Name:                   Caf" + DecodeCodePage("\xE9", CP_ACP) + L" OS");
  EXPECT_FALSE(FilesMatch(temp.path() + L"SystemInfo_*.txt"));
}

TEST_F(FakeTools, SystemInfoThatNeverEndsIsGivenUpAndEnded) {
  FakePrints("Host Name: VELMORA\r\n");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  const auto start = std::chrono::steady_clock::now();
  const ReportList list = CaptureSystemInfo(3s);
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
  ScratchFolder target_folder(L"tasks target with blanks");
  ScratchFolder temp(L"tasks temp with blanks");
  UseTempFolder(temp.path());
  const std::wstring target = target_folder.path() + L"taskschd.txt";
  FakePrints("TaskName: \\First run\r\n");
  CaptureScheduledTasks(target);
  EXPECT_EQ(test::ReadBytes(target), "TaskName: \\First run\r\n");
  FakePrints("TaskName: \\Second run\r\n");
  CaptureScheduledTasks(target);
  EXPECT_EQ(test::ReadBytes(target), "TaskName: \\Second run\r\n");
  EXPECT_FALSE(test::PathExists(temp.path() + L"schtasks.bat"));
}

TEST_F(FakeTools, ScheduledTasksThatNeverEndAreGivenUp) {
  ScratchFolder target_folder;
  FakePrints("TaskName: \\Stuck\r\n");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  const auto start = std::chrono::steady_clock::now();
  CaptureScheduledTasks(target_folder.path() + L"taskschd.txt", 3s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  ::Sleep(200);
  EXPECT_EQ(FindProcessByName(L"schtasks.exe", L""), 0u);
}

TEST_F(FakeTools, ScheduledTasksReachTheirFileWhateverTheFolderIsCalled) {
  // cmd reads a batch file in code page 437: a path written into it would be
  // mangled for a user named Jos\u00e9 or \u0414\u043c\u0438\u0442\u0440\u0438\u0439.
  ScratchFolder temp(L"Temp Jos\u00e9 \u0414\u043c\u0438\u0442\u0440\u0438\u0439");
  ScratchFolder target_folder(L"GetInfoDir \u00e9\u00e8 \u65e5\u672c");
  UseTempFolder(temp.path());
  FakePrints("TaskName: \\Caf\x82\r\n");
  CaptureScheduledTasks(target_folder.path() + L"taskschd.txt");
  EXPECT_EQ(test::ReadBytes(target_folder.path() + L"taskschd.txt"), "TaskName: \\Caf\x82\r\n");
  EXPECT_FALSE(test::PathExists(temp.path() + L"schtasks.bat"));
}

TEST_F(FakeTools, ToolsThatStartHelpersOfTheirOwnAreEndedWithThem) {
  ScratchFolder target_folder;
  FakePrints("TaskName: \\Stuck\r\n");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_HANG", L"1");
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_CHILD", L"1");
  CaptureScheduledTasks(target_folder.path() + L"taskschd.txt", 3s);
  EXPECT_EQ(FindProcessByName(L"schtasks.exe", L""), 0u);
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_OUTPUT", nullptr);
  const ReportList list = CaptureSystemInfo(3s);
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
  const std::wstring command = L"\"" + test::BinDir() + L"\\fake-tools\\systeminfo.exe\"";
  UniqueHandle stopper(::CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        ::Sleep(500);
        RequestCancellation();
        return 0;
      },
      nullptr, 0, nullptr));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RunHidden(command, SW_HIDE, 60s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(FindProcessByName(L"systeminfo.exe", L""), 0u);
}

TEST(RunHidden, ReportsWhetherTheCommandStarted) {
  EXPECT_TRUE(RunHidden(L"cmd.exe /c exit 3", SW_HIDE, 30s));
  EXPECT_FALSE(RunHidden(L"C:\\no\\such\\program.exe", SW_HIDE, 30s));
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
