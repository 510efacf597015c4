#include "reports/system/storage_profile.h"

#include <windows.h>
#include <mstask.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "common/com_ptr.h"
#include "common/system_class.h"

#include "reports/system/defrag_schedule.h"
#include "reports/system/filter_drivers.h"
#include "reports/system/free_space_extents.h"
#include "reports/system/shadow_storage.h"
#include "reports/system/storage_events.h"
#include "reports/system/volume_facts.h"

namespace velmora {
namespace {

bool operator==(const FreeSpaceExtents& a, const FreeSpaceExtents& b) {
  return a.extents == b.extents && a.largest == b.largest && a.free_clusters == b.free_clusters;
}

// Fed in chunks of random byte sizes, so that runs cross chunk and word edges
// and chunks end inside a word.
FreeSpaceExtents CountInChunks(const std::vector<uint8_t>& bitmap, uint64_t bits,
                               std::mt19937& random) {
  FreeExtentCounter counter;
  uint64_t done = 0;
  while (done < bits) {
    const uint64_t chunk = std::min<uint64_t>(bits - done, 8 * (1 + random() % 40));
    counter.Feed(bitmap.data() + done / 8, chunk);
    done += chunk;
  }
  return counter.Totals();
}

TEST(FreeSpaceExtents, MatchesTheBitByBitCountOnRandomBitmaps) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bitmap(1 + random() % 600);
    // Runs of random length, some longer than a word, some of one cluster.
    const unsigned longest = 1 + random() % 200;
    size_t bit = 0;
    bool used = random() % 2;
    while (bit < bitmap.size() * 8) {
      const size_t run = 1 + random() % longest;
      for (size_t i = bit; i < std::min(bit + run, bitmap.size() * 8); ++i) {
        if (used) bitmap[i / 8] |= uint8_t(1u << (i % 8));
      }
      bit += run;
      used = !used;
    }
    const uint64_t bits = bitmap.size() * 8 - random() % 8;
    const FreeSpaceExtents reference = CountFreeExtentsBitByBit(bitmap.data(), bits);
    FreeExtentCounter whole;
    whole.Feed(bitmap.data(), bits);
    ASSERT_TRUE(whole.Totals() == reference) << "round " << round;
    ASSERT_TRUE(CountInChunks(bitmap, bits, random) == reference) << "round " << round;
  }
}

TEST(FreeSpaceExtents, KnownExtentsAcrossAChunkEdge) {
  // 256 clusters: used 0-9, free 10-199 (across the chunk edge at 128), used
  // 200-254, free 255.
  std::vector<uint8_t> bitmap(32, 0);
  auto use = [&](int from, int to) {
    for (int i = from; i <= to; ++i) bitmap[i / 8] |= uint8_t(1u << (i % 8));
  };
  use(0, 9);
  use(200, 254);
  FreeExtentCounter counter;
  counter.Feed(bitmap.data(), 128);
  counter.Feed(bitmap.data() + 16, 128);
  const FreeSpaceExtents totals = counter.Totals();
  EXPECT_EQ(totals.extents, 2u);
  EXPECT_EQ(totals.largest, 190u);
  EXPECT_EQ(totals.free_clusters, 191u);
  EXPECT_EQ(FreeExtentsValue(totals), L"2");
  EXPECT_EQ(LargestFreeExtentValue(totals, 4096), L"190 clusters (760.00 KB)");
}

PropertyAnswer BooleanAnswer(BOOLEAN value) {
  // DEVICE_SEEK_PENALTY_DESCRIPTOR and DEVICE_TRIM_DESCRIPTOR share this layout.
  DEVICE_SEEK_PENALTY_DESCRIPTOR descriptor = {sizeof descriptor, sizeof descriptor, value};
  PropertyAnswer answer;
  answer.bytes.resize(sizeof descriptor);
  std::memcpy(answer.bytes.data(), &descriptor, sizeof descriptor);
  return answer;
}

// IDENTIFY DEVICE data: 256 little-endian words, the rotation rate in word 217.
IdentifyAnswer IdentifyWithRotationRate(unsigned rate) {
  IdentifyAnswer answer;
  answer.error = ERROR_SUCCESS;
  answer.data.assign(512, 0x5A);
  answer.data[2 * 217] = static_cast<uint8_t>(rate & 0xFF);
  answer.data[2 * 217 + 1] = static_cast<uint8_t>(rate >> 8);
  return answer;
}

