// A whole crash report built on this thread: header, registers, code bytes,
// threads, hardware and the registered sections, in that order.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/handles.h"
#include "crash/crash_report.h"
#include "crash/exception_text.h"
#include "crash/report_sections.h"
#include "crash/stack_walk.h"
#include "support/test_support.h"

namespace velmora::crash {
namespace {

std::wstring FirstSection() {
  return L"first line\r\nsecond line";
}
std::wstring SecondSection() {
  return L"ends with its own line break\r\n";
}
std::wstring HugeSection() {
  return std::wstring(60000, L'h');
}

// Sections registered for one test and removed afterwards.
class RegisteredSections {
 public:
  RegisteredSections(std::initializer_list<ReportSection> sections) {
    for (const ReportSection& s : sections) {
      RegisterSection(s.name, s.description, s.handler);
      names_.push_back(s.name);
    }
  }
  ~RegisteredSections() {
    for (const std::wstring& name : names_) UnregisterSection(name);
  }

 private:
  std::vector<std::wstring> names_;
};

class CrashReport : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadStackWalkHelpers();
    StartSymbolHandler(test::BinDir());
    ::RtlCaptureContext(&context_);
    record_.ExceptionCode = 0xC0000005;
    record_.ExceptionAddress = reinterpret_cast<void*>(context_.Rip);
    record_.NumberParameters = 2;
    record_.ExceptionInformation[0] = 1;
    record_.ExceptionInformation[1] = 0x10;
  }

  std::wstring Build() {
    ReportStage stage;
    BuildCrashReport(report_, Facts(), stage);
    EXPECT_EQ(stage.section, nullptr);
    return std::wstring(report_.Finish());
  }

  CrashFacts Facts() {
    return {&record_,
            &context_,
            ::GetCurrentThreadId(),
            ::GetCurrentThreadId(),
            0,
            &name_,
            &version_,
            &windows_,
            snapshot_.get(),
            stacks_.data(),
            further_.get()};
  }

  static std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

  EXCEPTION_RECORD record_ = {};
  CONTEXT context_ = {};
  std::wstring name_ = L"Velmora Helper", version_ = L"1.7.0.783",
               windows_ = L"Windows 7 Professional x64 Service Pack 1";
  std::unique_ptr<ThreadSnapshot> snapshot_ = std::make_unique<ThreadSnapshot>();
  std::vector<WalkedStack> stacks_ = std::vector<WalkedStack>(ThreadSnapshot::kMaxThreads + 1);
  std::unique_ptr<FurtherFaults> further_ = std::make_unique<FurtherFaults>();
  std::vector<wchar_t> storage_ = std::vector<wchar_t>(kMaxFileChars);
  ReportText report_{storage_.data(), storage_.size()};
};

