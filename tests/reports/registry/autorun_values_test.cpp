#include "reports/registry/autorun_values.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Items = std::vector<std::wstring>;

TEST(CommaList, QuotedItemsKeepBlanksAndCommas) {
  EXPECT_EQ(SplitCommaList(L"\"C:\\Program Files\\A\\a.exe\",\"b, c.exe\""),
            (Items{L"C:\\Program Files\\A\\a.exe", L"b, c.exe"}));
}

TEST(CommaList, DoubledQuotesStandForOne) {
  EXPECT_EQ(SplitCommaList(L"\"say \"\"hi\"\"\",x"), (Items{L"say \"hi\"", L"x"}));
  // Without its closing mark the item runs to the end.
  EXPECT_EQ(SplitCommaList(L"a, \"open ended, still"), (Items{L"a", L"open ended, still"}));
}

TEST(CommaList, BlanksSeparateUnquotedItems) {
  EXPECT_EQ(SplitCommaList(L"C:\\Program Files\\x.exe"), (Items{L"C:\\Program", L"Files\\x.exe"}));
  EXPECT_EQ(SplitCommaList(L"a.exe, b.exe"), (Items{L"a.exe", L"b.exe"}));
  EXPECT_EQ(SplitCommaList(L"  \ta.exe\t ,\r\n b.exe  "), (Items{L"a.exe", L"b.exe"}));
}

TEST(CommaList, EmptyItemsAreKept) {
  // A comma at the very end gives one empty item; commas in a row give one each.
  EXPECT_EQ(SplitCommaList(L"userinit.exe,"), (Items{L"userinit.exe", L""}));
  EXPECT_EQ(SplitCommaList(L"a,,b"), (Items{L"a", L"", L"b"}));
  EXPECT_EQ(SplitCommaList(L",a"), (Items{L"", L"a"}));
  EXPECT_EQ(SplitCommaList(L"\"\""), (Items{L""}));
  EXPECT_TRUE(SplitCommaList(L"").empty());
  EXPECT_TRUE(SplitCommaList(L"   ").empty());
}

// Every input ends: a NUL separates items as a blank does, wherever it stands.
TEST(CommaList, NulsSeparateAndEveryInputEnds) {
  EXPECT_EQ(SplitCommaList(std::wstring(L"a.exe\0b.exe", 11)), (Items{L"a.exe", L"b.exe"}));
  EXPECT_EQ(SplitCommaList(std::wstring(L"\0\"q\0x\"\0,\0", 9)), (Items{std::wstring(L"q\0x", 3)}));
  EXPECT_TRUE(SplitCommaList(std::wstring(3, L'\0')).empty());
  EXPECT_EQ(CommaListLines(std::wstring(L"a,\0,b\0", 6)), (ReportList{L"a", L"b"}));
}

TEST(CommaList, LinesLeaveOutBlankItems) {
  EXPECT_EQ(CommaListLines(L"a.exe,, \" \" ,b.exe,"), (ReportList{L"a.exe", L"b.exe"}));
}

class WinlogonRule : public ::testing::Test {
 protected:
  ReportList Shell(const std::wstring& text) {
    return WinlogonLines(text, L"explorer.exe", L"C:\\WINDOWS\\system32", L"C:\\WINDOWS");
  }
  ReportList Userinit(const std::wstring& text) {
    return WinlogonLines(text, L"userinit.exe", L"C:\\WINDOWS\\system32", L"C:\\WINDOWS");
  }
};

TEST_F(WinlogonRule, StandardFirstItemIsLeftOut) {
  EXPECT_TRUE(Shell(L"explorer.exe").empty());
  EXPECT_TRUE(Shell(L"Explorer.EXE").empty());
  EXPECT_TRUE(Shell(L"c:\\windows\\explorer.exe").empty());
  EXPECT_TRUE(Shell(L"\"C:\\Windows\\System32\\EXPLORER.exe\"").empty());
  EXPECT_TRUE(Userinit(L"C:\\WINDOWS\\system32\\userinit.exe,").empty());
  EXPECT_TRUE(Userinit(L"userinit.exe").empty());
}

TEST_F(WinlogonRule, OnlyTheFirstPositionIsCompared) {
  EXPECT_EQ(Shell(L"explorer.exe,other.exe"), ReportList{L"other.exe"});
  EXPECT_EQ(Shell(L"other.exe,explorer.exe"), (ReportList{L"other.exe", L"explorer.exe"}));
  // A blank first item still takes the first position.
  EXPECT_EQ(Shell(L",explorer.exe"), ReportList{L"explorer.exe"});
  EXPECT_EQ(Userinit(L"C:\\WINDOWS\\system32\\userinit.exe, logon.exe"), ReportList{L"logon.exe"});
}

TEST_F(WinlogonRule, OtherFoldersAndNamesAreReported) {
  EXPECT_EQ(Shell(L"D:\\explorer.exe"), ReportList{L"D:\\explorer.exe"});
  EXPECT_EQ(Shell(L"explorer.exe.bak"), ReportList{L"explorer.exe.bak"});
  EXPECT_EQ(Userinit(L"C:\\WINDOWS\\system32\\explorer.exe"),
            ReportList{L"C:\\WINDOWS\\system32\\explorer.exe"});
  // Only ASCII letters fold: a dotless capital I is another letter.
  EXPECT_EQ(Userinit(L"USER\u0130NIT.EXE"), ReportList{L"USER\u0130NIT.EXE"});
}

TEST(RunOnceEx, FieldsAreThePiecesBetweenBars) {
  EXPECT_EQ(SplitRunOnceExFields(L"||cmd /c x"), Items{L"cmd /c x"});
  EXPECT_EQ(SplitRunOnceExFields(L"a.dll|Fn|"), (Items{L"a.dll", L"Fn"}));
  EXPECT_EQ(SplitRunOnceExFields(L" | |x"), (Items{L" ", L" ", L"x"}));
  EXPECT_TRUE(SplitRunOnceExFields(L"|||").empty());
}

TEST(RunOnceEx, TwoBarsAndACommandGiveOneLine) {
  EXPECT_EQ(RunOnceExLines(L"||setup.exe /quiet"), ReportList{L"rundll32.exe setup.exe /quiet"});
}

TEST(RunOnceEx, ThreeFieldsGiveThreeLines) {
  EXPECT_EQ(RunOnceExLines(L"setup.dll|Install|/q /n"),
            (ReportList{L"rundll32.exe setup.dll", L"rundll32.exe setup.dll,Install",
                        L"rundll32.exe setup.dll,Install /q /n"}));
  EXPECT_EQ(RunOnceExLines(L"a.dll|Fn"),
            (ReportList{L"rundll32.exe a.dll", L"rundll32.exe a.dll,Fn"}));
}

TEST(RunOnceEx, BlankFieldsAreCheckedOneByOne) {
  // Library and function blank: the arguments run as they stand.
  EXPECT_EQ(RunOnceExLines(L" |\t|tool.exe /x"), ReportList{L"tool.exe /x"});
  // Only the function blank: the library line and the full line, fields unchanged.
  EXPECT_EQ(RunOnceExLines(L"a.dll| |args|ignored"),
            (ReportList{L"rundll32.exe a.dll", L"rundll32.exe a.dll,  args"}));
  EXPECT_TRUE(RunOnceExLines(L"").empty());
  EXPECT_TRUE(RunOnceExLines(L"  ").empty());
}

}  // namespace
}  // namespace velmora