TEST(VolumeFacts, MediaTrimDirtyAndSmartValues) {
  PropertyAnswer refused;
  refused.error = ERROR_INVALID_FUNCTION;
  EXPECT_EQ(MediaTypeValue(BooleanAnswer(FALSE), true), L"SSD (no seek penalty)");
  EXPECT_EQ(MediaTypeValue(BooleanAnswer(TRUE), true), L"hard disk (seek penalty)");
  EXPECT_EQ(MediaTypeValue(refused, false), L"unknown (Windows 7 and later say)");
  EXPECT_EQ(MediaTypeValue(refused, true), L"unknown (the device does not say)");
  // Without the seek-penalty answer, word 217 of the identify data tells.
  EXPECT_EQ(MediaTypeValue(refused, false, IdentifyWithRotationRate(1)),
            L"SSD (rotation rate: non-rotating)");
  EXPECT_EQ(MediaTypeValue(refused, true, IdentifyWithRotationRate(7200)), L"hard disk (7200 rpm)");
  EXPECT_EQ(MediaTypeValue(refused, false, IdentifyWithRotationRate(0x0401)),
            L"hard disk (1025 rpm)");
  EXPECT_EQ(MediaTypeValue(BooleanAnswer(FALSE), true, IdentifyWithRotationRate(7200)),
            L"SSD (no seek penalty)");
  for (const unsigned says_nothing : {0u, 2u, 0x0400u, 0xFFFFu}) {
    EXPECT_EQ(MediaTypeValue(refused, false, IdentifyWithRotationRate(says_nothing)),
              L"unknown (Windows 7 and later say)");
  }
  IdentifyAnswer short_identify = IdentifyWithRotationRate(1);
  short_identify.data.resize(434);
  EXPECT_EQ(MediaTypeValue(refused, false, short_identify), L"unknown (Windows 7 and later say)");
  IdentifyAnswer refused_identify = IdentifyWithRotationRate(1);
  refused_identify.error = ERROR_INVALID_FUNCTION;
  EXPECT_EQ(MediaTypeValue(refused, true, refused_identify), L"unknown (the device does not say)");
  EXPECT_EQ(TrimDeviceValue(BooleanAnswer(TRUE), true), L"supported");
  EXPECT_EQ(TrimDeviceValue(BooleanAnswer(FALSE), true), L"not supported");
  PropertyAnswer denied;
  denied.error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(TrimDeviceValue(denied, true), L"unknown (access denied)");
  EXPECT_EQ(TrimSystemValue(ERROR_SUCCESS, REG_DWORD, 0), L"on (DisableDeleteNotify = 0)");
  EXPECT_EQ(TrimSystemValue(ERROR_SUCCESS, REG_DWORD, 1), L"off (DisableDeleteNotify = 1)");
  EXPECT_EQ(TrimSystemValue(ERROR_FILE_NOT_FOUND, 0, 0), L"on (DisableDeleteNotify not set)");
  EXPECT_EQ(DirtyBitValue(ERROR_SUCCESS, 1), L"set");
  EXPECT_EQ(DirtyBitValue(ERROR_SUCCESS, 0), L"not set");
  EXPECT_EQ(SmartValue(ERROR_SUCCESS, 1), L"failure predicted");
  EXPECT_EQ(SmartValue(ERROR_NOT_SUPPORTED, 0), L"unknown (the device does not say)");
  EXPECT_EQ(FreeSpaceValue(5368709120ull, 107374182400ull), L"5368709120 bytes (5.0 %)");
  EXPECT_EQ(BytesValue(1536), L"1536 bytes (1.50 KB)");
}

// VSS_DIFF_AREA_PROP as the system provider gives it; the strings are the
// caller's to free there, borrowed here.
VSS_DIFF_AREA_PROP DiffArea(const wchar_t* volume, const wchar_t* storage, LONGLONG maximum,
                            LONGLONG allocated, LONGLONG used) {
  return {const_cast<VSS_PWSZ>(volume), const_cast<VSS_PWSZ>(storage), maximum, allocated, used};
}

