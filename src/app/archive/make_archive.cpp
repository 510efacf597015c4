#include "app/archive/make_archive.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "app/archive/archive_file.h"
#include "app/archive/archive_tree.h"
#include "app/archive/zip_writer.h"
#include "common/errors.h"
#include "common/strings.h"

namespace velmora {

namespace {

// Files up to this size are deflated into memory by the helper threads; larger
// ones are deflated by the writer straight into the archive, so memory stays
// bounded whatever the files' sizes.
constexpr uint64_t kInMemoryLimit = 16u << 20;
// Each helper may hold a few deflated entries of up to that size: few enough
// helpers keep a 32-bit process well inside its address space.
constexpr unsigned kMaxDeflateThreads = 4;

enum class SlotState { kPending, kDeflated, kStream, kSkip };

struct Slot {
  SlotState state = SlotState::kPending;
  DeflatedData data;
};

// Deflates entries on helper threads, at most `window` entries ahead of the
// writer, and hands them to the writer in walk order. Each entry is deflated
// on its own, so the bytes do not depend on the number of threads.
class DeflatePipeline {
 public:
  DeflatePipeline(const std::vector<ArchiveItem>& items, unsigned threads)
      : items_(items), slots_(items.size()), window_(2 * threads + 2) {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { WorkerLoop(); });
  }
  ~DeflatePipeline() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  // Waits for entry i (deflating it here if no helper thread took it) and
  // releases the previous entry's memory.
  Slot& Take(size_t i) {
    std::unique_lock lock(mutex_);
    if (i > 0) slots_[i - 1] = Slot();
    written_ = i;
    changed_.notify_all();
    if (next_ <= i && workers_.empty()) {
      next_ = i + 1;
      lock.unlock();
      Slot slot = Prepare(items_[i]);
      lock.lock();
      slots_[i] = std::move(slot);
    }
    changed_.wait(lock, [&] { return slots_[i].state != SlotState::kPending || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    return slots_[i];
  }

 private:
  static Slot Prepare(const ArchiveItem& item) {
    Slot slot;
    UniqueHandle file = OpenForArchive(item.path);
    const int64_t size = file ? OpenFileSize(file.get()) : -1;
    if (size < 0) {
      slot.state = SlotState::kSkip;
    } else if (static_cast<uint64_t>(size) > kInMemoryLimit) {
      slot.state = SlotState::kStream;
    } else {
      slot.state = DeflateToMemory(file.get(), static_cast<uint64_t>(size), slot.data)
                       ? SlotState::kDeflated
                       : SlotState::kSkip;
    }
    return slot;
  }

  void WorkerLoop() {
    for (;;) {
      size_t i;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
          return stopping_ || failure_ || (next_ < items_.size() && next_ < written_ + window_);
        });
        if (stopping_ || failure_) return;
        i = next_++;
      }
      try {
        Slot slot = Prepare(items_[i]);
        std::lock_guard lock(mutex_);
        slots_[i] = std::move(slot);
      } catch (...) {
        std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
      }
      changed_.notify_all();
    }
  }

  const std::vector<ArchiveItem>& items_;
  std::vector<Slot> slots_;
  const size_t window_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;
  size_t written_ = 0;
  bool stopping_ = false;
  std::exception_ptr failure_;
};

size_t WriteArchive(const std::vector<ArchiveItem>& items, const std::wstring& path,
                    const ArchiveOptions& options) {
  ArchiveFile out(path);
  ZipWriter writer(out, options.limits);
  {
    DeflatePipeline pipeline(items, std::min<size_t>(options.deflate_threads, items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
      Slot& slot = pipeline.Take(i);
      if (slot.state == SlotState::kDeflated) writer.AddDeflated(items[i], slot.data);
      if (slot.state != SlotState::kStream) continue;
      UniqueHandle file = OpenForArchive(items[i].path);
      const int64_t size = file ? OpenFileSize(file.get()) : -1;
      if (size >= 0) writer.AddStreamed(items[i], file.get(), static_cast<uint64_t>(size));
    }
  }
  writer.Finish();
  out.Close();
  return writer.entry_count();
}

// A new, empty file beside the destination, for the archive to be written into.
std::wstring CreateTemporaryArchive(const std::wstring& archive_path) {
  const std::wstring folder = SplitAtLastBackslash(archive_path).first;
  wchar_t temporary[MAX_PATH] = {};
  if (!::GetTempFileNameW((folder.empty() ? L"." : folder).c_str(), L"vhz", 0, temporary)) {
    ThrowLastError("cannot create a temporary archive");
  }
  return temporary;
}

}  // namespace

ArchiveOptions DefaultArchiveOptions() {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return {std::min(cores, kMaxDeflateThreads), zip::Limits{}};
}

size_t MakeArchive(const std::wstring& folder, const std::wstring& archive_path) {
  return MakeArchive(folder, archive_path, DefaultArchiveOptions());
}

size_t MakeArchive(const std::wstring& folder, const std::wstring& archive_path,
                   const ArchiveOptions& options) {
  // Walk first, so that the temporary file is never part of the tree.
  const std::vector<ArchiveItem> items = WalkArchiveTree(folder);
  const std::wstring temporary = CreateTemporaryArchive(archive_path);
  try {
    const size_t count = WriteArchive(items, temporary, options);
    if (!::MoveFileExW(temporary.c_str(), archive_path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      ThrowLastError("cannot move the archive into place");
    }
    return count;
  } catch (...) {
    ::DeleteFileW(temporary.c_str());
    throw;
  }
}

}  // namespace velmora
