#include "reports/files/file_fingerprint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>

#include "common/date_text.h"
#include "common/handles.h"
#include "common/strings.h"
#include "reports/files/md5.h"
#include "common/no_follow_files.h"
#include "environment/version_resource.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::ScratchFolder;

constexpr wchar_t kEmptyDigest[] = L"d41d8cd98f00b204e9800998ecf8427e";

bool IsDigestText(const std::wstring& text) {
  if (text.size() != 32) return false;
  for (wchar_t c : text) {
    if (!std::iswdigit(c) && (c < L'a' || c > L'f')) return false;
  }
  return true;
}

// The file and the md5sum line that the build wrote beside the tests.
std::wstring ReferenceFile() {
  return test::BinDir() + L"\\md5-reference.bin";
}
std::wstring ReferenceDigest() {
  const std::string line = test::ReadBytes(test::BinDir() + L"\\md5-reference.md5");
  return std::wstring(line.begin(), line.begin() + std::min<size_t>(32, line.size()));
}

TEST(FileMd5, ContentOfASmallFile) {
  ScratchFolder folder;
  test::WriteBytes(folder.path() + L"abc.txt", "abc");
  EXPECT_EQ(GetFileMd5(folder.path() + L"abc.txt"), L"900150983cd24fb0d6963f7d28e17f72");
}

TEST(FileMd5, EmptyMissingAndLockedFilesGiveTheDigestOfNoInput) {
  ScratchFolder folder;
  test::WriteBytes(folder.path() + L"empty.log", "");
  EXPECT_EQ(GetFileMd5(folder.path() + L"empty.log"), kEmptyDigest);
  EXPECT_EQ(GetFileMd5(folder.path() + L"missing.log"), kEmptyDigest);
  EXPECT_EQ(GetFileMd5(folder.path()), kEmptyDigest);  // a folder

  const std::wstring locked = folder.path() + L"locked.dll";
  test::WriteBytes(locked, "held open without sharing");
  UniqueHandle holder(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  EXPECT_EQ(GetFileMd5(locked), kEmptyDigest);
  holder.reset();
  EXPECT_EQ(GetFileMd5(locked), Md5Text("held open without sharing", 25));
}

TEST(FileMd5, FileWrittenByAnotherHandleIsStillRead) {
  ScratchFolder folder;
  const std::wstring log = folder.path() + L"open.log";
  UniqueHandle writer(::CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer.valid());
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(writer.get(), "abc", 3, &written, nullptr));
  EXPECT_EQ(GetFileMd5(log), L"900150983cd24fb0d6963f7d28e17f72");
}

// The reference file spans many read pieces and ends in a part of one; its
// digest comes from md5sum on Linux.
TEST(FileMd5, FileLargerThanTheReadPieceMatchesMd5sum) {
  const std::wstring expected = ReferenceDigest();
  ASSERT_TRUE(IsDigestText(expected)) << "missing md5-reference.md5";
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(::GetFileAttributesExW(ReferenceFile().c_str(), GetFileExInfoStandard, &data));
  ASSERT_GT(data.nFileSizeLow, 2 * kMd5PieceSize);
  ASSERT_NE(data.nFileSizeLow % kMd5PieceSize, 0u);
  EXPECT_EQ(GetFileMd5(ReferenceFile()), expected);
  // Many small pieces: the digest is still that of the whole content.
  EXPECT_EQ(GetFileMd5(ReferenceFile(), 64 * 1024), expected);
}

// 4 GiB of zeros and then "tail!", as a sparse file. The digest of the whole
// content is the one that md5sum gives for such a file:
//   truncate -s 4294967296 f && printf 'tail!' >>f && md5sum f
// (hashing only the low 32 bits of the size would hash five zero bytes).
TEST(FileMd5, FileOfFourGibibytesAndMoreIsHashedWhole) {
  if (std::getenv("VELMORA_LARGE_TESTS") == nullptr) {
    GTEST_SKIP() << "set VELMORA_LARGE_TESTS=1 to hash a 4 GiB file";
  }
  ScratchFolder folder;
  const std::wstring path = folder.path() + L"huge.bin";
  {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD ignored = 0;
    ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = 0x100000000LL;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), "tail!", 5, &written, nullptr));
  }
  EXPECT_EQ(GetFileMd5(path), L"a37ef9312d1792bed4281939772ad827");
}

TEST(FixedFileVersion, FourNumbersOfTheFileVersionWithoutPadding) {
  EXPECT_EQ(GetFixedFileVersion(test::BinDir() + L"\\fixed_version.dll"), L"1.0.0.12");
  EXPECT_EQ(GetFixedFileVersion(test::BinDir() + L"\\VelmoraHelper.exe"), L"1.7.0.783");
}

