#include "app/archive/make_archive.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <exception>
#include <memory>
#include <vector>

#include "app/archive/archive_file.h"
#include "app/archive/archive_tree.h"
#include "app/archive/deflate_chunk.h"
#include "app/archive/zip_writer.h"
#include "common/cancellation.h"
#include "common/errors.h"
#include "common/handles.h"
#include "common/lock.h"
#include "common/no_follow_files.h"
#include "common/strings.h"
#include "common/ticks.h"
#include "common/worker_thread.h"
#include "reports/findings/findings_report.h"

namespace velmora {

namespace {

// Files are read and deflated in pieces of this size. The bytes written depend
// on it, not on the number of threads.
constexpr size_t kChunkSize = 2 << 20;
// More helpers than this would not pay for the memory a 32-bit process has.
constexpr unsigned kMaxDeflateThreads = 4;

struct ChunkJob {
  size_t item = 0;
  bool first = false;
  bool last = false;
  bool abandon = false;  // the file could not be read to its end: drop its entry
  uint64_t expected_size = 0;
  std::string dictionary;
  std::string data;
  size_t data_size = 0;
  DeflatedChunk result;
  UniqueHandle finished;  // set by the helper that deflated it; none when done in place
  std::exception_ptr error;
};

// Deflates submitted pieces on helper threads; without helpers, right away.
// Helpers that cannot be started are simply not there: the archive is then
// made by fewer of them, with the same bytes.
class ChunkDeflaters {
 public:
  explicit ChunkDeflaters(const ArchiveOptions& options)
      : work_ready_(::CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr)) {
    for (unsigned i = 0; i < options.deflate_threads && work_ready_; ++i) {
      auto helper = std::make_unique<WorkerThread>();
      if (!options.start_helper(*helper, [this] { WorkerLoop(); })) break;
      helpers_.push_back(std::move(helper));
    }
  }
  ~ChunkDeflaters() {
    {
      ScopedLock lock(lock_);
      stopping_ = true;
    }
    if (!helpers_.empty()) ::ReleaseSemaphore(work_ready_.get(), LONG(helpers_.size()), nullptr);
    helpers_.clear();  // each joins its thread
  }

  void Submit(const std::shared_ptr<ChunkJob>& job) {
    if (!helpers_.empty()) job->finished.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->finished) {
      Deflate(*job);
      return;
    }
    {
      ScopedLock lock(lock_);
      queue_.push_back(job);
    }
    ::ReleaseSemaphore(work_ready_.get(), 1, nullptr);
  }

  void Wait(ChunkJob& job) {
    if (job.finished) ::WaitForSingleObject(job.finished.get(), INFINITE);
    if (job.error) std::rethrow_exception(job.error);
  }

 private:
  // Deflates the piece and lets its input go.
  static void Deflate(ChunkJob& job) {
    try {
      job.result = DeflateChunk(job.dictionary, job.data, job.last);
    } catch (...) {
      job.error = std::current_exception();
    }
    std::string().swap(job.data);
    std::string().swap(job.dictionary);
  }

  void WorkerLoop() {
    for (;;) {
      ::WaitForSingleObject(work_ready_.get(), INFINITE);
      std::shared_ptr<ChunkJob> job;
      {
        ScopedLock lock(lock_);
        if (stopping_) return;
        job = std::move(queue_.front());
        queue_.pop_front();
      }
      Deflate(*job);
      ::SetEvent(job->finished.get());
    }
  }

  UniqueHandle work_ready_;  // counts the queued pieces
  CriticalSection lock_;
  std::deque<std::shared_ptr<ChunkJob>> queue_;
  bool stopping_ = false;
  std::vector<std::unique_ptr<WorkerThread>> helpers_;  // last: joined first
};

// Reads the files in walk order, hands their pieces to the deflaters and
// writes the results in the same order, a bounded number of pieces behind.
class ArchivePipeline {
 public:
  ArchivePipeline(const std::vector<ArchiveItem>& items, ZipWriter& writer,
                  const ArchiveOptions& options)
      : items_(items),
        writer_(writer),
        deflaters_(options),
        window_(2 * options.deflate_threads + 2) {}

  void Run() {
    for (size_t i = 0; i < items_.size(); ++i) QueueFile(i);
    while (!pending_.empty()) WriteOldest();
  }

