#include "crash/stack_walk.h"

#include <dbghelp.h>
#include <winternl.h>

#include <string_view>

#include "common/dynamic_function.h"
#include "common/strings.h"
#include "common/system_library.h"
#include "crash/exception_text.h"
#include "crash/register_text.h"

namespace velmora::crash {

namespace {

using SymSetOptionsFn = DWORD(WINAPI*)(DWORD);
using SymInitializeWFn = BOOL(WINAPI*)(HANDLE, PCWSTR, BOOL);
using SymInitializeFn = BOOL(WINAPI*)(HANDLE, PCSTR, BOOL);
using SymFunctionTableAccess64Fn = PVOID(WINAPI*)(HANDLE, DWORD64);
using SymGetModuleBase64Fn = DWORD64(WINAPI*)(HANDLE, DWORD64);
using SymFromAddrFn = BOOL(WINAPI*)(HANDLE, DWORD64, PDWORD64, PSYMBOL_INFO);
using StackWalk64Fn = BOOL(WINAPI*)(DWORD, HANDLE, HANDLE, LPSTACKFRAME64, PVOID,
                                    PREAD_PROCESS_MEMORY_ROUTINE64,
                                    PFUNCTION_TABLE_ACCESS_ROUTINE64, PGET_MODULE_BASE_ROUTINE64,
                                    PTRANSLATE_ADDRESS_ROUTINE64);

using NtQueryVirtualMemoryFn = LONG(WINAPI*)(HANDLE, PVOID, int, PVOID, SIZE_T, PSIZE_T);

// Not every dbghelp.dll knows this option (older ones ignore it).
constexpr DWORD kIgnoreEnvironmentSymbolPath = 0x00001000;  // SYMOPT_IGNORE_NT_SYMPATH
constexpr int kMemoryMappedFilenameInformation = 2;

// Plain pointers and a library that is never freed: a fault while the program
// ends, after the static destructors, still walks with them.
struct DbgHelp {
  HMODULE library;
  SymFunctionTableAccess64Fn function_table_access;
  SymGetModuleBase64Fn get_module_base;
  SymFromAddrFn from_address;  // optional: frames then carry no names
  StackWalk64Fn stack_walk;
  volatile bool symbols;  // the symbol handler runs for this process

