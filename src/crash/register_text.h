// The faulting thread's registers and the code bytes around the crash address,
// as support reads them in a crash report.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "crash/text_buffer.h"

namespace velmora::crash {

struct X86Registers {
  uint32_t eax, ebx, ecx, edx, esi, edi, ebp, esp, eip, eflags;
  uint16_t cs, ds, es, fs, gs, ss;
};

struct X64Registers {
  uint64_t rax, rbx, rcx, rdx, rsi, rdi, r8, r9, r10, r11, r12, r13, r14, r15, rbp, rsp, rip;
  uint32_t eflags;
  uint16_t cs, ds, es, fs, gs, ss;
};

// Four lines for the 32-bit program:
//   EAX=00000000 EBX=7FFDF000 ECX=0012FF70 EDX=7C90E4F4
//   ESI=00000000 EDI=00000000 EBP=0012FF80 ESP=0012FF5C
//   EIP=00401234 EFL=00010246
//   CS=001B DS=0023 ES=0023 FS=003B GS=0000 SS=0023
void AppendRegisters(TextBuffer& out, const X86Registers& r);
// Seven lines for the 64-bit build: three registers a line, the last one
// with RSP, RIP and the flags (EFL=00010246), then the segment registers.
void AppendRegisters(TextBuffer& out, const X64Registers& r);
// The form of this build.
void AppendContextRegisters(TextBuffer& out, const CONTEXT& context);

uint64_t InstructionPointer(const CONTEXT& context);
uint64_t StackPointer(const CONTEXT& context);
uint64_t FramePointer(const CONTEXT& context);

// Rows of 16 bytes, "  <address>: 8B 45 08 ?? ..." with "??" for a byte that
// could not be read; the row that holds `mark` starts with "=>" instead.
void AppendHexRows(TextBuffer& out, uint64_t start, const uint8_t* bytes, const bool* readable,
                   size_t count, uint64_t mark);

// Reads the own process's memory without faulting (see ReadOwnMemory):
// `readable[i]` tells whether byte i could be read.
void ReadMemorySafely(uint64_t address, uint8_t* bytes, bool* readable, size_t count);

// 32 bytes before the address and 32 from it, read safely.
void AppendCodeBytes(TextBuffer& out, uint64_t address);

}  // namespace velmora::crash