TEST(FixedFileVersion, NoVersionResourceGivesEmptyText) {
  EXPECT_EQ(GetFixedFileVersion(test::BinDir() + L"\\no_version.dll"), L"");
  EXPECT_EQ(GetFixedFileVersion(test::BinDir() + L"\\missing.dll"), L"");
  ScratchFolder folder;
  test::WriteBytes(folder.path() + L"plain.exe", "MZ but nothing else");
  EXPECT_EQ(GetFixedFileVersion(folder.path() + L"plain.exe"), L"");
}

// A head of `size` bytes starting with "MZ" whose DOS header points to
// `offset`, where `signature` stands when it fits.
std::string DosHead(size_t size, uint32_t offset, const std::string& signature) {
  std::string head(size, '\x5A');
  head.replace(0, 2, "MZ");
  head.replace(0x3C, 4, reinterpret_cast<const char*>(&offset), 4);
  if (offset + signature.size() <= size) head.replace(offset, signature.size(), signature);
  return head;
}

// Files that only start like a program are not handed to the version
// library, whose failed load of such a file costs more than reading it.
TEST(FileFingerprint, OnlyWhatCanBeAModuleIsHandedToTheVersionLibrary) {
  const std::string module = test::ReadBytes(test::BinDir() + L"\\fixed_version.dll");
  const struct {
    std::string head;
    uint64_t file_size;
    bool asked;
  } rows[] = {
      {module.substr(0, 4096), module.size(), true},
      {DosHead(4096, 0x80, std::string("PE\0\0", 4)), 4096, true},
      {DosHead(512, 0x80, "NE"), 512, true},
      {DosHead(512, 0x80, "LE"), 512, true},
      {DosHead(512, 0x80, "LX"), 512, true},
      {DosHead(512, 0x80, "ZZ"), 512, false},
      {DosHead(512, 0x1FE, "PE"), 512, true},        // the signature's last place
      {DosHead(512, 0x1FF, "PE"), 512, false},       // no room for it
      {DosHead(4096, 0x8000, "PE"), 0x8002, true},   // beyond the head, in the file
      {DosHead(4096, 0x8000, "PE"), 0x8001, false},  // beyond the file
      {DosHead(4096, 0xFFFFFFFF, "PE"), 0x8000, false},
      {"MZ but nothing else", 19, false},
      {"SZDD\x88\xF0\x27\x33", 4096, true},
      {"PE\0\0 without a DOS header", 4096, false},
      {"", 0, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MayHoldVersionResource(row.head, row.file_size), row.asked)
        << row.head.substr(0, 24) << " of " << row.head.size() << " bytes";
  }
}

// The fingerprint of the file at `path`, opened as the walks open theirs.
FileFingerprint FingerprintOf(const std::wstring& path) {
  const UniqueHandle file =
      OpenPlainFile(path, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_SEQUENTIAL_SCAN);
  return GetFileFingerprint(file.get(), path);
}

