#include "app/report_job.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/report_progress.h"
#include "common/handles.h"
#include "common/report_list.h"
#include "common/strings.h"
#include "environment/product_install.h"
#include "support/registry_seed.h"
#include "support/test_support.h"
#include "support/zip_reader.h"

namespace velmora {
namespace {

using test::PathExists;
using test::ScratchFolder;

struct JobRun {
  bool done = false;
  std::vector<std::pair<WPARAM, LPARAM>> messages;
};

// Runs the job on its own thread, as the window does, and records its messages
// as the window handles them. The recorder takes its posted messages only once
// the job has ended, so that an end that overtakes a step is seen every time.
JobRun RunJob(ReportJobSettings settings) {
  test::MessageRecorder recorder(WM_REPORT_PROGRESS);
  recorder.before_recording = [&recorder](WPARAM kind, LPARAM) {
    if (kind == kProgressDone || kind == kProgressFailed) {
      HandleQueuedSteps(recorder.handle(),
                        [&recorder](LPARAM step) { recorder.Record(kProgressStep, step); });
    }
  };
  settings.window = recorder.handle();
  JobRun run;
  struct Context {
    ReportJobSettings* settings;
    JobRun* run;
  } context{&settings, &run};
  UniqueHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* c = static_cast<Context*>(p);
        c->run->done = RunReportJob(*c->settings);
        return 0;
      },
      &context, 0, nullptr));
  recorder.PumpSentUntilSignalled(thread.get());
  run.messages = recorder.received();
  return run;
}

std::vector<std::pair<WPARAM, LPARAM>> ExpectedMessages(WPARAM ending) {
  std::vector<std::pair<WPARAM, LPARAM>> expected = {{kProgressStart, 15}};
  for (LPARAM step = 1; step <= 15; ++step) expected.emplace_back(kProgressStep, step);
  expected.emplace_back(ending, 0);
  return expected;
}

class ReportJobTest : public ::testing::Test {
 protected:
  ScratchFolder temp_{L"job-temp"};
  ScratchFolder destination_{L"job-destination"};

  ReportJobSettings Settings() const {
    return {nullptr, destination_.path() + L"Velmora_Debug_Info.zip", temp_.path(),
            test::BinDir() + L"\\VelmoraHelper.exe"};
  }
};

TEST_F(ReportJobTest, CompleteRunPostsFifteenStepsInOrderThenDone) {
  const JobRun run = RunJob(Settings());
  EXPECT_TRUE(run.done);
  EXPECT_EQ(run.messages, ExpectedMessages(kProgressDone));
  EXPECT_FALSE(PathExists(temp_.path() + L"GetInfoDir"));
}

TEST_F(ReportJobTest, UnusableWorkingFolderEndsWithFailedAndLeavesNothing) {
  ScratchFolder blocked;
  // A file where the temporary folder should be, and a program folder that does not exist.
  test::WriteBytes(blocked.path() + L"blocker", "x");
  ReportJobSettings settings = Settings();
  settings.temp_dir = blocked.path() + L"blocker\\";
  settings.program_file = blocked.path() + L"missing\\VelmoraHelper.exe";
  const JobRun run = RunJob(settings);
  EXPECT_FALSE(run.done);
  // No folder of the run's own making: the run ends before its first step.
  std::vector<std::pair<WPARAM, LPARAM>> expected = ExpectedMessages(kProgressFailed);
  expected.erase(expected.begin() + 1, expected.end() - 1);
  EXPECT_EQ(run.messages, expected);
  // The failure box names the step and the error below its fixed text.
  EXPECT_EQ(ReportFailureCause.rfind(L"Step 1 of 15: no working folder could be made", 0), 0u);
  EXPECT_FALSE(PathExists(blocked.path() + L"missing\\GetInfoDir"));
  EXPECT_FALSE(PathExists(blocked.path() + L"blocker\\GetInfoDir"));
}

TEST_F(ReportJobTest, AfterAFailedRunANewRunIsComplete) {
  ReportJobSettings failing = Settings();
  failing.temp_dir = temp_.path() + L"no\\such\\";
  test::WriteBytes(temp_.path() + L"no", "a file, not a folder");
  failing.program_file = temp_.path() + L"missing\\VelmoraHelper.exe";
  EXPECT_FALSE(RunJob(failing).done);
  const JobRun run = RunJob(Settings());
  EXPECT_TRUE(run.done);
  EXPECT_EQ(run.messages, ExpectedMessages(kProgressDone));
  EXPECT_EQ(ReportFailureCause, L"");
}

