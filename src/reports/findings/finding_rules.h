// The red flags of the findings page: one table of rules, each a small
// function of the facts that the run collected, most serious first.
#pragma once

#include <string>
#include <vector>

#include "common/report_list.h"
#include "reports/findings/findings_facts.h"

namespace velmora {

struct RuleOutput {
  std::vector<std::wstring> findings;  // one line per red flag, naming its evidence
  std::vector<std::wstring> unread;    // facts the rule needed that no file gave
};

struct FindingRule {
  const wchar_t* name;
  void (*check)(const ReportFacts& facts, RuleOutput& out);
};

// In the order their lines are shown: the most serious first.
const std::vector<FindingRule>& FindingRules();

// The lines of "Findings.txt": the red flags, or "No red flags found.", and
// what could not be read.
ReportList MakeFindings(const ReportFacts& facts);

}  // namespace velmora
