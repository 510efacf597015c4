// Stack walks for crash reports: dbghelp's StackWalk64 where the system has
// it (loaded from the system folder and looked up at run time); otherwise, in
// the 64-bit build, the system's unwind tables, and in the 32-bit program the
// chain of saved frame pointers. Each frame is named as module!offset.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "crash/text_buffer.h"
#include "crash/thread_snapshot.h"

namespace velmora::crash {

inline constexpr size_t kMaxFrames = 64;

// Loads dbghelp.dll from the system folder and looks up its functions; kept
// for the life of the process. Called once at start-up, so that a crash does
// not need the loader.
void LoadStackWalkHelpers();
bool HaveDbgHelp();

// Prepares and releases dbghelp's symbol handler around the walks of one report.
class SymbolSession {
 public:
  SymbolSession();
  ~SymbolSession();
  SymbolSession(const SymbolSession&) = delete;
  SymbolSession& operator=(const SymbolSession&) = delete;
  bool active() const { return active_; }

 private:
  bool active_ = false;
};

// The return addresses along a chain of frame pointers, each frame holding
// the caller's frame pointer and then the return address. The chain must run
// upwards from the stack pointer; it ends at the first frame that does not.
// Returns how many addresses were written to `frames`, `pc` first.
size_t WalkFramePointers(const MemoryReader& memory, uint64_t pc, uint64_t frame_pointer,
                         uint64_t stack_pointer, size_t pointer_size, uint64_t* frames,
                         size_t max_frames);

// "name.dll!0x1A2B" for an address inside a loaded module, "?" otherwise.
void AppendModuleOffset(TextBuffer& out, uint64_t address);

// One line per frame: "  #00 00000001400015D2 fixture.exe!0x15D2 (FaultHere+0x12)",
// the symbol only where dbghelp knows one; a last line when frames were left
// out. `thread` holds the copy of a thread's stack; null walks the live stack
// of a thread that stands still (the faulting one).
void AppendStack(TextBuffer& out, const CONTEXT& context, const ThreadRecord* thread,
                 const SymbolSession& symbols);

}  // namespace velmora::crash