// A report text file of the archive without its byte-order mark.
std::wstring ReportOf(const std::wstring& archive, const char* name) {
  std::string error;
  const auto info = test::ReadZip(test::ReadBytes(archive), error);
  EXPECT_TRUE(info.has_value()) << error;
  const auto* report = info ? info->Find(name) : nullptr;
  if (report == nullptr || report->data.size() < 2) return {};
  EXPECT_EQ(report->data.substr(0, 2), "\xFF\xFE") << name;
  return std::wstring(reinterpret_cast<const wchar_t*>(report->data.data() + 2),
                      (report->data.size() - 2) / 2);
}

std::wstring MainReportOf(const std::wstring& archive) {
  return ReportOf(archive, "Velmora_Debug_Info.txt");
}

TEST_F(ReportJobTest, ArchiveHoldsTheMainReportWithVersionAndDate) {
  ASSERT_TRUE(RunJob(Settings()).done);
  const std::wstring report = MainReportOf(Settings().archive_path);
  EXPECT_EQ(report.rfind(L"Version:1.7.0.783\r\nDate:", 0), 0u) << report.substr(0, 80);
}

TEST_F(ReportJobTest, RegistryReportsAndTheProductFolder) {
  test::SeededKey product(HKEY_LOCAL_MACHINE,
                          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane_is1",
                          KEY_WOW64_32KEY);
  product.Text(L"InstallLocation", L"C:\\Program Files (x86)\\Corvane");
  test::SeededKey boot_time(HKEY_LOCAL_MACHINE,
                            L"SYSTEM\\CurrentControlSet\\services\\CorvaneBootTime");
  boot_time.Dword(L"Start", 2);
  ProductInstallPath.clear();
  ASSERT_TRUE(RunJob(Settings()).done);
  EXPECT_EQ(ProductInstallPath, L"C:\\Program Files (x86)\\Corvane\\");
  // No browser helper objects and nothing started at logon in the test prefix:
  // both headings alone, then the separator before the security block.
  const std::wstring separator = kSeparatorLine + L"\r\n";
  EXPECT_NE(MainReportOf(Settings().archive_path)
                .find(separator + L"\r\n===== BHOs =====\r\n\r\n\r\n===== Autoruns =====\r\n\r\n" +
                      separator + L"[AntiVirusProduct]\r\n"),
            std::wstring::npos);

  const std::wstring header = L"Windows Registry Editor Version 5.00\r\n";
  const std::wstring uninstall = ReportOf(Settings().archive_path, "uninstall.txt");
  EXPECT_EQ(uninstall.rfind(header + L"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
                                     L"CurrentVersion\\Uninstall]\r\n",
                            0),
            0u)
      << uninstall.substr(0, 200);
  EXPECT_NE(uninstall.find(L"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\"
                           L"CurrentVersion\\Uninstall\\Corvane_is1]\r\n\"InstallLocation\"="
                           L"\"C:\\\\Program Files (x86)\\\\Corvane\"\r\n"),
            std::wstring::npos);
  EXPECT_EQ(ReportOf(Settings().archive_path, "boottime.txt"),
            header +
                L"\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\"
                L"CorvaneBootTime]\r\n\"Start\"=dword:00000002\r\n");
  EXPECT_EQ(ReportOf(Settings().archive_path, "services.txt")
                .rfind(kSeparatorLine +
                           L"\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services]\r\n",
                       0),
            0u);
}

TEST_F(ReportJobTest, ProgramWithoutVersionResourceReportsUnknown) {
  ReportJobSettings settings = Settings();
  settings.program_file = test::BinDir() + L"\\no_version.dll";
  ASSERT_TRUE(RunJob(settings).done);
  EXPECT_EQ(MainReportOf(settings.archive_path).rfind(L"Version:Unknown\r\n", 0), 0u);
}

TEST_F(ReportJobTest, StaleFilesOfAnEarlierRunNeverReachTheArchive) {
  ::CreateDirectoryW((temp_.path() + L"GetInfoDir").c_str(), nullptr);
  test::WriteBytes(temp_.path() + L"GetInfoDir\\stale.log", "from an earlier run");
  ASSERT_TRUE(RunJob(Settings()).done);
  std::string error;
  const auto info = test::ReadZip(test::ReadBytes(Settings().archive_path), error);
  ASSERT_TRUE(info.has_value()) << error;
  EXPECT_EQ(info->Find("stale.log"), nullptr);
  EXPECT_NE(info->Find("Velmora_Debug_Info.txt"), nullptr);
}

}  // namespace
}  // namespace velmora
