#include "crash/register_text.h"

#include <initializer_list>
#include <utility>

#include "crash/exception_text.h"
#include "crash/thread_snapshot.h"

namespace velmora::crash {

namespace {

constexpr size_t kRowBytes = 16;
constexpr size_t kCodeBefore = 32;
constexpr size_t kCodeAfter = 32;

void AppendRegister(TextBuffer& out, const wchar_t* name, uint64_t value, int digits) {
  out.Append(name);
  out.Append(L"=");
  out.AppendHex(value, digits);
}

// Registers separated by single blanks; the line is left open.
void AppendRow(TextBuffer& out, std::initializer_list<std::pair<const wchar_t*, uint64_t>> row,
               int digits) {
  bool first = true;
  for (const auto& [name, value] : row) {
    if (!first) out.Append(L" ");
    first = false;
    AppendRegister(out, name, value, digits);
  }
}

void AppendLine(TextBuffer& out, std::initializer_list<std::pair<const wchar_t*, uint64_t>> row,
                int digits) {
  AppendRow(out, row, digits);
  out.EndLine();
}

void AppendSegments(TextBuffer& out, uint16_t cs, uint16_t ds, uint16_t es, uint16_t fs,
                    uint16_t gs, uint16_t ss) {
  AppendLine(out, {{L"CS", cs}, {L"DS", ds}, {L"ES", es}, {L"FS", fs}, {L"GS", gs}, {L"SS", ss}},
             4);
}

}  // namespace

void AppendRegisters(TextBuffer& out, const X86Registers& r) {
  AppendLine(out, {{L"EAX", r.eax}, {L"EBX", r.ebx}, {L"ECX", r.ecx}, {L"EDX", r.edx}}, 8);
  AppendLine(out, {{L"ESI", r.esi}, {L"EDI", r.edi}, {L"EBP", r.ebp}, {L"ESP", r.esp}}, 8);
  AppendLine(out, {{L"EIP", r.eip}, {L"EFL", r.eflags}}, 8);
  AppendSegments(out, r.cs, r.ds, r.es, r.fs, r.gs, r.ss);
}

void AppendRegisters(TextBuffer& out, const X64Registers& r) {
  AppendLine(out, {{L"RAX", r.rax}, {L"RBX", r.rbx}, {L"RCX", r.rcx}}, 16);
  AppendLine(out, {{L"RDX", r.rdx}, {L"RSI", r.rsi}, {L"RDI", r.rdi}}, 16);
  AppendLine(out, {{L"R8 ", r.r8}, {L"R9 ", r.r9}, {L"R10", r.r10}}, 16);
  AppendLine(out, {{L"R11", r.r11}, {L"R12", r.r12}, {L"R13", r.r13}}, 16);
  AppendLine(out, {{L"R14", r.r14}, {L"R15", r.r15}, {L"RBP", r.rbp}}, 16);
  AppendRow(out, {{L"RSP", r.rsp}, {L"RIP", r.rip}}, 16);
  AppendLine(out, {{L" EFL", r.eflags}}, 8);
  AppendSegments(out, r.cs, r.ds, r.es, r.fs, r.gs, r.ss);
}

void AppendContextRegisters(TextBuffer& out, const CONTEXT& c) {
#ifdef _WIN64
  AppendRegisters(
      out, X64Registers{c.Rax, c.Rbx,    c.Rcx,   c.Rdx,   c.Rsi,   c.Rdi,   c.R8,    c.R9,
                        c.R10, c.R11,    c.R12,   c.R13,   c.R14,   c.R15,   c.Rbp,   c.Rsp,
                        c.Rip, c.EFlags, c.SegCs, c.SegDs, c.SegEs, c.SegFs, c.SegGs, c.SegSs});
#else
  const auto segment = [](DWORD value) { return static_cast<uint16_t>(value); };
  AppendRegisters(out, X86Registers{c.Eax, c.Ebx, c.Ecx, c.Edx, c.Esi, c.Edi, c.Ebp, c.Esp, c.Eip,
                                    c.EFlags, segment(c.SegCs), segment(c.SegDs), segment(c.SegEs),
                                    segment(c.SegFs), segment(c.SegGs), segment(c.SegSs)});
#endif
}

#ifdef _WIN64
uint64_t InstructionPointer(const CONTEXT& context) {
  return context.Rip;
}
uint64_t StackPointer(const CONTEXT& context) {
  return context.Rsp;
}
uint64_t FramePointer(const CONTEXT& context) {
  return context.Rbp;
}
#else
uint64_t InstructionPointer(const CONTEXT& context) {
  return context.Eip;
}
uint64_t StackPointer(const CONTEXT& context) {
  return context.Esp;
}
uint64_t FramePointer(const CONTEXT& context) {
  return context.Ebp;
}
#endif

void AppendHexRows(TextBuffer& out, uint64_t start, const uint8_t* bytes, const bool* readable,
                   size_t count, uint64_t mark) {
  for (size_t row = 0; row < count; row += kRowBytes) {
    const uint64_t row_address = start + row;
    const size_t row_size = count - row < kRowBytes ? count - row : kRowBytes;
    const bool marked = mark >= row_address && mark < row_address + row_size;
    out.Append(marked ? L"=>" : L"  ");
    out.AppendHex(row_address, kAddressDigits);
    out.Append(L":");
    for (size_t i = row; i < row + row_size; ++i) {
      out.Append(L" ");
      if (readable[i]) {
        out.AppendHex(bytes[i], 2);
      } else {
        out.Append(L"??");
      }
    }
    out.EndLine();
  }
}

void ReadMemorySafely(uint64_t address, uint8_t* bytes, bool* readable, size_t count) {
  const bool whole = ReadOwnMemory(address, bytes, count);
  for (size_t i = 0; i < count; ++i) {
    // A range across a page that cannot be read fails as a whole: ask byte by byte.
    readable[i] = whole || ReadOwnMemory(address + i, bytes + i, 1);
    if (!readable[i]) bytes[i] = 0;
  }
}

void AppendCodeBytes(TextBuffer& out, uint64_t address) {
  constexpr size_t kCount = kCodeBefore + kCodeAfter;
  const uint64_t start = address >= kCodeBefore ? address - kCodeBefore : 0;
  uint8_t bytes[kCount];
  bool readable[kCount];
  ReadMemorySafely(start, bytes, readable, kCount);
  AppendHexRows(out, start, bytes, readable, kCount, address);
}

}  // namespace velmora::crash
