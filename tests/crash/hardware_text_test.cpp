// The hardware lines as Wine's machine answers them.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "crash/hardware_text.h"

namespace velmora::crash {
namespace {

std::wstring Text(void (*append)(TextBuffer&)) {
  FixedText<4096> text;
  append(text);
  return std::wstring(text.text());
}

TEST(HardwareText, ProcessorWithItsNameAndCount) {
  const std::wstring line = Text(&AppendProcessor);
  EXPECT_TRUE(
      std::regex_match(line, std::wregex(LR"(Processor: \S.*, \d+ logical processors?\r\n)")))
      << line;
  EXPECT_EQ(line.find(L"Processor: unknown"), std::wstring::npos);
}

TEST(HardwareText, MemoryInWholeMegabytes) {
  const std::wstring line = Text(&AppendMemory);
  EXPECT_TRUE(
      std::regex_match(line, std::wregex(LR"(Memory: [1-9]\d* MB physical, \d+ MB available\r\n)")))
      << line;
}

TEST(HardwareText, DisplayAdapterWithItsMode) {
  const std::wstring lines = Text(&AppendDisplays);
  EXPECT_TRUE(
      std::regex_search(lines, std::wregex(LR"(^Display: .+ \(primary\), \d+x\d+, \d+ bits\r\n)")))
      << lines;
}

TEST(HardwareText, DisksWithTheirSize) {
  const std::wstring lines = Text(&AppendDisks);
  EXPECT_TRUE(std::regex_search(
      lines, std::wregex(LR"(^Disk: \\\\\.\\PhysicalDrive0.*, [\d.,]+ [KMG]B\r\n)")))
      << lines;
}

}  // namespace
}  // namespace velmora::crash
