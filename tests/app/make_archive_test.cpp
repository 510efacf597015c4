#include "app/archive/make_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "app/archive/zip_records.h"
#include "common/cancellation.h"
#include "common/errors.h"
#include "common/folder_entries.h"
#include "common/handles.h"
#include "common/strings.h"
#include "common/worker_thread.h"
#include "support/test_support.h"
#include "support/zip_reader.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::ScratchFolder;
using test::Utf8;
using test::WriteBytes;

constexpr uint16_t kUtf8Flag = 1 << 11;

test::ZipArchiveInfo ReadArchive(const std::wstring& path) {
  std::string error;
  auto info = test::ReadZip(ReadBytes(path), error);
  EXPECT_TRUE(info.has_value()) << error;
  return info.value_or(test::ZipArchiveInfo{});
}

// Expected extra data: an Info-ZIP Unicode Path field for UTF-8 names, nothing otherwise.
std::string UnicodePathFieldFor(const test::ZipHeaderFields& h) {
  if (!(h.flags & kUtf8Flag)) return {};
  const uint32_t crc = test::Crc32Of(h.name);
  const size_t size = 5 + h.name.size();
  std::string field = {'\x75', '\x70', char(size & 0xFF), char(size >> 8), '\x01'};
  for (int i = 0; i < 4; ++i) field.push_back(char((crc >> (8 * i)) & 0xFF));
  return field + h.name;
}

std::set<std::string> NamesOf(const test::ZipArchiveInfo& info) {
  std::set<std::string> names;
  for (const auto& e : info.entries) names.insert(e.central.name);
  return names;
}