TEST(ShadowStorage, ValueFromTheDiffAreas) {
  const wchar_t c[] = L"\\\\?\\Volume{1b2e5a40-0000-0000-0000-100000000000}\\";
  const wchar_t d[] = L"\\\\?\\Volume{1b2e5a40-0000-0000-0000-200000000000}\\";
  EXPECT_EQ(ShadowStorageValue(S_OK, {DiffArea(c, c, 10737418240ll, 2147483648ll, 1073741824ll)}),
            L"used 1073741824 bytes (1.00 GB), allocated 2147483648 bytes (2.00 GB), "
            L"limit 10737418240 bytes (10.00 GB)");
  EXPECT_EQ(ShadowStorageValue(S_OK, {DiffArea(c, d, -1, 335544320ll, 0)}),
            std::wstring(L"used 0 bytes (0 Bytes), allocated 335544320 bytes (320.00 MB), "
                         L"no limit, on ") +
                d);
  EXPECT_EQ(ShadowStorageValue(S_OK, {}), L"none");
  EXPECT_EQ(ShadowStorageValue(static_cast<HRESULT>(0x8004230C), {}),
            L"none (the volume takes no shadow copies)");
  EXPECT_EQ(ShadowStorageValue(E_ACCESSDENIED, {}), L"unknown (access denied)");
  EXPECT_EQ(ShadowStorageValue(REGDB_E_CLASSNOTREG, {}), L"unknown (no shadow copy service)");
  EXPECT_EQ(ShadowStorageValue(kClassRegisteredForUser, {}),
            L"unknown (the shadow copy class is registered for the user; not asked)");
  EXPECT_EQ(ShadowStorageValue(static_cast<HRESULT>(0x80042302), {}),
            L"unknown (the shadow copy service does not answer, 0x80042302)");
}

TEST(VolumeFacts, PhysicalDiskFromTheDeviceDescriptor) {
  PropertyAnswer device;
  device.bytes.resize(sizeof(STORAGE_DEVICE_DESCRIPTOR) + 32);
  STORAGE_DEVICE_DESCRIPTOR descriptor = {};
  descriptor.Size = static_cast<DWORD>(device.bytes.size());
  descriptor.VendorIdOffset = 0;  // none given
  descriptor.ProductIdOffset = sizeof descriptor;
  descriptor.BusType = static_cast<STORAGE_BUS_TYPE>(17);
  std::memcpy(device.bytes.data(), &descriptor, sizeof descriptor);
  std::memcpy(device.bytes.data() + sizeof descriptor, "Corsa SSD 512  ", 16);
  EXPECT_EQ(PhysicalDiskValue(0, device), L"0, Corsa SSD 512, bus NVMe");
  device.error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(PhysicalDiskValue(1, device), L"1, unknown (access denied)");
}

// One EVENTLOGRECORD as the event log hands it out.
void AppendRecord(std::vector<uint8_t>& log, DWORD time, const std::wstring& source, DWORD id,
                  WORD type, const std::vector<std::wstring>& strings) {
  std::vector<uint8_t> tail;
  auto put_text = [&](const std::wstring& text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.c_str());
    tail.insert(tail.end(), p, p + (text.size() + 1) * sizeof(wchar_t));
  };
  put_text(source);
  put_text(L"PC");
  const size_t strings_at = sizeof(EVENTLOGRECORD) + tail.size();
  for (const std::wstring& text : strings) put_text(text);
  while ((sizeof(EVENTLOGRECORD) + tail.size()) % 4 != 0) tail.push_back(0);
  EVENTLOGRECORD record = {};
  record.Length = static_cast<DWORD>(sizeof record + tail.size() + sizeof(DWORD));
  record.Reserved = 0x654c664c;
  record.TimeGenerated = record.TimeWritten = time;
  record.EventID = id;
  record.EventType = type;
  record.NumStrings = static_cast<WORD>(strings.size());
  record.StringOffset = static_cast<DWORD>(strings_at);
  const auto* head = reinterpret_cast<const uint8_t*>(&record);
  log.insert(log.end(), head, head + sizeof record);
  log.insert(log.end(), tail.begin(), tail.end());
  const auto* length = reinterpret_cast<const uint8_t*>(&record.Length);
  log.insert(log.end(), length, length + sizeof(DWORD));
}

