// Reading other threads and walking stacks: a real thread of this process
// read while it waits, and the frame-pointer walk over a stack laid out here.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "common/handles.h"
#include "crash/register_text.h"
#include "crash/stack_walk.h"
#include "crash/thread_snapshot.h"
#include "support/test_support.h"

namespace velmora::crash {
namespace {

// Memory of a made-up stack: pointer-sized values at chosen addresses.
class FakeStack : public MemoryReader {
 public:
  explicit FakeStack(size_t pointer_size) : pointer_size_(pointer_size) {}
  void Set(uint64_t address, uint64_t value) { values_[address] = value; }
  bool Read(uint64_t address, void* out, size_t size) const override {
    const auto found = values_.find(address);
    if (found == values_.end() || size != pointer_size_) return false;
    std::memcpy(out, &found->second, size);
    return true;
  }

 private:
  size_t pointer_size_;
  std::map<uint64_t, uint64_t> values_;
};

TEST(FramePointerWalk, FollowsTheChainOfA32BitStack) {
  FakeStack stack(4);
  // Frame at 0x1000 called from 0x401100, whose frame at 0x1040 was called
  // from 0x402200, whose frame at 0x1100 ends the chain with a zero link.
  stack.Set(0x1000, 0x1040);
  stack.Set(0x1004, 0x401100);
  stack.Set(0x1040, 0x1100);
  stack.Set(0x1044, 0x402200);
  stack.Set(0x1100, 0);
  stack.Set(0x1104, 0x7C817077);
  uint64_t frames[8] = {};
  ASSERT_EQ(WalkFramePointers(stack, 0x401005, 0x1000, 0xFF0, 4, frames, 8), 4u);
  EXPECT_EQ(frames[0], 0x401005u);
  EXPECT_EQ(frames[1], 0x401100u);
  EXPECT_EQ(frames[2], 0x402200u);
  EXPECT_EQ(frames[3], 0x7C817077u);
}

TEST(FramePointerWalk, StopsWhereTheChainGoesWrong) {
  uint64_t frames[8] = {};
  FakeStack downwards(8);
  downwards.Set(0x2000, 0x1F00);  // a caller's frame below its callee's: not a chain
  downwards.Set(0x2008, 0x140001000);
  EXPECT_EQ(WalkFramePointers(downwards, 0x140002000, 0x2000, 0x1FF0, 8, frames, 8), 2u);
  FakeStack unreadable(8);
  EXPECT_EQ(WalkFramePointers(unreadable, 0x140002000, 0x2000, 0x1FF0, 8, frames, 8), 1u);
  // A frame pointer below the stack pointer, or not aligned, is no frame.
  EXPECT_EQ(WalkFramePointers(downwards, 0x140002000, 0x2000, 0x2010, 8, frames, 8), 1u);
  EXPECT_EQ(WalkFramePointers(downwards, 0x140002000, 0x2004, 0x1FF0, 8, frames, 8), 1u);
  FakeStack zero_return(8);
  zero_return.Set(0x2000, 0x2100);
  zero_return.Set(0x2008, 0);
  EXPECT_EQ(WalkFramePointers(zero_return, 0x140002000, 0x2000, 0x1FF0, 8, frames, 8), 1u);
}

TEST(FramePointerWalk, StopsAtTheFrameLimit) {
  FakeStack stack(8);
  for (uint64_t frame = 0x3000; frame < 0x3000 + 100 * 0x20; frame += 0x20) {
    stack.Set(frame, frame + 0x20);
    stack.Set(frame + 8, 0x140001000 + frame);
  }
  uint64_t frames[kMaxFrames] = {};
  EXPECT_EQ(WalkFramePointers(stack, 0x140000500, 0x3000, 0x2F00, 8, frames, kMaxFrames),
            kMaxFrames);
}

TEST(ModuleOffset, NamesTheModuleAndTheOffsetFromItsBase) {
  LoadStackWalkHelpers();
  StartSymbolHandler(test::BinDir());
  const auto base = reinterpret_cast<uint64_t>(::GetModuleHandleW(nullptr));
  FixedText<256> text;
  AppendModuleOffset(text, base + 0x1A2B);
  EXPECT_EQ(text.text(), L"crash_tests.exe!0x1A2B");
  FixedText<256> nowhere;
  AppendModuleOffset(nowhere, 0);
  EXPECT_EQ(nowhere.text(), L"?");
}

// A thread that waits inside a function of this program until it is told to end.
struct WaitingThread {
  UniqueHandle go = UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle started = UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle thread;
  DWORD id = 0;
  volatile bool finished = false;

