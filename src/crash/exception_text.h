// What a crash report says about the exception: its code, its name and, for
// access violations and the faults this program raises itself, the details.
#pragma once

#include <windows.h>

#include "crash/text_buffer.h"

namespace velmora::crash {

// Faults that are not exceptions of the system, raised by the crash reporter's
// own hooks so that they reach it with the context of the place they happened.
// Each carries two parameters: a NUL-terminated wide text with the details (or
// null) and the address the hook was called from.
inline constexpr DWORD kUncaughtCppException = 0xE0564801;
inline constexpr DWORD kPureVirtualCall = 0xE0564802;
inline constexpr DWORD kInvalidCrtParameter = 0xE0564803;
inline constexpr DWORD kAbortCalled = 0xE0564804;
inline constexpr DWORD kTerminateCalled = 0xE0564805;

// "access violation", "stack overflow", ...; "unknown exception" otherwise.
const wchar_t* ExceptionName(DWORD code);

// One line's text: "0xC0000005 access violation writing address 0x00000010",
// "0xE0564801 C++ exception not caught: std::runtime_error: disk map unreadable".
void AppendExceptionText(TextBuffer& out, const EXCEPTION_RECORD& record);

// The address a report names as the crash site: where a hook was called from
// for the program's own faults, the exception address for all others.
ULONG_PTR FaultAddress(const EXCEPTION_RECORD& record);

// Hexadecimal digits of an address in this build: 8 or 16.
inline constexpr int kAddressDigits = static_cast<int>(sizeof(void*) * 2);

}  // namespace velmora::crash