  bool usable() const { return function_table_access && get_module_base && stack_walk; }
};

DbgHelp g_dbghelp = {};
NtQueryVirtualMemoryFn g_query_memory = nullptr;

#ifdef _WIN64
using RtlLookupFunctionEntryFn = PRUNTIME_FUNCTION(WINAPI*)(DWORD64, PDWORD64, PVOID);
using RtlVirtualUnwindFn = PVOID(WINAPI*)(DWORD, DWORD64, DWORD64, PRUNTIME_FUNCTION, PCONTEXT,
                                          PVOID*, PDWORD64, PVOID);
RtlLookupFunctionEntryFn g_lookup_function_entry = nullptr;
RtlVirtualUnwindFn g_virtual_unwind = nullptr;
#endif

// StackWalk64 hands its reads to a routine without a context of its own: the
// walk in progress is the one reader (walks run one at a time on one thread).
const MemoryReader* g_walk_memory = nullptr;

BOOL CALLBACK ReadWalkMemory(HANDLE, DWORD64 address, PVOID buffer, DWORD size, LPDWORD read) {
  const bool ok = g_walk_memory != nullptr && g_walk_memory->Read(address, buffer, size);
  if (read != nullptr) *read = ok ? size : 0;
  return ok;
}

#ifdef _WIN64
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

size_t WalkWithDbgHelp(const CONTEXT& context, const MemoryReader& memory, uint64_t* frames,
                       size_t max_frames) {
  CONTEXT scratch = context;  // StackWalk64 changes the context as it unwinds
  STACKFRAME64 frame = {};
  frame.AddrPC.Offset = InstructionPointer(context);
  frame.AddrPC.Mode = AddrModeFlat;
  frame.AddrStack.Offset = StackPointer(context);
  frame.AddrStack.Mode = AddrModeFlat;
  frame.AddrFrame.Offset =
      kMachine == IMAGE_FILE_MACHINE_I386 ? FramePointer(context) : StackPointer(context);
  frame.AddrFrame.Mode = AddrModeFlat;
  g_walk_memory = &memory;
  size_t count = 0;
  uint64_t previous_stack = 0;
  while (count < max_frames &&
         g_dbghelp.stack_walk(kMachine, ::GetCurrentProcess(), ::GetCurrentThread(), &frame,
                              &scratch, &ReadWalkMemory, g_dbghelp.function_table_access,
                              g_dbghelp.get_module_base, nullptr)) {
    if (frame.AddrPC.Offset == 0) break;
    // A walk that stops moving up the stack would repeat itself.
    if (count > 0 && frame.AddrStack.Offset == previous_stack &&
        frame.AddrPC.Offset == frames[count - 1]) {
      break;
    }
    previous_stack = frame.AddrStack.Offset;
    frames[count++] = frame.AddrPC.Offset;
  }
  g_walk_memory = nullptr;
  return count;
}

bool IsInModule(uint64_t address) {
  MEMORY_BASIC_INFORMATION region = {};
  return ::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof(region)) ==
             sizeof(region) &&
         region.Type == MEM_IMAGE;
}

// As if the function at the top of the stack had returned to `return_address`.
void StepToCaller(CONTEXT& context, uint64_t return_address) {
#ifdef _WIN64
  context.Rip = return_address;
  context.Rsp += sizeof(uint64_t);
#else
  context.Eip = static_cast<DWORD>(return_address);
  context.Esp += sizeof(DWORD);
#endif
}

#ifdef _WIN64
// The system's own unwinder, run on the stack in place for the faulting
// thread or on the copy of another thread's stack: the stack pointer and the
// frame register are moved into the copy as they are found.
size_t WalkUnwindTables(const CONTEXT& start, const ThreadRecord* thread, uint64_t* frames,
                        size_t max_frames) {
  if (g_lookup_function_entry == nullptr || g_virtual_unwind == nullptr) return 0;
  uint64_t low = 0, high = 0, delta = 0;
  if (thread != nullptr) {
    if (thread->copy == nullptr) return 0;
    low = thread->copy_low;
    high = thread->copy_high;
    delta = reinterpret_cast<uint64_t>(thread->copy) - low;
  } else {
    MEMORY_BASIC_INFORMATION region = {};
    if (::VirtualQuery(reinterpret_cast<const void*>(start.Rsp), &region, sizeof(region)) !=
        sizeof(region)) {
      return 0;
    }
    low = reinterpret_cast<uint64_t>(region.AllocationBase);
    high = reinterpret_cast<uint64_t>(region.BaseAddress) + region.RegionSize;
  }
  const auto local = [&](uint64_t value) {
    return value >= low && value < high ? value + delta : value;
  };
  CONTEXT c = start;
  c.Rsp = local(c.Rsp);
  c.Rbp = local(c.Rbp);
  size_t count = 0;
  while (count < max_frames) {
    frames[count++] = c.Rip;
    if (c.Rsp < low + delta || c.Rsp + sizeof(uint64_t) > high + delta || !IsInModule(c.Rip)) break;
    const uint64_t previous_stack = c.Rsp;
    DWORD64 image_base = 0;
    if (PRUNTIME_FUNCTION function = g_lookup_function_entry(c.Rip, &image_base, nullptr)) {
      PVOID handler_data = nullptr;
      DWORD64 establisher = 0;
      g_virtual_unwind(0 /* no handler */, image_base, c.Rip, function, &c, &handler_data,
                       &establisher, nullptr);
    } else {
      // A function without unwind data keeps its return address on top.
      c.Rip = *reinterpret_cast<const uint64_t*>(c.Rsp);
      c.Rsp += sizeof(uint64_t);
    }
    if (c.Rip == 0 || c.Rsp <= previous_stack) break;
    c.Rbp = local(c.Rbp);
  }
  return count;
}
#endif

bool ReadPointer(const MemoryReader& memory, uint64_t address, size_t pointer_size,
                 uint64_t* value) {
  *value = 0;
  return memory.Read(address, value, pointer_size);  // little-endian: the low bytes
}

void AppendSymbol(TextBuffer& out, uint64_t address) {
  if (g_dbghelp.from_address == nullptr) return;
  alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + 256] = {};
  auto* symbol = reinterpret_cast<SYMBOL_INFO*>(storage);
  symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
  symbol->MaxNameLen = 255;
  DWORD64 displacement = 0;
  if (!g_dbghelp.from_address(::GetCurrentProcess(), address, &displacement, symbol) ||
      symbol->Name[0] == '\0') {
    return;
  }
  out.Append(L" (");
  out.AppendNarrow(symbol->Name);
  out.Append(L"+0x");
  out.AppendHex(displacement, 1);
  out.Append(L")");
}

