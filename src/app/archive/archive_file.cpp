#include "app/archive/archive_file.h"

#include <algorithm>

#include "common/errors.h"

namespace velmora {

void ArchiveFile::Write(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 24));
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes, piece, &written, nullptr) || written != piece) {
      ThrowLastError("cannot write archive");
    }
    bytes += piece;
    size -= piece;
    position_ += piece;
  }
}

void ArchiveFile::Seek(uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  if (!::SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN)) {
    ThrowLastError("cannot seek in archive");
  }
}

void ArchiveFile::WriteAt(uint64_t position, const std::string& bytes) {
  const uint64_t end = position_;
  Seek(position);
  position_ = position;
  Write(bytes);
  Seek(end);
  position_ = end;
}

void ArchiveFile::TruncateTo(uint64_t position) {
  Seek(position);
  if (!::SetEndOfFile(file_.get())) ThrowLastError("cannot truncate archive");
  position_ = position;
}

void ArchiveFile::Close() {
  if (!::FlushFileBuffers(file_.get())) ThrowLastError("cannot flush archive");
  file_.reset();
}

}  // namespace velmora