TEST_F(CrashReport, HeaderLines) {
  const std::vector<std::wstring> lines = Lines(Build());
  ASSERT_GT(lines.size(), 8u);
  EXPECT_EQ(lines[0], ReportStartLine());
  EXPECT_EQ(lines[1], L"Crash report of Velmora Helper");
  EXPECT_TRUE(
      std::regex_match(lines[2], std::wregex(LR"(Date:      \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
      << lines[2];
  EXPECT_EQ(lines[3], L"Version:   1.7.0.783");
  EXPECT_EQ(lines[4], L"Windows:   Windows 7 Professional x64 Service Pack 1");
  EXPECT_EQ(lines[5], L"Exception: 0xC0000005 access violation writing address 0x0000000000000010");
  EXPECT_TRUE(std::regex_match(
      lines[6], std::wregex(LR"(Address:   0x[0-9A-F]{16} crash_tests\.exe!0x[0-9A-F]+)")))
      << lines[6];
  EXPECT_TRUE(
      std::regex_match(lines[7], std::wregex(LR"(Thread:    0x[0-9A-F]{4,} \(main thread\))")))
      << lines[7];
}

TEST_F(CrashReport, SectionsInOrderWithTheRegisteredOnesLast) {
  const RegisteredSections sections{{L"first", L"the first one", &FirstSection},
                                    {L"second", L"the second one", &SecondSection}};
  const std::wstring text = Build();
  std::vector<std::wstring> headings;
  for (const std::wstring& line : Lines(text)) {
    if (line.starts_with(L"--- ")) headings.push_back(line);
  }
  const std::vector<std::wstring> expected = {L"--- registers ---",
                                              L"--- code ---",
                                              L"--- threads ---",
                                              L"--- hardware ---",
                                              L"--- first (the first one) ---",
                                              L"--- second (the second one) ---"};
  EXPECT_EQ(headings, expected);
  EXPECT_NE(text.find(L"--- first (the first one) ---\r\nfirst line\r\nsecond line\r\n--- second"),
            std::wstring::npos);
  EXPECT_TRUE(
      text.ends_with(L"--- second (the second one) ---\r\nends with its own line break\r\n"
                     L"\r\n"));
}

DWORD WINAPI WaitForEvent(void* event) {
  return ::WaitForSingleObject(event, INFINITE);
}

TEST_F(CrashReport, ThreadsShowThisOneFirstThenTheOthers) {
  const UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD other_id = 0;
  const UniqueHandle other(::CreateThread(nullptr, 0, &WaitForEvent, go.get(), 0, &other_id));
  const std::wstring text = Build();
  ::SetEvent(go.get());
  ::WaitForSingleObject(other.get(), INFINITE);
  const size_t threads = text.find(L"--- threads ---\r\nThread 0x");
  ASSERT_NE(threads, std::wstring::npos);
  EXPECT_NE(text.find(L"(main thread), where the fault happened\r\n  #00 ", threads),
            std::wstring::npos);
  EXPECT_NE(text.find(L" crash_tests.exe!0x", threads), std::wstring::npos);
  FixedText<32> heading;
  heading.Append(L"\r\nThread 0x");
  heading.AppendHex(other_id, 4);
  heading.Append(L"\r\n  #00 ");
  EXPECT_NE(text.find(heading.text(), threads), std::wstring::npos) << text.substr(threads, 3000);
}

TEST_F(CrashReport, HugeSectionIsCutAtItsHeadingAndTheReportFitsTheFile) {
  const RegisteredSections sections{{L"huge", L"too large", &HugeSection},
                                    {L"after", L"never reached", &FirstSection}};
  const std::wstring text = Build();
  EXPECT_LE(text.size(), kMaxFileChars);
  EXPECT_TRUE(text.ends_with(L"--- hardware ---\r\n") == false);
  EXPECT_EQ(text.find(L"--- huge"), std::wstring::npos);
  EXPECT_EQ(text.find(L"--- after"), std::wstring::npos);
  EXPECT_TRUE(text.ends_with(
      L"\r\n--- the rest of this report was left out to keep the file below 100000 bytes ---"
      L"\r\n\r\n"));
}

TEST_F(CrashReport, AFaultOfAnotherThreadIsNamedWithItsCodeAndAddress) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = 0xC0000005;
  record.ExceptionAddress = reinterpret_cast<void*>(context_.Rip);
  record.NumberParameters = 2;
  record.ExceptionInformation[1] = 0x20;
  EXCEPTION_POINTERS pointers = {&record, &context_};
  ASSERT_TRUE(further_->Record(0x4D2, pointers));
  const std::wstring text = Build();
  const size_t section = text.find(L"\r\n--- further faults ---\r\n");
  ASSERT_NE(section, std::wstring::npos);
  const size_t line = section + std::wstring_view(L"\r\n--- further faults ---\r\n").size();
  const std::wstring expected_start =
      L"Thread 0x04D2, where a further fault happened: 0xC0000005 access violation reading "
      L"address 0x0000000000000020, at 0x";
  EXPECT_EQ(text.substr(line, expected_start.size()), expected_start);
  EXPECT_TRUE(std::regex_search(
      text.substr(line),
      std::wregex(LR"(^[^\r]*, at 0x[0-9A-F]{16} crash_tests\.exe!0x[0-9A-F]+\r\n)")))
      << text.substr(line, 200);
}

// The stacks are walked before their symbols are looked up: a report whose
// symbols do not come in time still shows the stacks, without the names.
TEST_F(CrashReport, AReportStoppedWhileNamingFramesKeepsTheWalkedStacks) {
  report_.out().AppendLine(ReportStartLine());
  report_.MarkCutPoint();
  ReportStage stage;
  stage.what = L"the symbols";
  stage.threads_at = report_.size();
  report_.BeginSection(L"threads");
  WalkStack(context_, nullptr, true, stacks_[0]);
  stage.stacks_walked = 1;
  report_.out().Append(L"Thread 0x0001, where the fault happened\r\n  #00 0000000140001000 cras");
  const std::wstring text(FinishStoppedReport(report_, Facts(), stage, L"--- stopped ---"));
  const std::vector<std::wstring> lines = Lines(text);
  ASSERT_GE(lines.size(), 6u) << text;
  EXPECT_EQ(lines[1], L"--- threads ---");
  EXPECT_TRUE(std::regex_match(
      lines[2], std::wregex(LR"(Thread 0x[0-9A-F]{4,} \(main thread\), where the fault happened)")))
      << lines[2];
  EXPECT_TRUE(std::regex_match(lines[3],
                               std::wregex(LR"(  #00 [0-9A-F]{16} crash_tests\.exe!0x[0-9A-F]+)")))
      << lines[3];
  EXPECT_EQ(std::count(text.begin(), text.end(), L'('), 1);  // "(main thread)": no symbols
  EXPECT_TRUE(text.ends_with(L"\r\n--- stopped ---\r\n\r\n"));
}

TEST(DateTime, ZeroPaddedIsoForm) {
  SYSTEMTIME time = {};
  time.wYear = 2026;
  time.wMonth = 3;
  time.wDay = 4;
  time.wHour = 5;
  time.wMinute = 6;
  time.wSecond = 7;
  FixedText<64> text;
  AppendDateTime(text, time);
  EXPECT_EQ(text.text(), L"2026-03-04 05:06:07");
}

}  // namespace
}  // namespace velmora::crash