// A working folder as the report job leaves it, with the awkward cases added.
class ArchiveTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tree_.path() + L"GetInfoDir\\";
    ::CreateDirectoryW(root_.c_str(), nullptr);
    ::CreateDirectoryW((root_ + L"AppPath").c_str(), nullptr);
    ::CreateDirectoryW((root_ + L"AppData").c_str(), nullptr);
    ::CreateDirectoryW((root_ + L"AppData\\deeper").c_str(), nullptr);
    Put(L"Velmora_Debug_Info.txt", std::string(5000, 'r') + "end");
    Put(L"AppPath\\Corvane.log", "log line\r\nlog line\r\n");
    Put(L"no_extension", "plain");
    Put(L"empty.txt", "");
    Put(L"readonly.ini", "[x]");
    ::SetFileAttributesW((root_ + L"readonly.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    Put(L"hidden.txt", "h");
    ::SetFileAttributesW((root_ + L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    Put(L"AppData\\deeper\\system.dat", "s");
    ::SetFileAttributesW((root_ + L"AppData\\deeper\\system.dat").c_str(), FILE_ATTRIBUTE_SYSTEM);
    Put(L"AppData\\deeper\\settings.xml", "<settings/>");
    Put(L"AppData\\отчёт.txt", "cyrillic");
    Put(L"AppData\\報告.txt", "cjk");
  }
  void TearDown() override {
    ::SetFileAttributesW((root_ + L"readonly.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  void Put(const std::wstring& name, const std::string& bytes) { WriteBytes(root_ + name, bytes); }

  ScratchFolder tree_{L"archive-tree"};
  ScratchFolder destination_{L"archive-destination"};
  std::wstring root_;
  std::wstring archive_ = destination_.path() + L"Velmora_Debug_Info.zip";
};

TEST_F(ArchiveTree, HoldsEveryVisibleFileUnderItsRelativeName) {
  const size_t count = MakeArchive(root_, archive_);
  const auto info = ReadArchive(archive_);
  const std::set<std::string> expected = {"Velmora_Debug_Info.txt",
                                          "AppPath/Corvane.log",
                                          "no_extension",
                                          "empty.txt",
                                          "readonly.ini",
                                          "AppData/deeper/settings.xml",
                                          "AppData/" + Utf8(L"отчёт.txt"),
                                          "AppData/" + Utf8(L"報告.txt")};
  EXPECT_EQ(NamesOf(info), expected);
  EXPECT_EQ(count, expected.size());
  EXPECT_EQ(info.entry_count, expected.size());
  EXPECT_FALSE(info.has_zip64_end);
  EXPECT_EQ(info.comment_length, 0);
}

std::vector<std::string> OrderOf(const test::ZipArchiveInfo& info) {
  std::vector<std::string> names;
  for (const auto& e : info.entries) names.push_back(e.central.name);
  return names;
}

// Support opens the findings first; every other entry keeps the walk's order.
TEST_F(ArchiveTree, FindingsComeFirstAndTheRestKeepTheWalkOrder) {
  MakeArchive(root_, archive_);
  const std::vector<std::string> walked = OrderOf(ReadArchive(archive_));
  Put(L"Findings.txt", "first");
  Put(L"AppPath\\Findings.txt", "a product file of that name stays where it is");
  MakeArchive(root_, archive_);
  std::vector<std::string> with = OrderOf(ReadArchive(archive_));
  ASSERT_EQ(with.size(), walked.size() + 2);
  EXPECT_EQ(with.front(), "Findings.txt");
  with.erase(with.begin());
  with.erase(std::find(with.begin(), with.end(), "AppPath/Findings.txt"));
  EXPECT_EQ(with, walked);
}

TEST_F(ArchiveTree, EntriesAreDeflatedAtMaximumWithSizesAndCrcInTheLocalHeader) {
  MakeArchive(root_, archive_);
  for (const auto& e : ReadArchive(archive_).entries) {
    SCOPED_TRACE(e.central.name);
    for (const auto* h : {&e.central, &e.local}) {
      EXPECT_EQ(h->method, 8);
      EXPECT_EQ(h->flags & 0x0006, 0x0002);  // bit 1 set, bit 2 clear
      EXPECT_EQ(h->flags & 0x0009, 0);       // no encryption, no data descriptor
      EXPECT_EQ(h->version_needed, 20);
      EXPECT_EQ(h->crc32, test::Crc32Of(e.data));
      EXPECT_EQ(h->uncompressed_size, e.data.size());
      EXPECT_EQ(h->extra, UnicodePathFieldFor(*h));
    }
    EXPECT_EQ(e.local.name, e.central.name);
    EXPECT_EQ(e.local.compressed_size, e.central.compressed_size);
    EXPECT_EQ(e.version_made_by >> 8, 0);  // attributes are DOS attributes
  }
}

TEST_F(ArchiveTree, ContentAttributesAndTimesSurvive) {
  FILETIME write_time = {};
  {
    UniqueHandle f(::CreateFileW((root_ + L"AppPath\\Corvane.log").c_str(), GENERIC_READ, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    ::GetFileTime(f.get(), nullptr, nullptr, &write_time);
  }
  MakeArchive(root_, archive_);
  const auto info = ReadArchive(archive_);
  const auto* log = info.Find("AppPath/Corvane.log");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->data, "log line\r\nlog line\r\n");
  FILETIME local;
  WORD dos_date = 0, dos_time = 0;
  ::FileTimeToLocalFileTime(&write_time, &local);
  ::FileTimeToDosDateTime(&local, &dos_date, &dos_time);
  for (const auto* header : {&log->central, &log->local}) {
    EXPECT_EQ(header->dos_date, dos_date);
    EXPECT_EQ(header->dos_time, dos_time);
  }
  const auto* readonly = info.Find("readonly.ini");
  ASSERT_NE(readonly, nullptr);
  EXPECT_TRUE(readonly->external_attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(info.Find("empty.txt")->data, "");
  EXPECT_EQ(info.Find("Velmora_Debug_Info.txt")->data, std::string(5000, 'r') + "end");
}

TEST_F(ArchiveTree, NamesOutsideTheOemCodePageAreUtf8WithFlagBit11) {
  MakeArchive(root_, archive_);
  for (const auto& e : ReadArchive(archive_).entries) {
    const bool non_oem = e.central.name.rfind("AppData/", 0) == 0 && e.data != "<settings/>";
    EXPECT_EQ((e.central.flags & kUtf8Flag) != 0, non_oem) << e.central.name;
    EXPECT_EQ(e.local.flags, e.central.flags);
  }
}

// The desktop belongs to a user who may have put a link at the archive's name.
TEST_F(ArchiveTree, ALinkAtTheArchivesNameNeverHasItsTargetWritten) {
  test::ScratchFolder elsewhere(L"someone else's");
  WriteBytes(elsewhere.path() + L"hosts", "must stay");
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere.path() + L"hosts", archive_));
  MakeArchive(root_, archive_);
  EXPECT_EQ(ReadBytes(elsewhere.path() + L"hosts"), "must stay");
  EXPECT_NE(ReadArchive(archive_).Find("readonly.ini"), nullptr);
  ::DeleteFileW(archive_.c_str());
  // A link to a folder: the archive never lands inside it.
  ASSERT_TRUE(test::MakeUnixSymlink(elsewhere.path(), archive_));
  try {
    MakeArchive(root_, archive_);
  } catch (const std::exception&) {
    // Where the system cannot remove such a link (Wine), the run fails instead.
  }
  std::vector<std::wstring> names;
  ForEachFolderEntry(
      elsewhere.path() + L"*",
      [&names](const std::wstring& name, const WIN32_FIND_DATAW&) { names.push_back(name); });
  EXPECT_EQ(names, std::vector<std::wstring>{L"hosts"});
  test::RemoveUnixSymlink(archive_);
}

TEST_F(ArchiveTree, NamesOutsideAsciiAreUtf8EvenWhereTheOemCodePageHoldsThem) {
  Put(L"café.txt", "oem");  // é exists in the OEM code pages of western systems
  Put(L"plain.txt", "ascii");
  MakeArchive(root_, archive_);
  const auto info = ReadArchive(archive_);
  const auto* accented = info.Find("caf\xC3\xA9.txt");
  ASSERT_NE(accented, nullptr);
  EXPECT_EQ(accented->central.flags & kUtf8Flag, kUtf8Flag);
  EXPECT_EQ(accented->local.flags & kUtf8Flag, kUtf8Flag);
  const auto* plain = info.Find("plain.txt");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->central.flags & kUtf8Flag, 0);
}

TEST_F(ArchiveTree, FileOpenForWritingByOthersIsReadButExclusiveOneIsSkipped) {
  UniqueHandle shared(::CreateFileW((root_ + L"AppPath\\Corvane.log").c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
  ASSERT_TRUE(shared.valid());
  Put(L"locked.log", "locked");
  UniqueHandle exclusive(::CreateFileW((root_ + L"locked.log").c_str(),
                                       GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
  ASSERT_TRUE(exclusive.valid());
  const size_t count = MakeArchive(root_, archive_);
  const auto info = ReadArchive(archive_);
  EXPECT_NE(info.Find("AppPath/Corvane.log"), nullptr);
  EXPECT_EQ(info.Find("locked.log"), nullptr);
  EXPECT_EQ(count, info.entries.size());
}

TEST_F(ArchiveTree, BytesDoNotDependOnTheThreadCount) {
  Put(L"AppPath\\big.bin", std::string(17u << 20, 'b'));  // deflated in several pieces
  const std::wstring single = destination_.path() + L"single.zip";
  const std::wstring many = destination_.path() + L"many.zip";
  MakeArchive(root_, single, {0, zip::Limits{}});
  MakeArchive(root_, many, {4, zip::Limits{}});
  MakeArchive(root_, archive_, {1, zip::Limits{}});
  const std::string reference = ReadBytes(single);
  EXPECT_EQ(ReadBytes(many), reference);
  EXPECT_EQ(ReadBytes(archive_), reference);
  const auto info = ReadArchive(single);
  const auto* big = info.Find("AppPath/big.bin");
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->data.size(), 17u << 20);
  EXPECT_EQ(big->local.crc32, test::Crc32Of(big->data));
}

TEST_F(ArchiveTree, HelpersThatCannotStartLeaveFewerHelpersAndTheSameBytes) {
  Put(L"AppPath\\big.bin", std::string(9u << 20, 'h'));
  const std::wstring reference = destination_.path() + L"reference.zip";
  MakeArchive(root_, reference, {0, zip::Limits{}});
  int started = 0;
  ArchiveOptions starved{4, zip::Limits{}};
  starved.start_helper = [&](WorkerThread& thread, std::function<void()> work) {
    return started++ < 1 && thread.Start(std::move(work));  // the system gives one thread only
  };
  EXPECT_NO_THROW(MakeArchive(root_, archive_, starved));
  EXPECT_EQ(ReadBytes(archive_), ReadBytes(reference));
  starved.start_helper = [](WorkerThread&, std::function<void()>) { return false; };
  EXPECT_NO_THROW(MakeArchive(root_, archive_, starved));
  EXPECT_EQ(ReadBytes(archive_), ReadBytes(reference));
}

TEST_F(ArchiveTree, AStoppedReportLeavesNoArchiveAndNoTemporaryFile) {
  Put(L"AppPath\\big.bin", std::string(5u << 20, 's'));
  RequestCancellation();
  EXPECT_THROW(MakeArchive(root_, archive_, {2, zip::Limits{}}), ReportCancelled);
  ClearCancellation();
  EXPECT_FALSE(test::PathExists(archive_));
  WIN32_FIND_DATAW found;
  UniqueFindHandle search(::FindFirstFileW((destination_.path() + L"*.tmp").c_str(), &found));
  EXPECT_FALSE(search.valid());
}

TEST_F(ArchiveTree, ForcedZip64LimitsGiveZip64RecordsThatReadBack) {
  const zip::Limits small = {100, 3};  // sizes and offsets >= 100, 3 or more entries
  const size_t count = MakeArchive(root_, archive_, {2, small});
  const auto info = ReadArchive(archive_);
  EXPECT_TRUE(info.has_zip64_end);
  EXPECT_EQ(info.eocd_entry_count, 0xFFFF);
  EXPECT_EQ(info.entry_count, count);
  const auto* report = info.Find("Velmora_Debug_Info.txt");
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->local.raw_uncompressed_size, 0xFFFFFFFFu);
  EXPECT_EQ(report->local.raw_compressed_size, 0xFFFFFFFFu);
  EXPECT_EQ(report->local.extra.size(), 20u);  // both sizes, always, in a local header
  EXPECT_EQ(report->local.version_needed, 45);
  EXPECT_EQ(report->central.version_needed, 45);
  EXPECT_EQ(report->data, std::string(5000, 'r') + "end");
  for (const auto& e : info.entries) {
    if (e.local_header_offset >= 100) {
      EXPECT_EQ(e.central.version_needed, 45) << e.central.name;
      EXPECT_FALSE(e.central.extra.empty()) << e.central.name;
    }
  }
}

TEST_F(ArchiveTree, ExistingArchiveIsReplacedNotAddedTo) {
  WriteBytes(archive_, "an old archive");
  MakeArchive(root_, archive_);
  EXPECT_EQ(ReadArchive(archive_).entries.size(), 8u);
}

TEST_F(ArchiveTree, FailedReplaceKeepsTheOldArchiveAndLeavesNoTemporaryFile) {
  WriteBytes(archive_, "an old archive");
  // Held open without delete sharing: it cannot be replaced.
  UniqueHandle holder(::CreateFileW(archive_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.valid());
  ArchiveOptions options = DefaultArchiveOptions();
  options.move_wait_ms = 300;
  EXPECT_THROW(MakeArchive(root_, archive_, options), ReportError);
  holder.reset();
  EXPECT_EQ(ReadBytes(archive_), "an old archive");
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(::FindFirstFileW((destination_.path() + L"*.tmp").c_str(), &data));
  EXPECT_FALSE(find.valid());
}

// As an antivirus does with every new file: the temporary archive is opened
// without delete sharing just before it is moved, and let go a moment later.
TEST_F(ArchiveTree, TemporaryArchiveHeldOpenForAMomentIsMovedOnceLetGo) {
  WriteBytes(archive_, "an old archive");
  ArchiveOptions options = DefaultArchiveOptions();
  int changes = 0;
  WorkerThread scanner;
  options.at_destination = [&](const std::function<void()>& change) {
    if (++changes == 2) {
      WIN32_FIND_DATAW found;
      UniqueFindHandle search(
          ::FindFirstFileW((destination_.path() + L"vhz*.tmp").c_str(), &found));
      ASSERT_TRUE(search.valid());
      auto held = std::make_shared<UniqueHandle>(
          ::CreateFileW((destination_.path() + found.cFileName).c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held->valid());
      ASSERT_TRUE(scanner.Start([held] {
        ::Sleep(700);
        held->reset();
      }));
    }
    change();
  };
  MakeArchive(root_, archive_, options);
  scanner.Join();
  EXPECT_EQ(ReadArchive(archive_).entries.size(), 8u);
}

TEST_F(ArchiveTree, MissingDestinationFolderRaises) {
  EXPECT_THROW(MakeArchive(root_, destination_.path() + L"missing\\Velmora_Debug_Info.zip"),
               ReportError);
  EXPECT_FALSE(test::PathExists(destination_.path() + L"missing"));
}

TEST(ArchiveEmptyFolder, GivesAValidArchiveWithoutEntries) {
  ScratchFolder tree;
  const std::wstring archive = tree.path() + L"out.zip";
  ScratchFolder empty;
  EXPECT_EQ(MakeArchive(empty.path(), archive), 0u);
  EXPECT_EQ(ReadBytes(archive), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
}

}  // namespace
}  // namespace velmora
