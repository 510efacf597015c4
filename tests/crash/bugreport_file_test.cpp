// The crash-report file: whole reports, the oldest dropped first, always
// below 100,000 bytes, and the temporary folder when the first choice fails.
// The file is replaced whole, never written in place or through a link.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "crash/bugreport_file.h"
#include "crash/report_text.h"
#include "support/test_support.h"

namespace velmora::crash {
namespace {

std::wstring Report(const std::wstring& title, size_t chars) {
  std::wstring text = std::wstring(ReportStartLine()) + L"\r\n" + title + L"\r\n";
  text += std::wstring(chars - text.size() - 2, L'x') + L"\r\n";
  return text;
}

std::string FileBytes(const std::wstring& text) {
  return "\xFF\xFE" + test::Utf16LeBytes(text);
}

// Memory that ends in a page without access.
class UnreadableTail {
 public:
  static constexpr size_t kPage = 4096;
  explicit UnreadableTail(size_t readable_pages) : readable_(readable_pages * kPage) {
    base_ = static_cast<BYTE*>(
        ::VirtualAlloc(nullptr, readable_ + kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    ::VirtualProtect(base_ + readable_, kPage, PAGE_NOACCESS, &old);
  }
  ~UnreadableTail() { ::VirtualFree(base_, 0, MEM_RELEASE); }
  UnreadableTail(const UnreadableTail&) = delete;
  UnreadableTail& operator=(const UnreadableTail&) = delete;
  // Where the readable memory ends.
  BYTE* end() const { return base_ + readable_; }

 private:
  size_t readable_;
  BYTE* base_;
};

class ReportFile : public ::testing::Test {
 protected:
  std::wstring Append(const std::wstring& report) {
    EXPECT_TRUE(place_.AppendReport(report, scratch_.data(), scratch_.size()));
    return Contents();
  }
  std::wstring Contents() { return Contents(path_); }
  static std::wstring Contents(const std::wstring& path) {
    const std::string bytes = test::ReadBytes(path);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
  }

  // No file of a save is left beside the report.
  bool NoNewFilesLeft(const ReportFilePlace& place) {
    for (int i = 0; i < ReportFilePlace::kNewNames; ++i) {
      if (test::PathExists(place.NewName(i))) return false;
    }
    return true;
  }

  test::ScratchFolder folder_{L"velmora-bugreport"};
  test::ScratchFolder elsewhere_{L"velmora-elsewhere"};
  std::wstring path_ = folder_.path() + kBugreportFileName;
  ReportFilePlace place_{path_};
  std::vector<wchar_t> scratch_ = std::vector<wchar_t>(kMaxFileChars);
};

TEST(FirstKeptReport, KeepsEverythingThatFits) {
  const std::wstring old = Report(L"one", 100) + Report(L"two", 100);
  EXPECT_EQ(FirstKeptReport(old, 1000, false), 0u);
  EXPECT_EQ(FirstKeptReport(old, kMaxFileChars - 200, false), 0u);
}

TEST(FirstKeptReport, DropsTheOldestWholeReportsFirst) {
  const std::wstring old = Report(L"one", 200) + Report(L"two", 300) + Report(L"three", 150);
  EXPECT_EQ(FirstKeptReport(old, kMaxFileChars - 649, false), 200u);
  EXPECT_EQ(FirstKeptReport(old, kMaxFileChars - 450, false), 200u);
  EXPECT_EQ(FirstKeptReport(old, kMaxFileChars - 449, false), 500u);
  EXPECT_EQ(FirstKeptReport(old, kMaxFileChars - 149, false), old.size());
  EXPECT_EQ(FirstKeptReport(old, kMaxFileChars, false), old.size());
}

TEST(FirstKeptReport, ATextThatStartsMidReportLosesThatPart) {
  const std::wstring tail = L"end of an older report\r\n" + Report(L"two", 100);
  EXPECT_EQ(FirstKeptReport(tail, 10, true), 24u);
  // A start line inside a line is not a report's start.
  const std::wstring no_start = L"x" + std::wstring(ReportStartLine()) + L"\r\nrest\r\n";
  EXPECT_EQ(FirstKeptReport(no_start, 10, true), no_start.size());
}

TEST_F(ReportFile, NewFileGetsTheMarkAndTheReport) {
  const std::wstring report = Report(L"first", 200);
  EXPECT_EQ(Append(report), report);
  EXPECT_EQ(test::ReadBytes(path_), FileBytes(report));
}

TEST_F(ReportFile, LaterReportsAreAppended) {
  const std::wstring first = Report(L"first", 200), second = Report(L"second", 300);
  Append(first);
  EXPECT_EQ(Append(second), first + second);
}

TEST_F(ReportFile, FullFileLosesItsOldestReportsWholeAndStaysBelowTheLimit) {
  const std::wstring one = Report(L"one", 24750), two = Report(L"two", 24749);
  test::WriteBytes(path_, FileBytes(one + two));
  ASSERT_EQ(test::ReadBytes(path_).size(), 99000u);
  const std::wstring fresh = Report(L"fresh", 5000);
  EXPECT_EQ(Append(fresh), two + fresh);
  EXPECT_LT(test::ReadBytes(path_).size(), kFileLimitBytes);
  // A report that needs all the room leaves no older one.
  const std::wstring big = Report(L"big", kMaxFileChars);
  EXPECT_EQ(Append(big), big);
  EXPECT_EQ(test::ReadBytes(path_).size(), kFileLimitBytes - 2);
}

TEST_F(ReportFile, OversizedFileKeepsOnlyWholeReportsFromItsEnd) {
  std::wstring old;
  for (int i = 0; i < 30; ++i) old += Report(L"old " + std::to_wstring(i), 5000);
  test::WriteBytes(path_, FileBytes(old));
  const std::wstring fresh = Report(L"fresh", 20000);
  const std::wstring kept = Append(fresh);
  EXPECT_LT(kept.size() * 2 + 2, kFileLimitBytes);
  EXPECT_EQ(kept, old.substr(old.size() - 5 * 5000) + fresh);
}

TEST_F(ReportFile, ASaveCutShortLeavesThePreviousFileAsItWas) {
  const std::string previous = FileBytes(Report(L"one", 24750) + Report(L"two", 24749));
  test::WriteBytes(path_, previous);
  // A report whose end cannot be read: its writing fails part way, as a save
  // does that the time limit or the end of the process cuts short.
  const std::wstring fresh = Report(L"fresh", 5000);
  const size_t readable_chars = fresh.size() - 100;
  const UnreadableTail memory(3);
  auto* text = reinterpret_cast<wchar_t*>(memory.end()) - readable_chars;
  std::memcpy(text, fresh.data(), readable_chars * sizeof(wchar_t));
  EXPECT_FALSE(
      place_.AppendReport(std::wstring_view(text, fresh.size()), scratch_.data(), scratch_.size()));
  EXPECT_EQ(test::ReadBytes(path_), previous);
  EXPECT_TRUE(NoNewFilesLeft(place_));
}

TEST(OldReports, OnlyAPlainFileWithOneNameIsRead) {
  // Links and second names: a Unix link shows under Wine as a plain file, so
  // the attributes of a link as Windows shows them are given here.
  BY_HANDLE_FILE_INFORMATION file = {};
  file.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  file.nNumberOfLinks = 1;
  EXPECT_TRUE(MayKeepOldReports(file));
  file.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_FALSE(MayKeepOldReports(file));
  file.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  EXPECT_FALSE(MayKeepOldReports(file));
  file.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  file.nNumberOfLinks = 2;
  EXPECT_FALSE(MayKeepOldReports(file));
}

// Links planted at the file's name or at the names of the new content: what
// they lead to is neither read into the report nor changed.
TEST_F(ReportFile, ASecondNameOfAnotherFileIsReplacedNotReadOrWritten) {
  const std::wstring secret = elsewhere_.path() + L"secret.txt";
  const std::string secret_bytes = FileBytes(Report(L"not for the user", 300));
  test::WriteBytes(secret, secret_bytes);
  ASSERT_TRUE(::CreateHardLinkW(path_.c_str(), secret.c_str(), nullptr));
  const std::wstring report = Report(L"first", 200);
  EXPECT_EQ(Append(report), report);
  EXPECT_EQ(test::ReadBytes(secret), secret_bytes);
}

TEST_F(ReportFile, ALinkAtTheNameIsReplacedAndItsTargetKept) {
  const std::wstring target = elsewhere_.path() + L"system.ini";
  test::WriteBytes(target, "[settings]\r\n");
  ASSERT_TRUE(test::MakeUnixSymlink(target, path_));
  const std::wstring report = Report(L"first", 200);
  EXPECT_EQ(Append(report), report);
  EXPECT_EQ(test::ReadBytes(target), "[settings]\r\n");
  EXPECT_TRUE(NoNewFilesLeft(place_));
}

TEST_F(ReportFile, AFolderLinkAtTheNameLeavesTheFolderAlone) {
  const std::wstring target = elsewhere_.path() + L"folder";
  ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
  test::WriteBytes(target + L"\\kept.txt", "kept");
  ASSERT_TRUE(test::MakeUnixSymlink(target, path_));
  // Windows removes the link itself and saves; Wine cannot tell the link from
  // its folder, so the save gives up there (and the temporary folder serves).
  if (place_.AppendReport(Report(L"first", 200), scratch_.data(), scratch_.size())) {
    EXPECT_EQ(::GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  }
  EXPECT_EQ(test::ReadBytes(target + L"\\kept.txt"), "kept");
  EXPECT_TRUE(NoNewFilesLeft(place_));
}

TEST_F(ReportFile, ALinkAtANewNameIsPassedOver) {
  const std::wstring target = elsewhere_.path() + L"system.ini";
  test::WriteBytes(target, "[settings]\r\n");
  ASSERT_TRUE(test::MakeUnixSymlink(target, place_.NewName(0)));
  const std::wstring report = Report(L"first", 200);
  EXPECT_EQ(Append(report), report);
  EXPECT_EQ(test::ReadBytes(target), "[settings]\r\n");
}

TEST_F(ReportFile, FileInAnotherFormatIsReplaced) {
  test::WriteBytes(path_, "plain ANSI text, not a report file\r\n");
  const std::wstring report = Report(L"first", 200);
  EXPECT_EQ(Append(report), report);
}

TEST_F(ReportFile, FallbackFolderWhenTheFirstCannotBeWritten) {
  // A folder in the file's place: the file cannot be opened there.
  const std::wstring blocked = folder_.path() + L"blocked\\";
  ASSERT_TRUE(::CreateDirectoryW(blocked.c_str(), nullptr));
  const std::wstring blocked_path = blocked + kBugreportFileName;
  ASSERT_TRUE(::CreateDirectoryW(blocked_path.c_str(), nullptr));
  const ReportFilePlace blocked_place(blocked_path);
  const std::wstring report = Report(L"first", 200);
  EXPECT_EQ(SaveReport(blocked_place, place_, report, scratch_.data(), scratch_.size()),
            &place_.path());
  EXPECT_EQ(Contents(), report);
  EXPECT_TRUE(NoNewFilesLeft(blocked_place));
  const ReportFilePlace missing(folder_.path() + L"missing\\x\\bugreport.txt");
  EXPECT_EQ(SaveReport(missing, blocked_place, report, scratch_.data(), scratch_.size()), nullptr);
}

TEST(ReportText, EndsWithAnEmptyLine) {
  std::vector<wchar_t> storage(1000);
  ReportText report(storage.data(), storage.size());
  report.out().AppendLine(L"title");
  report.BeginSection(L"registers");
  report.out().AppendLine(L"RAX=0");
  EXPECT_EQ(report.Finish(), L"title\r\n--- registers ---\r\nRAX=0\r\n\r\n");
}

TEST(ReportText, TooLargeReportIsCutAtTheSectionThatDidNotFitWithANote) {
  std::vector<wchar_t> storage(kMaxFileChars);
  ReportText report(storage.data(), storage.size());
  report.out().AppendLine(L"title");
  report.BeginSection(L"small");
  report.out().AppendLine(L"fits");
  report.BeginSection(L"processes (list of running processes)");
  report.out().Append(std::wstring(kMaxFileChars, L'p'));
  EXPECT_TRUE(report.full());
  report.BeginSection(L"modules");  // after a cut: left out too
  report.out().AppendLine(L"m");
  EXPECT_EQ(report.Finish(),
            L"title\r\n--- small ---\r\nfits\r\n"
            L"--- the rest of this report was left out to keep the file below 100000 bytes ---"
            L"\r\n\r\n");
}

TEST(ReportText, ReportThatExactlyFillsItsRoomKeepsEverything) {
  std::vector<wchar_t> storage(kMaxFileChars);
  ReportText report(storage.data(), storage.size());
  report.BeginSection(L"big");
  report.out().Append(std::wstring(kMaxFileChars - kNoteReserve - 13, L'b'));  // to the limit
  EXPECT_FALSE(report.full());
  const std::wstring_view text = report.Finish();
  EXPECT_EQ(text.substr(text.size() - 3), L"b\r\n");
  EXPECT_LE(text.size(), kMaxFileChars);
}

TEST(ReportText, InterruptedReportStopsAtTheLastCutPointWithItsReason) {
  std::vector<wchar_t> storage(1000);
  ReportText report(storage.data(), storage.size());
  report.out().AppendLine(L"header");
  report.BeginSection(L"threads");
  report.out().AppendLine(L"Thread 0x0001");
  report.MarkCutPoint();
  report.out().Append(L"  #00 half a li");
  EXPECT_EQ(report.FinishEarly(L"--- stopped ---"),
            L"header\r\n--- threads ---\r\nThread 0x0001\r\n--- stopped ---\r\n\r\n");
  // Finished once: a later call changes nothing.
  EXPECT_EQ(report.Finish(),
            L"header\r\n--- threads ---\r\nThread 0x0001\r\n--- stopped ---\r\n\r\n");
}

}  // namespace
}  // namespace velmora::crash