constexpr DWORD kNow = 1796860800;  // 2026-12-10 00:00:00 UTC
constexpr DWORD kDay = 86400;

TEST(StorageEvents, TakesStorageErrorsNewestFirstAndStopsAt30Days) {
  std::vector<uint8_t> log;
  AppendRecord(log, kNow - 60, L"Ntfs", 0x80000037, EVENTLOG_ERROR_TYPE, {L"C:", L"x"});
  AppendRecord(log, kNow - 120, L"Service Control Manager", 7036, EVENTLOG_ERROR_TYPE, {});
  AppendRecord(log, kNow - 180, L"Disk", 0xC0040007, EVENTLOG_INFORMATION_TYPE, {});
  AppendRecord(log, kNow - 2 * kDay, L"disk", 0xC0040007, EVENTLOG_ERROR_TYPE,
               {L"\\Device\\Harddisk0\\DR0"});
  AppendRecord(log, kNow - 31 * kDay, L"Disk", 11, EVENTLOG_ERROR_TYPE, {});
  AppendRecord(log, kNow - 32 * kDay, L"Disk", 11, EVENTLOG_ERROR_TYPE, {});
  StorageEvents events;
  const EventMessageText message = [](const std::wstring& source, DWORD id,
                                      const std::vector<std::wstring>& strings) {
    if (source != L"disk" || id != 0xC0040007) return std::wstring();
    return FillInserts(L"The device, %1, has a bad block.\r\n", strings);
  };
  EXPECT_FALSE(
      TakeLogEvents(log.data(), log.size(), kNow - 30 * kDay, IsStorageError, message, events));
  ASSERT_EQ(events.events.size(), 2u);
  EXPECT_FALSE(events.line_limit);
  EXPECT_EQ(events.events[0].line, L"  2026-12-09 23:59:00  Ntfs  55");
  EXPECT_EQ(
      events.events[1].line,
      L"  2026-12-08 00:00:00  disk  7  The device, \\Device\\Harddisk0\\DR0, has a bad block.");
}

TEST(StorageEvents, StopsAtTheLineLimit) {
  std::vector<uint8_t> log;
  for (DWORD i = 0; i < kStorageEventLineLimit + 5; ++i) {
    AppendRecord(log, kNow - i, L"volsnap", 25, EVENTLOG_WARNING_TYPE, {L"D:"});
  }
  StorageEvents events;
  EXPECT_FALSE(
      TakeLogEvents(log.data(), log.size(), kNow - 30 * kDay, IsStorageError, nullptr, events));
  EXPECT_EQ(events.events.size(), kStorageEventLineLimit);
  EXPECT_TRUE(events.line_limit);
  EXPECT_EQ(FillInserts(L"A %2!s! b  %1 %3\tc", {L"one", L"two"}), L"A two b one c");
}

// Windows before Vista keeps its tasks as Task Scheduler 1.0 ".job" files,
// which Wine's mstask.dll makes and reads as Windows' does.
TEST(DefragSchedule, TaskScheduler1TasksWithTheirPrograms) {
  const ComApartment apartment;
  ComPtr<ITaskScheduler> scheduler;
  ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_ITaskScheduler, scheduler.put_void()));
  ComPtr<ITask> task;
  ASSERT_HRESULT_SUCCEEDED(scheduler->NewWorkItem(L"Corvane Nightly", CLSID_CTask, IID_ITask,
                                                  reinterpret_cast<IUnknown**>(task.put_void())));
  ASSERT_HRESULT_SUCCEEDED(task->SetApplicationName(L"C:\\Program Files\\Corvane\\cdefrag.exe"));
  ComPtr<IPersistFile> file;
  ASSERT_HRESULT_SUCCEEDED(task->QueryInterface(IID_IPersistFile, file.put_void()));
  ASSERT_HRESULT_SUCCEEDED(file->Save(nullptr, TRUE));
  TaskSchedulerFacts facts;
  ReadTaskScheduler1Tasks(TickDeadline(30000), facts);
  scheduler->Delete(L"Corvane Nightly");
  EXPECT_EQ(facts.tasks_why, L"");
  EXPECT_EQ(ProductDefragLine(facts, L"C:\\Program Files\\Corvane"),
            L"Product scheduled defragmentation: \\Corvane Nightly");
}

