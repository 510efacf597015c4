#include "crash/thread_snapshot.h"

#include <tlhelp32.h>

#include <cstring>

#include "common/handles.h"

namespace velmora::crash {

namespace {

constexpr DWORD kThreadAccess =
    THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION;

bool Contains(uint64_t low, uint64_t high, uint64_t address, size_t size) {
  return address >= low && address <= high && size <= high - address;
}

bool Overlaps(uint64_t low, uint64_t high, uint64_t address, size_t size) {
  return address < high && address + size > low;
}

#ifdef _WIN64
uint64_t StackPointerOf(const CONTEXT& context) {
  return context.Rsp;
}
#else
uint64_t StackPointerOf(const CONTEXT& context) {
  return context.Esp;
}
#endif

// Copies the stack from the stack pointer up to the top of its region, as far
// as the thread's share of the copy area allows.
void CopyStack(ThreadRecord& thread, BYTE* area, size_t available) {
  const uint64_t stack_pointer = StackPointerOf(thread.context);
  MEMORY_BASIC_INFORMATION region = {};
  if (::VirtualQuery(reinterpret_cast<const void*>(stack_pointer), &region, sizeof(region)) !=
          sizeof(region) ||
      region.State != MEM_COMMIT) {
    return;
  }
  thread.stack_low = reinterpret_cast<uint64_t>(region.AllocationBase);
  thread.stack_high = reinterpret_cast<uint64_t>(region.BaseAddress) + region.RegionSize;
  size_t size = static_cast<size_t>(thread.stack_high - stack_pointer);
  if (size > ThreadSnapshot::kStackCopyPerThread) size = ThreadSnapshot::kStackCopyPerThread;
  if (size > available) size = available;
  SIZE_T read = 0;
  if (size == 0 ||
      !::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const void*>(stack_pointer),
                           area, size, &read)) {
    return;
  }
  thread.copy = area;
  thread.copy_low = stack_pointer;
  thread.copy_high = stack_pointer + read;
}

// Opens and suspends the threads; the handles stay open until they resume.
size_t SuspendThreads(ThreadSnapshot& snapshot, UniqueHandle* handles, DWORD skip_first,
                      DWORD skip_second) {
  UniqueHandle list(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!list) return 0;
  const DWORD process = ::GetCurrentProcessId();
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  size_t count = 0;
  for (BOOL more = ::Thread32First(list.get(), &entry); more;
       more = ::Thread32Next(list.get(), &entry)) {
    if (entry.th32OwnerProcessID != process || entry.th32ThreadID == skip_first ||
        entry.th32ThreadID == skip_second) {
      continue;
    }
    if (count == ThreadSnapshot::kMaxThreads) {
      ++snapshot.left_out;
      continue;
    }
    ThreadRecord& thread = snapshot.threads[count];
    thread = ThreadRecord{};
    thread.id = entry.th32ThreadID;
    handles[count].reset(::OpenThread(kThreadAccess, FALSE, entry.th32ThreadID));
    if (handles[count] && ::SuspendThread(handles[count].get()) == static_cast<DWORD>(-1)) {
      handles[count].reset();
    }
    ++count;
  }
  return count;
}

}  // namespace

bool ReadOwnMemory(uint64_t address, void* out, size_t size) {
  if (size == 0) return true;
  if (address + size < address) return false;
  constexpr DWORD kNoRead = PAGE_NOACCESS | PAGE_GUARD;
  for (uint64_t at = address; at < address + size;) {
    MEMORY_BASIC_INFORMATION region = {};
    if (::VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof(region)) !=
            sizeof(region) ||
        region.State != MEM_COMMIT || (region.Protect & kNoRead) != 0) {
      return false;
    }
    at = reinterpret_cast<uint64_t>(region.BaseAddress) + region.RegionSize;
  }
  SIZE_T read = 0;
  return ::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const void*>(address), out,
                             size, &read) &&
         read == size;
}

bool ThreadStackReader::Read(uint64_t address, void* out, size_t size) const {
  if (const ThreadRecord* t = thread_) {
    if (t->copy != nullptr && Contains(t->copy_low, t->copy_high, address, size)) {
      std::memcpy(out, t->copy + (address - t->copy_low), size);
      return true;
    }
    if (Overlaps(t->stack_low, t->stack_high, address, size)) return false;
  }
  return ReadOwnMemory(address, out, size);
}

void TakeThreadSnapshot(ThreadSnapshot& snapshot, DWORD skip_first, DWORD skip_second) {
  snapshot.count = 0;
  snapshot.left_out = 0;
  UniqueHandle handles[ThreadSnapshot::kMaxThreads];
  const size_t count = SuspendThreads(snapshot, handles, skip_first, skip_second);
  size_t area_used = 0;
  for (size_t i = 0; i < count; ++i) {
    ThreadRecord& thread = snapshot.threads[i];
    if (!handles[i]) continue;
    thread.context.ContextFlags = CONTEXT_FULL;
    thread.context_read = ::GetThreadContext(handles[i].get(), &thread.context) != 0;
    if (!thread.context_read) continue;
    CopyStack(thread, snapshot.stack_area + area_used, ThreadSnapshot::kStackCopyArea - area_used);
    area_used += static_cast<size_t>(thread.copy_high - thread.copy_low);
  }
  for (size_t i = 0; i < count; ++i) {
    if (handles[i]) ::ResumeThread(handles[i].get());
  }
  snapshot.count = count;
}

}  // namespace velmora::crash
