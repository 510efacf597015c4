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
  // The program is a windowed one, which has no console of its own to keep
  // it from attaching to the one it lends its tools; this test program is a
  // console one.
  static void SetUpTestSuite() { ::FreeConsole(); }

  void TearDown() override {
    for (const wchar_t* name : {L"VELMORA_FAKE_OUTPUT", L"VELMORA_FAKE_HANG", L"VELMORA_FAKE_CHILD",
                                L"VELMORA_FAKE_RECORD", L"VELMORA_FAKE_TEXT"}) {
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

// The tool writes in its console's code page (437 here), not the ANSI one:
// read as 1252, the "\x82" would be a low quotation mark.
TEST_F(FakeTools, SystemInfoIsDecodedWithTheConsoleCodePageUnderThreeHeadings) {
  ASSERT_EQ(ToolCodePage(), 437u);
  FakePrints("Host Name:                 VELMORA\r\nOS Name:                   Caf\x82 OS\r\n");
  const ReportList list = CaptureSystemInfo(Places(work_));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_FALSE(list[0].empty());  // the date line
  EXPECT_EQ(list[1], L"");
  EXPECT_EQ(list[2], L"===== System =====");
  EXPECT_EQ(list[3], L"Host Name:                 VELMORA");
  EXPECT_EQ(list[4], L"OS Name:                   Caf\u00e9 OS");
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

TEST_F(FakeTools, SystemInfoWithoutALineBreakInTheReadLimitKeepsTheLimit) {
  FakePrints(std::string(kSystemInfoReadLimit + 10, 'y'));
  const ReportList list = CaptureSystemInfo(Places(work_));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[3], std::wstring(kSystemInfoReadLimit, L'y'));
  EXPECT_EQ(list[4], L"(systeminfo wrote more than 4194304 bytes; the rest is not shown)");
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
  EXPECT_FALSE(FilesMatch(work_.path() + L"schtasks*"));
}

// The tool writes in its console's code page, UTF-8 in the console it is lent:
// names outside the OEM page (437 here) come out whole, as UTF-8 after its
// mark; ASCII stays as the tool wrote it (above). A tool that writes in the OEM
// page whatever its console is read in that page.
TEST_F(FakeTools, ScheduledTasksOutsideAsciiAreKeptAsUtf8WithAMark) {
  const std::wstring target = work_.path() + L"taskschd.txt";
  const std::string names =
      "TaskName: \\\xCE\x95\xCE\xBD\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCF\x89\xCF\x83\xCE\xB7 "
      "\xE6\x9B\xB4\xE6\x96\xB0 G\xC3\xBCncelle\xC5\x9Ftirme\r\n";
  const std::wstring text = data_.path() + L"names.txt";
  test::WriteBytes(text, names);
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_TEXT", text.c_str());
  CaptureScheduledTasks(Places(work_), target);
  EXPECT_EQ(test::ReadBytes(target), "\xEF\xBB\xBF" + names);
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_TEXT", nullptr);
  FakePrints("TaskName: \\Caf\x82 \xE1\r\n");
  CaptureScheduledTasks(Places(work_), target);
  EXPECT_EQ(test::ReadBytes(target), "\xEF\xBB\xBFTaskName: \\Caf\xC3\xA9 \xC3\x9F\r\n");
  EXPECT_EQ(WrittenCodePage("Caf\xC3\xA9\r\n", CP_UTF8), static_cast<UINT>(CP_UTF8));
  EXPECT_EQ(WrittenCodePage("Caf\xC3\r\n", CP_UTF8), 437u);
  EXPECT_EQ(WrittenCodePage("Caf\x82\r\n", 866), 866u);
  EXPECT_EQ(ScheduledTasksText("T: \xE7"
                               "al\xFD\xFE\r\n",
                               1254, false),
            "\xEF\xBB\xBFT: \xC3\xA7"
            "al\xC4\xB1\xC5\x9F\r\n");
  EXPECT_EQ(ScheduledTasksText("T\r\n", 437, true),
            "T\r\n(schtasks wrote more than 16777216 bytes; the rest is not shown)\r\n");
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

// Names outside the code pages, and a shell's variables: cmd would expand
// %X% and !X! in a path it is given and run what lies elsewhere.
TEST_F(FakeTools, ScheduledTasksReachTheirFileWhateverTheFolderIsCalled) {
  ScratchFolder work(
      L"GetInfoDir Jos\u00e9 \u0414\u043c\u0438\u0442\u0440\u0438\u0439 "
      L"\u65e5\u672c t%X% !X!");
  ::SetEnvironmentVariableW(L"X", L"\\..\\evil");
  FakePrints("TaskName: \\Tasks\r\n");
  CaptureScheduledTasks(Places(work), work.path() + L"taskschd.txt");
  const ReportList system_info = CaptureSystemInfo(Places(work));
  ::SetEnvironmentVariableW(L"X", nullptr);
  EXPECT_EQ(test::ReadBytes(work.path() + L"taskschd.txt"), "TaskName: \\Tasks\r\n");
  ASSERT_EQ(system_info.size(), 4u);
  EXPECT_EQ(system_info[3], L"TaskName: \\Tasks");
  EXPECT_FALSE(FilesMatch(work.path() + L"schtasks*"));
  EXPECT_FALSE(FilesMatch(work.path() + L"SystemInfo_*"));
}

// No shell between the program and its tools; each in a console that has no
// window (CREATE_NO_WINDOW): systeminfo's own, in the OEM code page, and the
// UTF-8 one lent to schtasks, which the program itself lets go.
TEST_F(FakeTools, ToolsStartByTheirPathsFromTheSystemFolderWithoutAShellOrWindow) {
  const ToolPlaces places = Places(work_);
  const std::wstring record = data_.path() + L"record.txt";
  ::SetEnvironmentVariableW(L"VELMORA_FAKE_RECORD", record.c_str());
  // The program's own standard output outlives the lending, open and its own.
  const std::wstring own_output = data_.path() + L"own output.txt";
  UniqueHandle output(
      ::CreateFileW(own_output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  const HANDLE standard_output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, output.get());
  CaptureSystemInfo(places, 30s);
  CaptureScheduledTasks(places, work_.path() + L"taskschd.txt", 30s);
  EXPECT_EQ(::GetStdHandle(STD_OUTPUT_HANDLE), output.get());
  DWORD written = 0;
  EXPECT_TRUE(::WriteFile(output.get(), "kept", 4, &written, nullptr));
  ::SetStdHandle(STD_OUTPUT_HANDLE, standard_output);
  output.reset();
  EXPECT_EQ(test::ReadBytes(own_output), "kept");
  const std::wstring system = GetSystemDir() + L"\n";
  EXPECT_EQ(DecodeCodePage(test::ReadBytes(record), CP_UTF8),
            L"\"" + places.tools_folder + L"systeminfo.exe\"\n" + system +
                L"console 437 no window\n\"" + places.tools_folder +
                L"schtasks.exe\" /query /v /fo list\n" + system + L"console 65001 no window\n");
  EXPECT_EQ(::GetConsoleWindow(), nullptr);
  EXPECT_EQ(FindProcessByName(L"find.exe", L""), 0u);
  EXPECT_EQ(kToolCreationFlags & (CREATE_NO_WINDOW | DETACHED_PROCESS), CREATE_NO_WINDOW);
}

// A tool of the same name in the current folder or first on PATH is found
// first by a shell that searches for it.
TEST_F(FakeTools, ToolsPlantedInTheCurrentFolderOrOnPathNeverRun) {
  ScratchFolder planted(L"planted tools");
  for (const wchar_t* name : {L"systeminfo.exe", L"schtasks.exe", L"chcp.com", L"cmd.exe"}) {
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
  EXPECT_TRUE(RunHidden(GetSystemDir() + L"\\cmd.exe", L"cmd.exe /c exit 3", SW_HIDE, 30s));
  EXPECT_FALSE(RunHidden(L"C:\\no\\such\\program.exe", L"program.exe", SW_HIDE, 30s));
}

TEST(DecodeTextLines, MarksSelectTheEncoding) {
  EXPECT_EQ(DecodeTextLines("a\r\nb\r\n", 437), (ReportList{L"a", L"b"}));
  EXPECT_EQ(DecodeTextLines("a\nb\rc", 437), (ReportList{L"a", L"b", L"c"}));
  EXPECT_EQ(DecodeTextLines("a\r\n\r\nb", 437), (ReportList{L"a", L"", L"b"}));
  EXPECT_EQ(DecodeTextLines("", 437), ReportList{});
  EXPECT_EQ(DecodeTextLines("\xEF\xBB\xBF"
                            "caf\xC3\xA9\r\n",
                            437),
            ReportList{L"café"});
  EXPECT_EQ(DecodeTextLines(std::string("\xFF\xFE"
                                        "h\0i\0\r\0\n\0",
                                        10),
                            437),
            ReportList{L"hi"});
  EXPECT_EQ(DecodeTextLines(std::string("\xFE\xFF\0h\0i", 6), 437), ReportList{L"hi"});
  // Turkish systeminfo: "\x98" is "\u0130" in 857, "\u02dc" in the ANSI page 1254.
  EXPECT_EQ(DecodeTextLines("\x98\x9Fletim\r\n", 857), ReportList{L"\u0130\u015fletim"});
}

}  // namespace
}  // namespace velmora
