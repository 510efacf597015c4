#include "crash/exception_text.h"

namespace velmora::crash {

namespace {

struct NamedCode {
  DWORD code;
  const wchar_t* name;
};

constexpr NamedCode kNames[] = {
    {0xC0000005, L"access violation"},
    {0xC0000006, L"in-page error"},
    {0xC00000FD, L"stack overflow"},
    {0xC0000094, L"integer division by zero"},
    {0xC0000095, L"integer overflow"},
    {0xC000008C, L"array bounds exceeded"},
    {0xC000008D, L"floating-point denormal operand"},
    {0xC000008E, L"floating-point division by zero"},
    {0xC000008F, L"floating-point inexact result"},
    {0xC0000090, L"floating-point invalid operation"},
    {0xC0000091, L"floating-point overflow"},
    {0xC0000092, L"floating-point stack check"},
    {0xC0000093, L"floating-point underflow"},
    {0xC000001D, L"illegal instruction"},
    {0xC0000096, L"privileged instruction"},
    {0xC0000008, L"invalid handle"},
    {0xC0000025, L"noncontinuable exception"},
    {0xC0000026, L"invalid disposition"},
    {0xC0000374, L"heap corruption"},
    {0xC0000409, L"stack buffer overrun"},
    {0xC0000417, L"invalid C runtime parameter"},
    {0x80000001, L"guard page violation"},
    {0x80000002, L"datatype misalignment"},
    {0x80000003, L"breakpoint"},
    {0x80000004, L"single step"},
    {0xE06D7363, L"C++ exception (Visual C++)"},
    {0x20474343, L"C++ exception (GCC)"},
    {kUncaughtCppException, L"C++ exception not caught"},
    {kPureVirtualCall, L"pure virtual function call"},
    {kInvalidCrtParameter, L"invalid parameter passed to a C runtime function"},
    {kAbortCalled, L"abnormal program termination (abort)"},
    {kTerminateCalled, L"std::terminate called"},
};

bool IsOwnFault(DWORD code) {
  return (code & 0xFFFFFF00) == 0xE0564800;
}

void AppendAddress(TextBuffer& out, ULONG_PTR address) {
  out.Append(L"0x");
  out.AppendHex(address, kAddressDigits);
}

// Access violations and in-page errors say what was done at which address.
void AppendMemoryAccess(TextBuffer& out, const EXCEPTION_RECORD& record) {
  if (record.NumberParameters < 2) return;
  switch (record.ExceptionInformation[0]) {
    case 0:
      out.Append(L" reading address ");
      break;
    case 1:
      out.Append(L" writing address ");
      break;
    case 8:
      out.Append(L" executing address ");
      break;
    default:
      out.Append(L" at address ");
      break;
  }
  AppendAddress(out, record.ExceptionInformation[1]);
  if (record.ExceptionCode == 0xC0000006 && record.NumberParameters >= 3) {
    out.Append(L" (status 0x");
    out.AppendHex(record.ExceptionInformation[2], 8);
    out.Append(L")");
  }
}

}  // namespace

const wchar_t* ExceptionName(DWORD code) {
  for (const NamedCode& named : kNames) {
    if (named.code == code) return named.name;
  }
  return L"unknown exception";
}

void AppendExceptionText(TextBuffer& out, const EXCEPTION_RECORD& record) {
  const DWORD code = record.ExceptionCode;
  out.Append(L"0x");
  out.AppendHex(code, 8);
  out.Append(L" ");
  out.Append(ExceptionName(code));
  if (code == 0xC0000005 || code == 0xC0000006) AppendMemoryAccess(out, record);
  if (IsOwnFault(code) && record.NumberParameters >= 1 && record.ExceptionInformation[0] != 0) {
    const auto* details = reinterpret_cast<const wchar_t*>(record.ExceptionInformation[0]);
    if (*details != L'\0') {
      out.Append(L": ");
      out.Append(details);
    }
  }
}

ULONG_PTR FaultAddress(const EXCEPTION_RECORD& record) {
  if (IsOwnFault(record.ExceptionCode) && record.NumberParameters >= 2 &&
      record.ExceptionInformation[1] != 0) {
    return record.ExceptionInformation[1];
  }
  return reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
}

}  // namespace velmora::crash
