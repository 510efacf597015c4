// The other threads of the process at the moment of a crash: each one is
// suspended just long enough to read its registers and copy the used part of
// its stack, so that its stack can be walked after it runs again. Nothing
// here uses the heap: a suspended thread may hold the heap's lock.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace velmora::crash {

// Copies memory of the own process, only from committed pages that may be
// read: never a guard page (touching one would break the growth of a thread's
// stack) nor one without access. False when any byte cannot be read.
bool ReadOwnMemory(uint64_t address, void* out, size_t size);

// Reads memory of the own process for a stack walk.
class MemoryReader {
 public:
  virtual ~MemoryReader() = default;
  virtual bool Read(uint64_t address, void* out, size_t size) const = 0;
};

struct ThreadRecord {
  CONTEXT context;
  DWORD id = 0;
  bool context_read = false;
  // The thread's stack region and the part of it that was copied.
  uint64_t stack_low = 0, stack_high = 0;
  uint64_t copy_low = 0, copy_high = 0;
  const BYTE* copy = nullptr;
};

// Serves reads inside a thread's stack from the copy made while it was
// suspended; parts of the stack that were not copied cannot be read (they
// changed since); everything else is read live. Without a thread, everything
// is read live. An unreadable range fails instead of faulting.
class ThreadStackReader : public MemoryReader {
 public:
  explicit ThreadStackReader(const ThreadRecord* thread) : thread_(thread) {}
  bool Read(uint64_t address, void* out, size_t size) const override;

 private:
  const ThreadRecord* thread_;
};

struct ThreadSnapshot {
  static constexpr size_t kMaxThreads = 128;
  static constexpr size_t kStackCopyPerThread = 64 * 1024;
  static constexpr size_t kStackCopyArea = 1024 * 1024;

  ThreadRecord threads[kMaxThreads];
  size_t count = 0;
  size_t left_out = 0;  // threads beyond kMaxThreads
  BYTE stack_area[kStackCopyArea];
};

// Fills the snapshot with every thread of the process but the two named ones
// (the reporting thread and the faulting thread, whose state is known), in
// the order the system lists them. All of them run again when it returns.
void TakeThreadSnapshot(ThreadSnapshot& snapshot, DWORD skip_first, DWORD skip_second);

}  // namespace velmora::crash
