// Stack walks for crash reports: dbghelp's StackWalk64 where the system has
// it (loaded from the system folder and looked up at run time); otherwise, in
// the 64-bit build, the system's unwind tables, and in the 32-bit program the
// chain of saved frame pointers. Each frame is named as module!offset.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "crash/text_buffer.h"
#include "crash/thread_snapshot.h"

namespace velmora::crash {

inline constexpr size_t kMaxFrames = 64;

// Everything the walks and the symbol names need, prepared before any crash
// so that a crash neither loads a DLL nor takes the loader's lock: dbghelp.dll
// from the system folder with its functions, the unwind functions, and the
// call that names the file a module was mapped from. Kept for the life of
// the process.
void LoadStackWalkHelpers();
// Starts dbghelp's symbol handler for this process, with the modules loaded
// so far; symbols are searched in `symbol_folder` and beside the modules,
// never where the environment's symbol path points. It takes a while (half a
// second under Wine), so the reporting thread does it as the program starts.
// Before it, or without it, stacks are walked without dbghelp.
void StartSymbolHandler(const std::wstring& symbol_folder);
bool HaveDbgHelp();
// Whether frames can be named: dbghelp's symbol handler was started.
bool HaveSymbols();

// The return addresses of one stack, innermost first. One more than is shown
// is kept, to tell that frames were left out.
struct WalkedStack {
  uint64_t frames[kMaxFrames + 1];
  size_t count = 0;
};

// The return addresses along a chain of frame pointers, each frame holding
// the caller's frame pointer and then the return address. The chain must run
// upwards from the stack pointer; it ends at the first frame that does not.
// Returns how many addresses were written to `frames`, `pc` first.
size_t WalkFramePointers(const MemoryReader& memory, uint64_t pc, uint64_t frame_pointer,
                         uint64_t stack_pointer, size_t pointer_size, uint64_t* frames,
                         size_t max_frames);

// "name.dll!0x1A2B" for an address inside a loaded module, "?" otherwise. The
// name is that of the file the module was mapped from: asking the loader
// would need its lock, which a thread that faulted may hold.
void AppendModuleOffset(TextBuffer& out, uint64_t address);

// Walks the stack that `context` describes. `thread` holds the copy of a
// thread's stack; null walks the live stack of a thread that stands still
// (the faulting one). Without dbghelp (while the program ends it may be gone)
// the unwind tables or the frame pointers serve.
void WalkStack(const CONTEXT& context, const ThreadRecord* thread, bool with_dbghelp,
               WalkedStack& out);

// One line per frame: "  #00 00000001400015D2 fixture.exe!0x15D2 (FaultHere+0x12)",
// the symbol only when asked for and where dbghelp knows one; a last line
// when frames were left out.
void AppendWalkedStack(TextBuffer& out, const WalkedStack& stack, bool with_symbols);

}  // namespace velmora::crash