// Symbols are read when first asked for (deferred). The environment's symbol
// path could name a symbol server, which would make a crash wait on the
// network.
bool InitializeSymbols(const std::wstring& folder) {
  const HMODULE module = g_dbghelp.library;
  const auto set_options = LookUpFunction<SymSetOptionsFn>(module, "SymSetOptions");
  if (set_options == nullptr) return false;
  set_options(SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS | SYMOPT_FAIL_CRITICAL_ERRORS |
              SYMOPT_NO_PROMPTS | kIgnoreEnvironmentSymbolPath);
  if (const auto initialize = LookUpFunction<SymInitializeWFn>(module, "SymInitializeW")) {
    return initialize(::GetCurrentProcess(), folder.c_str(), TRUE) != 0;
  }
  // Older dbghelp versions take the path in the ANSI code page only.
  const auto initialize = LookUpFunction<SymInitializeFn>(module, "SymInitialize");
  const std::string ansi = EncodeCodePage(folder, CP_ACP);
  return initialize != nullptr && initialize(::GetCurrentProcess(), ansi.c_str(), TRUE) != 0;
}

}  // namespace

void LoadStackWalkHelpers() {
  g_query_memory = LookUpFunction<NtQueryVirtualMemoryFn>(::GetModuleHandleW(L"ntdll.dll"),
                                                          "NtQueryVirtualMemory");
#ifdef _WIN64
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  g_lookup_function_entry =
      LookUpFunction<RtlLookupFunctionEntryFn>(kernel, "RtlLookupFunctionEntry");
  g_virtual_unwind = LookUpFunction<RtlVirtualUnwindFn>(kernel, "RtlVirtualUnwind");
#endif
  if (g_dbghelp.library != nullptr) return;
  // From the system folder only, with its own imports: the program runs
  // elevated, and a dbghelp.dll placed beside it must not be loaded into it.
  g_dbghelp.library = LoadSystemLibrary(L"dbghelp.dll");
  const HMODULE module = g_dbghelp.library;
  g_dbghelp.function_table_access =
      LookUpFunction<SymFunctionTableAccess64Fn>(module, "SymFunctionTableAccess64");
  g_dbghelp.get_module_base = LookUpFunction<SymGetModuleBase64Fn>(module, "SymGetModuleBase64");
  g_dbghelp.from_address = LookUpFunction<SymFromAddrFn>(module, "SymFromAddr");
  g_dbghelp.stack_walk = LookUpFunction<StackWalk64Fn>(module, "StackWalk64");
}

void StartSymbolHandler(const std::wstring& symbol_folder) {
  // StackWalk64 needs the symbol handler too: without it dbghelp walks nothing.
  if (!g_dbghelp.symbols)
    g_dbghelp.symbols = g_dbghelp.usable() && InitializeSymbols(symbol_folder);
}

bool HaveDbgHelp() {
  return g_dbghelp.usable() && g_dbghelp.symbols;
}

bool HaveSymbols() {
  return g_dbghelp.symbols && g_dbghelp.from_address != nullptr;
}

