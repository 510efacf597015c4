#include "common/report_file.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/strings.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::Utf16LeBytes;

TEST(ReportFile, EntriesAreUtf16LeWithBomAndCrLfAfterEach) {
  const std::string bytes = EncodeReportFile({L"Version:1.7", L"", L"Grüße"});
  EXPECT_EQ(bytes, "\xFF\xFE" + Utf16LeBytes(L"Version:1.7\r\n\r\nGrüße\r\n"));
}

TEST(ReportFile, EmptyListIsJustTheByteOrderMark) {
  EXPECT_EQ(EncodeReportFile({}), "\xFF\xFE");
}

TEST(ReportFile, EntryWithLineBreaksIsWrittenUnchanged) {
  const std::wstring block = L"row 1\r\nrow 2\r\n\r\nVirtual memory:x\r\n";
  EXPECT_EQ(EncodeReportFile({block}), "\xFF\xFE" + Utf16LeBytes(block + L"\r\n"));
}

TEST(ReportFile, SaveReplacesAnExistingFile) {
  test::ScratchFolder folder;
  const std::wstring path = folder.path() + L"report.txt";
  test::WriteBytes(path, std::string(1000, 'x'));
  SaveReportFile({L"a"}, path);
  EXPECT_EQ(test::ReadBytes(path), "\xFF\xFE" + Utf16LeBytes(L"a\r\n"));
}

TEST(ReportFile, SaveIntoMissingFolderRaises) {
  test::ScratchFolder folder;
  EXPECT_THROW(SaveReportFile({L"a"}, folder.path() + L"missing\\report.txt"), ReportError);
}

TEST(ReportList, SeparatorIsEightyOneAsterisks) {
  EXPECT_EQ(kSeparatorLine,
            L"*********************************************************************************");
}

TEST(Strings, ReplaceAllNoCaseReplacesEveryOccurrence) {
  EXPECT_EQ(ReplaceAllNoCase(L"C:\\Users\\ADMIN\\x\\admin\\", L"\\admin\\", L"\\bob\\"),
            L"C:\\Users\\bob\\x\\bob\\");
  EXPECT_EQ(ReplaceAllNoCase(L"abc", L"", L"x"), L"abc");
}

TEST(Strings, SplitAtLastBackslash) {
  EXPECT_EQ(SplitAtLastBackslash(L"C:\\a\\b.exe"),
            std::make_pair(std::wstring(L"C:\\a"), std::wstring(L"b.exe")));
  EXPECT_EQ(SplitAtLastBackslash(L"Idle"), std::make_pair(std::wstring(), std::wstring(L"Idle")));
}

TEST(Strings, CodePageRoundTrip) {
  EXPECT_TRUE(FitsCodePage(L"report.txt", 437));
  EXPECT_FALSE(FitsCodePage(L"отчёт.txt", 437));
  EXPECT_EQ(DecodeCodePage("\xE9", 1252), L"é");
  EXPECT_EQ(HexLower(0x1a2c, 4), L"1a2c");
  EXPECT_EQ(HexLower(4, 4), L"0004");
}

}  // namespace
}  // namespace velmora
