// Packs a folder tree into one ZIP archive.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "app/archive/zip_records.h"
#include "common/worker_thread.h"

namespace velmora {

struct ArchiveOptions {
  // Threads that deflate entries ahead of the writer; 0 deflates on the caller's thread only.
  unsigned deflate_threads;
  zip::Limits limits;
  // Starts one helper thread; false when the system could not. Replaceable so
  // that a test can refuse threads as an exhausted system would.
  std::function<bool(WorkerThread&, std::function<void()>)> start_helper = StartWorker;
  // Makes the archive's own changes in its destination folder: creating the
  // temporary file, moving it into place, removing it. Replaceable so that
  // the report can make them with the rights of the user whose folder it is.
  std::function<void(const std::function<void()>&)> at_destination =
      [](const std::function<void()>& change) { change(); };
  // An antivirus, indexer or backup agent may hold the just-written archive
  // open for a moment; moving it into place is tried again until then.
  DWORD move_wait_ms = 10'000;
};

// One thread per core beside the writer, real ZIP limits.
ArchiveOptions DefaultArchiveOptions();

// Archives every file below `folder` (hidden and system files left out, files
// that cannot be opened skipped) into `archive_path` and returns how many files
// it holds. The archive is written into a new file under a temporary name
// beside its destination and moved over it only when complete; a link that
// stands at `archive_path` is replaced as a link, never followed. On any
// failure the temporary file is deleted, whatever was at `archive_path`
// stays, and ReportError is raised.
size_t MakeArchive(const std::wstring& folder, const std::wstring& archive_path);
size_t MakeArchive(const std::wstring& folder, const std::wstring& archive_path,
                   const ArchiveOptions& options);

}  // namespace velmora
