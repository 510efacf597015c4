// The texts a crash report is made of: the buffer they are written into,
// exception names and details, registers in both forms and code bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include "crash/exception_text.h"
#include "crash/register_text.h"
#include "crash/text_buffer.h"

namespace velmora::crash {
namespace {

TEST(TextBuffer, WritesNumbersAndTextUpToItsLimit) {
  FixedText<64> text;
  text.AppendHex(0x1A2B, 8);
  text.Append(L" ");
  text.AppendHex(0xFFFFFFFFFFFFFFFFull, 1);
  text.Append(L" ");
  text.AppendDecimal(0);
  text.Append(L" ");
  text.AppendDecimal(18446744073709551615ull);
  text.AppendNarrow(" ok\xE9");
  EXPECT_EQ(text.text(), L"00001A2B FFFFFFFFFFFFFFFF 0 18446744073709551615 ok\u00E9");
  EXPECT_FALSE(text.full());
}

TEST(TextBuffer, LeavesOutWhatDoesNotFitAndStaysFull) {
  FixedText<16> text;
  text.SetLimit(10);
  text.Append(L"12345678");
  text.Append(L"abc");  // would pass the limit: left out as a whole
  EXPECT_TRUE(text.full());
  text.Append(L"9");  // nothing more once full
  EXPECT_EQ(text.text(), L"12345678");
  text.Truncate(4);
  EXPECT_FALSE(text.full());
  text.RemoveLimit();
  text.Append(L"efghijklmnop");
  EXPECT_EQ(text.text(), L"1234efghijklmnop");
}

EXCEPTION_RECORD Record(DWORD code, std::initializer_list<ULONG_PTR> parameters) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  record.ExceptionAddress = reinterpret_cast<void*>(0x140001550);
  for (ULONG_PTR p : parameters) record.ExceptionInformation[record.NumberParameters++] = p;
  return record;
}

std::wstring ExceptionLine(const EXCEPTION_RECORD& record) {
  FixedText<512> text;
  AppendExceptionText(text, record);
  return std::wstring(text.text());
}

TEST(ExceptionText, NamesTheSystemsExceptions) {
  EXPECT_STREQ(ExceptionName(0xC0000005), L"access violation");
  EXPECT_STREQ(ExceptionName(0xC00000FD), L"stack overflow");
  EXPECT_STREQ(ExceptionName(0xC0000094), L"integer division by zero");
  EXPECT_STREQ(ExceptionName(0xC000001D), L"illegal instruction");
  EXPECT_STREQ(ExceptionName(0xC0000409), L"stack buffer overrun");
  EXPECT_STREQ(ExceptionName(0xE06D7363), L"C++ exception (Visual C++)");
  EXPECT_STREQ(ExceptionName(0x12345678), L"unknown exception");
  EXPECT_EQ(ExceptionLine(Record(0x12345678, {})), L"0x12345678 unknown exception");
}

TEST(ExceptionText, AccessViolationSaysWhatWasDoneWhere) {
  EXPECT_EQ(ExceptionLine(Record(0xC0000005, {0, 0x10})),
            L"0xC0000005 access violation reading address 0x0000000000000010");
  EXPECT_EQ(ExceptionLine(Record(0xC0000005, {1, 0xDEADBEEF})),
            L"0xC0000005 access violation writing address 0x00000000DEADBEEF");
  EXPECT_EQ(ExceptionLine(Record(0xC0000005, {8, 0x7FFE0000})),
            L"0xC0000005 access violation executing address 0x000000007FFE0000");
  // Without its parameters there is nothing more to say.
  EXPECT_EQ(ExceptionLine(Record(0xC0000005, {})), L"0xC0000005 access violation");
  EXPECT_EQ(ExceptionLine(Record(0xC0000006, {0, 0x401000, 0xC000009C})),
            L"0xC0000006 in-page error reading address 0x0000000000401000 (status 0xC000009C)");
}

TEST(ExceptionText, OwnFaultsCarryTheirDetailsAndCallSite) {
  static const wchar_t kDetails[] = L"std::runtime_error: the disk map could not be read";
  const EXCEPTION_RECORD cpp =
      Record(kUncaughtCppException, {reinterpret_cast<ULONG_PTR>(kDetails), 0x140034AB6});
  EXPECT_EQ(ExceptionLine(cpp),
            L"0xE0564801 C++ exception not caught: std::runtime_error: the disk map could not be "
            L"read");
  EXPECT_EQ(FaultAddress(cpp), 0x140034AB6u);
  const EXCEPTION_RECORD pure = Record(kPureVirtualCall, {0, 0x1400037DD});
  EXPECT_EQ(ExceptionLine(pure), L"0xE0564802 pure virtual function call");
  EXPECT_EQ(ExceptionLine(Record(kAbortCalled, {0, 0})),
            L"0xE0564804 abnormal program termination (abort)");
  // Without a call site, and for the system's exceptions, the exception address.
  EXPECT_EQ(FaultAddress(Record(kAbortCalled, {0, 0})), 0x140001550u);
  EXPECT_EQ(FaultAddress(Record(0xC0000005, {1, 0x10})), 0x140001550u);
}

TEST(RegisterText, X86FormInFourLines) {
  FixedText<1024> text;
  AppendRegisters(text,
                  X86Registers{0, 0x7FFDF000, 0x0012FF70, 0x7C90E4F4, 1, 2, 0x0012FF80, 0x0012FF5C,
                               0x00401234, 0x10246, 0x1B, 0x23, 0x23, 0x3B, 0, 0x23});
  EXPECT_EQ(text.text(),
            L"EAX=00000000 EBX=7FFDF000 ECX=0012FF70 EDX=7C90E4F4\r\n"
            L"ESI=00000001 EDI=00000002 EBP=0012FF80 ESP=0012FF5C\r\n"
            L"EIP=00401234 EFL=00010246\r\n"
            L"CS=001B DS=0023 ES=0023 FS=003B GS=0000 SS=0023\r\n");
}

TEST(RegisterText, X64FormInSevenLines) {
  X64Registers r = {};
  r.rax = 0x17;
  r.rcx = 0x10;
  r.r8 = 0xC93A20;
  r.r15 = 0x216A546F0;
  r.rbp = 0x21F880;
  r.rsp = 0x21F828;
  r.rip = 0x140001550;
  r.eflags = 0x10246;
  r.cs = 0x33;
  r.ds = r.ss = 0x2B;
  FixedText<1024> text;
  AppendRegisters(text, r);
  EXPECT_EQ(text.text(),
            L"RAX=0000000000000017 RBX=0000000000000000 RCX=0000000000000010\r\n"
            L"RDX=0000000000000000 RSI=0000000000000000 RDI=0000000000000000\r\n"
            L"R8 =0000000000C93A20 R9 =0000000000000000 R10=0000000000000000\r\n"
            L"R11=0000000000000000 R12=0000000000000000 R13=0000000000000000\r\n"
            L"R14=0000000000000000 R15=0000000216A546F0 RBP=000000000021F880\r\n"
            L"RSP=000000000021F828 RIP=0000000140001550 EFL=00010246\r\n"
            L"CS=0033 DS=002B ES=0000 FS=0000 GS=0000 SS=002B\r\n");
}

TEST(RegisterText, ContextOfThisBuildInItsForm) {
  CONTEXT context = {};
  context.Rip = 0x140001550;
  FixedText<1024> text;
  AppendContextRegisters(text, context);
  EXPECT_NE(text.text().find(L" RIP=0000000140001550 "), std::wstring_view::npos);
  EXPECT_EQ(InstructionPointer(context), 0x140001550u);
}

TEST(CodeBytes, RowsOfSixteenWithUnreadableBytesAndTheCrashRowMarked) {
  uint8_t bytes[20];
  bool readable[20];
  for (int i = 0; i < 20; ++i) {
    bytes[i] = static_cast<uint8_t>(0xA0 + i);
    readable[i] = i < 14;
  }
  FixedText<1024> text;
  AppendHexRows(text, 0x401000, bytes, readable, 20, 0x401012);
  EXPECT_EQ(text.text(),
            L"  0000000000401000: A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD ?? ??\r\n"
            L"=>0000000000401010: ?? ?? ?? ??\r\n");
}

TEST(CodeBytes, ReadsAcrossIntoAnUnreadablePageWithoutFaulting) {
  SYSTEM_INFO info = {};
  ::GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  auto* memory = static_cast<uint8_t*>(
      ::VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(memory, nullptr);
  for (size_t i = 0; i < page; ++i) memory[i] = static_cast<uint8_t>(i);
  DWORD old = 0;
  ASSERT_TRUE(::VirtualProtect(memory + page, page, PAGE_NOACCESS, &old));
  uint8_t bytes[8];
  bool readable[8];
  ReadMemorySafely(reinterpret_cast<uint64_t>(memory + page - 4), bytes, readable, 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(readable[i], i < 4) << i;
  EXPECT_EQ(bytes[3], static_cast<uint8_t>(page - 1));
  ::VirtualFree(memory, 0, MEM_RELEASE);
}

TEST(CodeBytes, NullAddressGivesFourRowsOfQuestionMarks) {
  FixedText<1024> text;
  AppendCodeBytes(text, 0);
  EXPECT_EQ(text.text(),
            L"=>0000000000000000: ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ??\r\n"
            L"  0000000000000010: ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ??\r\n"
            L"  0000000000000020: ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ??\r\n"
            L"  0000000000000030: ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ??\r\n");
}

}  // namespace
}  // namespace velmora::crash