size_t WalkFramePointers(const MemoryReader& memory, uint64_t pc, uint64_t frame_pointer,
                         uint64_t stack_pointer, size_t pointer_size, uint64_t* frames,
                         size_t max_frames) {
  if (max_frames == 0) return 0;
  size_t count = 0;
  frames[count++] = pc;
  uint64_t frame = frame_pointer;
  while (count < max_frames) {
    if (frame < stack_pointer || frame % pointer_size != 0) break;
    uint64_t caller_frame = 0, return_address = 0;
    if (!ReadPointer(memory, frame, pointer_size, &caller_frame) ||
        !ReadPointer(memory, frame + pointer_size, pointer_size, &return_address) ||
        return_address == 0) {
      break;
    }
    frames[count++] = return_address;
    if (caller_frame <= frame) break;
    stack_pointer = frame + 2 * pointer_size;
    frame = caller_frame;
  }
  return count;
}

void AppendModuleOffset(TextBuffer& out, uint64_t address) {
  MEMORY_BASIC_INFORMATION region = {};
  // UNICODE_STRING and the name behind it.
  alignas(UNICODE_STRING) BYTE name_storage[sizeof(UNICODE_STRING) + 1024 * sizeof(wchar_t)];
  const auto* mapped = reinterpret_cast<const UNICODE_STRING*>(name_storage);
  SIZE_T returned = 0;
  if (::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof(region)) !=
          sizeof(region) ||
      region.Type != MEM_IMAGE || g_query_memory == nullptr ||
      g_query_memory(::GetCurrentProcess(), region.AllocationBase, kMemoryMappedFilenameInformation,
                     name_storage, sizeof(name_storage), &returned) < 0 ||
      mapped->Buffer == nullptr || mapped->Length == 0) {
    out.Append(L"?");
    return;
  }
  const std::wstring_view path(mapped->Buffer, mapped->Length / sizeof(wchar_t));
  const size_t slash = path.find_last_of(L"\\/");
  out.Append(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
  out.Append(L"!0x");
  out.AppendHex(address - reinterpret_cast<uint64_t>(region.AllocationBase), 1);
}

void WalkStack(const CONTEXT& context, const ThreadRecord* thread, bool with_dbghelp,
               WalkedStack& out) {
  const ThreadStackReader memory(thread);
  uint64_t* frames = out.frames;
  size_t first = 0;
  CONTEXT start = context;
  // A call through a bad pointer lands outside every module, where no walk
  // can begin; the call's return address on top of the stack can.
  uint64_t return_address = 0;
  if (!IsInModule(InstructionPointer(context)) &&
      memory.Read(StackPointer(context), &return_address, sizeof(void*)) &&
      IsInModule(return_address)) {
    frames[first++] = InstructionPointer(context);
    StepToCaller(start, return_address);
  }
  uint64_t* walked = frames + first;
  const size_t room = kMaxFrames + 1 - first;
  size_t count = 0;
  if (with_dbghelp && HaveDbgHelp()) count = WalkWithDbgHelp(start, memory, walked, room);
#ifdef _WIN64
  if (count <= 1) count = WalkUnwindTables(start, thread, walked, room);
#endif
  if (count <= 1) {
    count = WalkFramePointers(memory, InstructionPointer(start), FramePointer(start),
                              StackPointer(start), sizeof(void*), walked, room);
  }
  out.count = count + first;
}

void AppendWalkedStack(TextBuffer& out, const WalkedStack& stack, bool with_symbols) {
  const size_t shown = stack.count < kMaxFrames ? stack.count : kMaxFrames;
  for (size_t i = 0; i < shown; ++i) {
    out.Append(L"  #");
    if (i < 10) out.Append(L"0");
    out.AppendDecimal(i);
    out.Append(L" ");
    out.AppendHex(stack.frames[i], kAddressDigits);
    out.Append(L" ");
    AppendModuleOffset(out, stack.frames[i]);
    if (with_symbols && HaveSymbols()) AppendSymbol(out, stack.frames[i]);
    out.EndLine();
  }
  if (stack.count > kMaxFrames) out.AppendLine(L"  ... further frames left out");
}

}  // namespace velmora::crash