TEST(DefragSchedule, LinesFromTheTaskDefinition) {
  TaskSchedulerFacts facts;
  facts.defrag_present = true;
  facts.defrag.enabled = true;
  facts.defrag.triggers = {L"weekly from 2006-11-01T01:00:00"};
  facts.defrag.last_run = 46000.5;  // 2025-12-09 12:00:00
  facts.defrag.last_result = S_OK;
  facts.tasks = {
      {L"\\Corvane\\Nightly", false, {}, 0, S_OK, {L"\"C:\\Program Files\\Corvane\\cdefrag.exe\""}},
      {L"\\Other", false, {}, 0, S_OK, {L"C:\\Program Files\\Corvane Tools\\x.exe"}}};
  EXPECT_EQ(WindowsDefragLines(facts),
            (ReportList{L"Windows scheduled defragmentation: enabled "
                        L"(\\Microsoft\\Windows\\Defrag\\ScheduledDefrag)",
                        L"Windows defragmentation schedule: weekly from 2006-11-01T01:00:00",
                        L"Windows defragmentation last run: 2025-12-09 12:00:00, result "
                        L"0x00000000 (success)"}));
  EXPECT_EQ(ProductDefragLine(facts, L"C:\\Program Files\\Corvane"),
            L"Product scheduled defragmentation: \\Corvane\\Nightly");
  EXPECT_EQ(ProductDefragLine(facts, L""), L"Product scheduled defragmentation: none");
  facts.defrag.enabled = false;
  facts.defrag.triggers.clear();
  facts.defrag.last_run = 0;
  EXPECT_EQ(WindowsDefragLines(facts)[0],
            L"Windows scheduled defragmentation: disabled "
            L"(\\Microsoft\\Windows\\Defrag\\ScheduledDefrag)");
  EXPECT_EQ(WindowsDefragLines(facts)[1],
            L"Windows defragmentation schedule: no trigger of its "
            L"own (automatic maintenance starts it)");
  EXPECT_EQ(WindowsDefragLines(facts)[2], L"Windows defragmentation last run: never");
  facts.defrag_present = false;
  EXPECT_EQ(WindowsDefragLines(facts)[0],
            L"Windows scheduled defragmentation: not present "
            L"(\\Microsoft\\Windows\\Defrag\\ScheduledDefrag)");
}

// FILTER_AGGREGATE_STANDARD_INFORMATION entries for a minifilter.
void AppendFilterEntry(std::vector<uint8_t>& bytes, const std::wstring& name,
                       const std::wstring& altitude, bool last) {
  const size_t start = bytes.size();
  const size_t header = 4 + 4 + 4 + 4 + 4 + 8;
  const size_t size = (header + (name.size() + altitude.size()) * 2 + 7) / 8 * 8;
  bytes.resize(start + size, 0);
  uint8_t* entry = bytes.data() + start;
  const ULONG next = last ? 0 : static_cast<ULONG>(size), flags = 1;
  const USHORT lengths[4] = {USHORT(name.size() * 2), USHORT(header), USHORT(altitude.size() * 2),
                             USHORT(header + name.size() * 2)};
  std::memcpy(entry, &next, 4);
  std::memcpy(entry + 4, &flags, 4);
  std::memcpy(entry + 20, lengths, 8);
  std::memcpy(entry + header, name.data(), name.size() * 2);
  std::memcpy(entry + header + name.size() * 2, altitude.data(), altitude.size() * 2);
}

TEST(FilterDrivers, ListFromTheFilterManagersEntries) {
  std::vector<uint8_t> bytes;
  AppendFilterEntry(bytes, L"luafv", L"135000", false);
  AppendFilterEntry(bytes, L"WdFilter", L"328010", true);
  FilterDrivers drivers;
  drivers.filters = ParseFilterEntries(bytes.data(), bytes.size());
  ASSERT_EQ(drivers.filters.size(), 2u);
  drivers.filters[0].volumes = {L"C:"};
  drivers.filters[1].volumes = {L"C:", L"D:"};
  EXPECT_EQ(FilterDriverLines(drivers), (ReportList{L"File-system filter drivers: 2",
                                                    L"  WdFilter  altitude 328010  volumes C:, D:",
                                                    L"  luafv  altitude 135000  volumes C:"}));
  drivers.why = L"unknown (access denied)";
  EXPECT_EQ(FilterDriverLines(drivers),
            ReportList{L"File-system filter drivers: unknown (access denied)"});
}