// Wine shows a link to a file as the file itself: the answers about the
// opened file are replaced by a link's, as Windows gives them, so that the
// version library is never handed a name that leads elsewhere.
TEST(FileFingerprint, AFileThatTheSystemCallsALinkIsNotRead) {
  const std::wstring module = test::BinDir() + L"\\fixed_version.dll";
  const HandleAttributesReader system_attributes =
      SetHandleAttributesReader([](HANDLE) -> DWORD { return FILE_ATTRIBUTE_REPARSE_POINT; });
  const ReparseTagReader system_tag =
      SetReparseTagReader([](HANDLE) -> DWORD { return 0xA000000C; });
  const std::wstring version = GetFixedFileVersion(module);
  const FileFingerprint fingerprint = FingerprintOf(module);
  SetReparseTagReader([](HANDLE) -> DWORD { return 0x80000013; });  // deduplicated: data of its own
  const std::wstring deduplicated = GetFixedFileVersion(module);
  SetHandleAttributesReader(system_attributes);
  SetReparseTagReader(system_tag);
  EXPECT_EQ(version, L"");
  EXPECT_EQ(fingerprint.version, L"");
  EXPECT_EQ(fingerprint.md5, L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(deduplicated, L"1.0.0.12");
}

// Wine takes paths of any length everywhere; Windows takes those beyond
// MAX_PATH only in the "\\?\" form, and its version calls not at all. The
// forms that the program hands on are looked at, and used.
TEST(FileFingerprint, PathsLongerThanThePlainLimit) {
  ScratchFolder folder(L"deep");
  std::wstring path = folder.path();
  for (int level = 0; level < 5; ++level) {
    path += std::wstring(60, static_cast<wchar_t>(L'a' + level)) + L"\\";
    ASSERT_TRUE(::CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr));
  }
  const std::wstring file = path + L"Corvane.exe";
  ASSERT_GT(file.size(), static_cast<size_t>(MAX_PATH));
  ASSERT_TRUE(::CopyFileW((test::BinDir() + L"\\fixed_version.dll").c_str(),
                          ExtendedLengthPath(file).c_str(), FALSE));
  EXPECT_EQ(ExtendedLengthPath(file).rfind(L"\\\\?\\", 0), 0u);
  const std::wstring for_version = PathForVersionCalls(file);
  EXPECT_LT(for_version.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_EQ(for_version.find(L"\\\\?\\"), std::wstring::npos);
  EXPECT_EQ(GetFixedFileVersion(file), L"1.0.0.12");
  EXPECT_EQ(GetFileMd5(file), GetFileMd5(test::BinDir() + L"\\fixed_version.dll"));
  EXPECT_GE(GetFileTimeLocal(file, FileTimeKind::kLastWrite).wYear, 2020);
  EXPECT_EQ(PathForVersionCalls(L"C:\\short.dll"), L"C:\\short.dll");
}

TEST(FileFingerprint, ReadOncePerReport) {
  ScratchFolder folder;
  const std::wstring path = folder.path() + L"Corvane.dll";
  test::WriteBytes(path, "first");
  const std::wstring first = GetFileMd5(path);
  {
    const FileFingerprintCache report;
    EXPECT_EQ(FingerprintOf(path).md5, first);
    test::WriteBytes(path, "second");
    EXPECT_EQ(FingerprintOf(ToLower(path)).md5, first);
    EXPECT_EQ(FingerprintOf(path).version, L"");
    // Data files are not handed to the version library; modules are.
    EXPECT_EQ(FingerprintOf(test::BinDir() + L"\\fixed_version.dll").version, L"1.0.0.12");
  }
  EXPECT_NE(FingerprintOf(path).md5, first);
}

void SetLocalTime(const std::wstring& path, SYSTEMTIME local, FileTimeKind which) {
  FILETIME local_file_time, utc;
  ASSERT_TRUE(::SystemTimeToFileTime(&local, &local_file_time));
  ASSERT_TRUE(::LocalFileTimeToFileTime(&local_file_time, &utc));
  UniqueHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.valid());
  ASSERT_TRUE(::SetFileTime(file.get(), which == FileTimeKind::kCreation ? &utc : nullptr,
                            which == FileTimeKind::kLastAccess ? &utc : nullptr,
                            which == FileTimeKind::kLastWrite ? &utc : nullptr));
}

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
         a.wMinute == b.wMinute && a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

TEST(FileTimeLocal, EachKindWithItsMilliseconds) {
  ScratchFolder folder;
  const std::wstring path = folder.path() + L"timed.exe";
  test::WriteBytes(path, "x");
  const SYSTEMTIME written = {2024, 1, 0, 31, 15, 30, 45, 123};
  const SYSTEMTIME accessed = {2024, 2, 0, 1, 23, 59, 59, 999};
  SetLocalTime(path, written, FileTimeKind::kLastWrite);
  SetLocalTime(path, accessed, FileTimeKind::kLastAccess);
  // Wine cannot set a creation time on a Linux file system; it is read all the same.
  EXPECT_GE(GetFileTimeLocal(path, FileTimeKind::kCreation).wYear, 2020);
  EXPECT_TRUE(SameTime(GetFileTimeLocal(path, FileTimeKind::kLastWrite), written));
  EXPECT_TRUE(SameTime(GetFileTimeLocal(path, FileTimeKind::kLastAccess), accessed));
}

TEST(FileTimeLocal, UnreadableFileGivesTheZeroValueShownAsADateOnly) {
  const SYSTEMTIME zero = GetFileTimeLocal(L"C:\\no such folder\\x.exe", FileTimeKind::kLastWrite);
  EXPECT_TRUE(SameTime(zero, SYSTEMTIME{1899, 12, 6, 30, 0, 0, 0, 0}));
  const std::wstring text = FormatLocalDateTime(zero);
  EXPECT_NE(text.find(L"1899"), std::wstring::npos) << text;
  EXPECT_EQ(text.find(L' '), std::wstring::npos) << text;
}

}  // namespace
}  // namespace velmora
