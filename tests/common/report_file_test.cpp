#include "common/report_file.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/strings.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::Utf16LeBytes;

// The bytes of the file that the list is saved as.
std::string Saved(const ReportList& list) {
  test::ScratchFolder folder;
  const std::wstring path = folder.path() + L"report.txt";
  SaveReportFile(list, path);
  return test::ReadBytes(path);
}

TEST(ReportFile, EntriesAreUtf16LeWithBomAndCrLfAfterEach) {
  EXPECT_EQ(Saved({L"Version:1.7", L"", L"Grüße"}),
            "\xFF\xFE" + Utf16LeBytes(L"Version:1.7\r\n\r\nGrüße\r\n"));
}

TEST(ReportFile, EmptyListIsJustTheByteOrderMark) {
  EXPECT_EQ(Saved({}), "\xFF\xFE");
}

TEST(ReportFile, EntryWithLineBreaksIsWrittenUnchanged) {
  const std::wstring block = L"row 1\r\nrow 2\r\n\r\nVirtual memory:x\r\n";
  EXPECT_EQ(Saved({block}), "\xFF\xFE" + Utf16LeBytes(block + L"\r\n"));
}

// Written a piece at a time: entries across the pieces' bounds come out whole.
TEST(ReportFile, LargeListIsWrittenWhole) {
  const ReportList list = {std::wstring(700000, L'a'), L"b", std::wstring(400000, L'c'), L"d"};
  std::wstring text;
  for (const std::wstring& entry : list) text += entry + L"\r\n";
  EXPECT_EQ(Saved(list), "\xFF\xFE" + Utf16LeBytes(text));
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
