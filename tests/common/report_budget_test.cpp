#include "common/report_budget.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

// Each entry costs its characters and its line break; once one does not fit,
// nothing more goes in, however small.
TEST(ReportBudget, StopsAtTheFirstEntryThatDoesNotFit) {
  ReportBudget budget(10);
  ReportList list;
  EXPECT_TRUE(budget.Add(list, L"abcd"));  // 6 of 10
  EXPECT_TRUE(budget.Add(list, L"ef"));    // 10 of 10
  EXPECT_FALSE(budget.exhausted());
  EXPECT_FALSE(budget.Add(list, L""));
  EXPECT_TRUE(budget.exhausted());
  EXPECT_EQ(list, (ReportList{L"abcd", L"ef"}));

  ReportBudget cut(10);
  EXPECT_FALSE(cut.Add(list, L"too long here"));
  EXPECT_FALSE(cut.Add(list, L"a"));
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(LeftOutNote(2, cut),
            L"(Left out from here, as a report block holds at most 10 characters: lines 2)");
  EXPECT_EQ(kRegistryExportBudget, 8388608u);
  EXPECT_EQ(kReportBlockBudget, 2097152u);
}

}  // namespace
}  // namespace velmora