  __attribute__((noinline)) static void WaitHere(WaitingThread* self) {
    ::SetEvent(self->started.get());
    ::WaitForSingleObject(self->go.get(), INFINITE);
    self->finished = true;
  }
  static DWORD WINAPI Main(void* self) {
    WaitHere(static_cast<WaitingThread*>(self));
    return 0;
  }

  WaitingThread() {
    thread.reset(::CreateThread(nullptr, 0, &Main, this, 0, &id));
    ::WaitForSingleObject(started.get(), INFINITE);
  }
  ~WaitingThread() {
    ::SetEvent(go.get());
    ::WaitForSingleObject(thread.get(), INFINITE);
  }
};

const ThreadRecord* Find(const ThreadSnapshot& snapshot, DWORD id) {
  for (size_t i = 0; i < snapshot.count; ++i) {
    if (snapshot.threads[i].id == id) return &snapshot.threads[i];
  }
  return nullptr;
}

TEST(ThreadSnapshot, ReadsEveryOtherThreadAndLetsItRunOn) {
  LoadStackWalkHelpers();
  StartSymbolHandler(test::BinDir());
  WaitingThread waiting;
  auto snapshot = std::make_unique<ThreadSnapshot>();
  TakeThreadSnapshot(*snapshot, ::GetCurrentThreadId(), 0);
  EXPECT_EQ(Find(*snapshot, ::GetCurrentThreadId()), nullptr);
  const ThreadRecord* record = Find(*snapshot, waiting.id);
  ASSERT_NE(record, nullptr);
  ASSERT_TRUE(record->context_read);
  ASSERT_NE(record->copy, nullptr);
  EXPECT_EQ(record->copy_low, StackPointer(record->context));
  EXPECT_GT(record->copy_high, record->copy_low);
  EXPECT_LE(record->copy_high, record->stack_high);

  // Its stack, walked from the copy, passes through this program.
  WalkedStack walked;
  WalkStack(record->context, record, true, walked);
  FixedText<8192> stack;
  AppendWalkedStack(stack, walked, true);
  EXPECT_NE(stack.text().find(L"  #00 "), std::wstring_view::npos);
  EXPECT_NE(stack.text().find(L" crash_tests.exe!0x"), std::wstring_view::npos)
      << std::wstring(stack.text());

  // Resumed: it finishes when told to.
  ::SetEvent(waiting.go.get());
  EXPECT_EQ(::WaitForSingleObject(waiting.thread.get(), 10'000), WAIT_OBJECT_0);
  EXPECT_TRUE(waiting.finished);
}

TEST(ThreadSnapshot, LeavesOutTheTwoNamedThreads) {
  WaitingThread waiting;
  auto snapshot = std::make_unique<ThreadSnapshot>();
  TakeThreadSnapshot(*snapshot, ::GetCurrentThreadId(), waiting.id);
  EXPECT_EQ(Find(*snapshot, waiting.id), nullptr);
  EXPECT_EQ(Find(*snapshot, ::GetCurrentThreadId()), nullptr);
}

TEST(ThreadStackReader, ServesTheCopyAndRefusesTheRestOfTheStack) {
  ThreadRecord record;
  uint64_t copy[4] = {11, 22, 33, 44};
  record.stack_low = 0x10000;
  record.stack_high = 0x20000;
  record.copy_low = 0x1FFE0;
  record.copy_high = 0x20000;
  record.copy = reinterpret_cast<const BYTE*>(copy);
  const ThreadStackReader reader(&record);
  uint64_t value = 0;
  EXPECT_TRUE(reader.Read(0x1FFE8, &value, 8));
  EXPECT_EQ(value, 22u);
  EXPECT_FALSE(reader.Read(0x1FFF8, &value, 16));  // runs past the copy
  EXPECT_FALSE(reader.Read(0x10000, &value, 8));   // stack that has changed since
  static const uint64_t elsewhere = 77;
  EXPECT_TRUE(reader.Read(reinterpret_cast<uint64_t>(&elsewhere), &value, 8));
  EXPECT_EQ(value, 77u);
  EXPECT_FALSE(ThreadStackReader(nullptr).Read(0, &value, 8));
}

}  // namespace
}  // namespace velmora::crash