 private:
  void QueueFile(size_t index) {
    UniqueHandle file = OpenForArchive(items_[index].path);
    const int64_t size = file ? OpenFileSize(file.get()) : -1;
    if (size < 0) return;  // cannot be read: left out
    std::string tail;      // the last 32 KiB read, the next piece's dictionary
    uint64_t read_total = 0;
    for (bool first = true;; first = false) {
      ThrowIfCancelled();  // a large archive is where a stopped report spends its time
      auto job = std::make_shared<ChunkJob>();
      job->item = index;
      job->first = first;
      job->expected_size = static_cast<uint64_t>(size);
      const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kChunkSize, size - read_total));
      if (!ReadUpTo(file.get(), wanted, job->data)) {
        if (!first) Queue(Abandoned(job));
        return;
      }
      read_total += job->data.size();
      job->data_size = job->data.size();
      job->last = job->data.size() < wanted || read_total == static_cast<uint64_t>(size);
      job->dictionary = tail;
      tail = LastWindow(tail, job->data);
      deflaters_.Submit(job);
      Queue(job);
      if (job->last) return;
    }
  }

  static std::shared_ptr<ChunkJob> Abandoned(std::shared_ptr<ChunkJob> job) {
    job->abandon = true;
    return job;
  }

  static std::string LastWindow(const std::string& before, const std::string& data) {
    if (data.size() >= kDeflateWindow) return data.substr(data.size() - kDeflateWindow);
    std::string joined = before + data;
    return joined.size() > kDeflateWindow ? joined.substr(joined.size() - kDeflateWindow) : joined;
  }

  void Queue(const std::shared_ptr<ChunkJob>& job) {
    pending_.push_back(job);
    while (pending_.size() >= window_) WriteOldest();
  }

  void WriteOldest() {
    const std::shared_ptr<ChunkJob> job = std::move(pending_.front());
    pending_.pop_front();
    if (job->abandon) {
      writer_.AbandonEntry();
      return;
    }
    deflaters_.Wait(*job);
    if (job->first) {
      writer_.BeginEntry(items_[job->item], job->expected_size);
      crc_ = job->result.crc32;
      length_ = job->data_size;
    } else {
      crc_ = CombineCrc32(crc_, job->result.crc32, job->data_size);
      length_ += job->data_size;
    }
    writer_.WriteEntryData(job->result.compressed);
    if (job->last) writer_.FinishEntry(crc_, length_);
  }

  const std::vector<ArchiveItem>& items_;
  ZipWriter& writer_;
  ChunkDeflaters deflaters_;
  const size_t window_;
  std::deque<std::shared_ptr<ChunkJob>> pending_;
  uint32_t crc_ = 0;
  uint64_t length_ = 0;
};

size_t WriteArchive(const std::vector<ArchiveItem>& items, UniqueHandle file,
                    const ArchiveOptions& options) {
  ArchiveFile out(std::move(file));
  ZipWriter writer(out, options.limits);
  ArchivePipeline(items, writer, options).Run();
  writer.Finish();
  out.Close();
  return writer.entry_count();
}

struct TemporaryArchive {
  std::wstring path;
  UniqueHandle file;
};

// A new, empty file beside the destination, for the archive to be written
// into, kept open from its creation on: no link or file that someone else
// puts at its name in the meantime is ever opened instead.
TemporaryArchive CreateTemporaryArchive(const std::wstring& archive_path) {
  const std::wstring folder = EnsureTrailingBackslash(SplitAtLastBackslash(archive_path).first);
  const DWORD seed = ::GetTickCount() ^ ::GetCurrentProcessId();
  for (DWORD attempt = 0; attempt < 256; ++attempt) {
    TemporaryArchive temporary;
    temporary.path = folder + Format(L"vhz%04X.tmp", (seed + attempt) & 0xFFFF);
    temporary.file.reset(::CreateFileW(ExtendedLengthPath(temporary.path).c_str(),
                                       GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (temporary.file) return temporary;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  ThrowLastError("cannot create a temporary archive");
}

// Another program's handle on the temporary archive (or on the old one)
// that does not share deletion; it lets go within seconds.
bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

constexpr DWORD kMoveRetryPauseMs = 100;

// The finished archive replaces what stands at the destination. A link there
// is removed as a link (its target stays as it is); a file is replaced.
void MoveIntoPlace(const std::wstring& temporary, const std::wstring& archive_path, DWORD wait_ms) {
  if (IsLinkPath(archive_path) && !RemoveLinkItself(archive_path)) {
    ThrowLastError("cannot remove a link at the archive's place");
  }
  const TickDeadline deadline(wait_ms);
  while (!::MoveFileExW(ExtendedLengthPath(temporary).c_str(),
                        ExtendedLengthPath(archive_path).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    if (!HeldByAnother(error) || deadline.Passed()) {
      ::SetLastError(error);
      ThrowLastError("cannot move the archive into place");
    }
    ::Sleep(std::min(kMoveRetryPauseMs, deadline.Remaining()));
  }
}

// The findings page is what support opens first; the rest keeps the walk's order.
std::vector<ArchiveItem> WithFindingsFirst(std::vector<ArchiveItem> items) {
  std::stable_partition(items.begin(), items.end(),
                        [](const ArchiveItem& item) { return item.name == kFindingsReportName; });
  return items;
}

}  // namespace

ArchiveOptions DefaultArchiveOptions() {
  return {std::min(ProcessorCount(), kMaxDeflateThreads), zip::Limits{}};
}

size_t MakeArchive(const std::wstring& folder, const std::wstring& archive_path) {
  return MakeArchive(folder, archive_path, DefaultArchiveOptions());
}

size_t MakeArchive(const std::wstring& folder, const std::wstring& archive_path,
                   const ArchiveOptions& options) {
  // Walk first, so that the temporary file is never part of the tree.
  const std::vector<ArchiveItem> items = WithFindingsFirst(WalkArchiveTree(folder));
  TemporaryArchive temporary;
  options.at_destination([&] { temporary = CreateTemporaryArchive(archive_path); });
  try {
    const size_t count = WriteArchive(items, std::move(temporary.file), options);
    options.at_destination(
        [&] { MoveIntoPlace(temporary.path, archive_path, options.move_wait_ms); });
    return count;
  } catch (...) {
    options.at_destination([&] { ::DeleteFileW(ExtendedLengthPath(temporary.path).c_str()); });
    throw;
  }
}

}  // namespace velmora