TEST(StorageProfile, VolumeBlockTiesEventsToItsVolumeAndTimesOutTheRest) {
  StorageProfileFacts facts;
  facts.volumes_listed = true;
  facts.volumes = {{L"C:\\", L"C:\\", L"\\\\.\\C:"}, {L"D:\\", L"D:\\", L"\\\\.\\D:"}};
  VolumeFacts c;
  c.file_system = L"NTFS";
  c.cluster_size = L"4096 bytes";
  c.cluster_bytes = 4096;
  c.size = BytesValue(107374182400ull);
  c.free_space = FreeSpaceValue(5368709120ull, 107374182400ull);
  c.physical_disks = {L"0, Corsa SSD 512, bus NVMe"};
  c.disk_numbers = {0};
  c.media_type = L"SSD (no seek penalty)";
  c.trim_device = L"supported";
  c.dirty_bit = L"not set";
  c.free_extents = L"2";
  c.largest_free_extent = L"190 clusters (760.00 KB)";
  c.mft_size = BytesValue(262144);
  c.mft_zone = L"unknown (not NTFS)";
  c.shadow_copies = L"3";
  c.shadow_storage = L"none";
  c.smart = L"no failure predicted";
  facts.volume_facts = {c};
  facts.trim_system_done = true;
  facts.trim_system = L"on (DisableDeleteNotify = 0)";
  facts.disk_errors_done = true;
  facts.disk_errors.read = true;
  facts.disk_errors.events = {{L"  2026-12-08 00:00:00  disk  7", {L"\\Device\\Harddisk0\\DR0"}},
                              {L"  2026-12-07 00:00:00  atapi  11", {L"\\Device\\Ide\\IdePort0"}}};
  ProfileHolders holders{L"C:\\", L"D:\\", L"D:\\Corvane"};
  const ReportList lines = StorageProfileLines(facts, holders);
  const ReportList expected = {
      L"Machine",
      L"Windows scheduled defragmentation: unknown (timed out)",
      L"Windows defragmentation schedule: unknown (timed out)",
      L"Windows defragmentation last run: unknown (timed out)",
      L"Windows defragmentation service runs (last 30 days): unknown (timed out)",
      L"Product scheduled defragmentation: unknown (timed out)",
      L"System disk errors (last 30 days): 1",
      L"  2026-12-07 00:00:00  atapi  11",
      L"File-system filter drivers: unknown (timed out)",
      L"",
      L"Volume: C:\\",
      L"Holds: Windows",
      L"File system: NTFS",
      L"Cluster size: 4096 bytes",
      L"Size: 107374182400 bytes (100.00 GB)",
      L"Free space: 5368709120 bytes (5.0 %)",
      L"Physical disk: 0, Corsa SSD 512, bus NVMe",
      L"Media type: SSD (no seek penalty)",
      L"TRIM (device): supported",
      L"TRIM (system): on (DisableDeleteNotify = 0)",
      L"Dirty bit: not set",
      L"Free-space extents: 2",
      L"Largest free extent: 190 clusters (760.00 KB)",
      L"MFT size: 262144 bytes (256.00 KB)",
      L"MFT zone: unknown (not NTFS)",
      L"Shadow copies: 3",
      L"Shadow storage: none",
      L"Shadow copy note: clusters below 16 KB: defragmenting may make Windows delete shadow "
      L"copies",
      L"SMART: no failure predicted",
      L"Disk errors (last 30 days): 1",
      L"  2026-12-08 00:00:00  disk  7",
      L"",
      L"Volume: D:\\",
      L"Holds: Corvane",
  };
  ASSERT_GE(lines.size(), expected.size());
  EXPECT_EQ(ReportList(lines.begin(), lines.begin() + expected.size()), expected);
  EXPECT_EQ(lines[expected.size()], L"File system: unknown (timed out)");
  EXPECT_EQ(lines.back(), L"Disk errors (last 30 days): 0");
}

}  // namespace
}  // namespace velmora
