#include "reports/registry/registry_exports.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "common/handles.h"
#include "common/strings.h"
#include "reports/registry/registry_class_ex.h"
#include "support/registry_seed.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::SeededKey;

constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kUninstall32[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kServices[] = L"SYSTEM\\CurrentControlSet\\services";

std::wstring Child(const std::wstring& parent, const std::wstring& name) {
  return parent + L"\\" + name;
}

std::wstring KeyLine(const std::wstring& root, const std::wstring& path) {
  return L"[" + root + L"\\" + path + L"]";
}

const std::wstring kLongText = std::wstring(4999, L'v') + L"\\";

// One value of every kind, in an order that both Windows (creation order) and
// Wine (name order) enumerate alike.
void SeedEveryKind(SeededKey& key) {
  key.Text(L"", L"Velmora test entry")
      .Text(L"a text", L"C:\\Program Files\\Velmora \"beta\"")
      .Text(L"b expand", L"%ProgramFiles%\\Velmora\\helper.exe", REG_EXPAND_SZ)
      .Dword(L"c dword", 255)
      .Dword(L"d dword", 0xFFFFFFFF)
      .Raw(L"e binary", REG_BINARY, std::string("\x01\xAB\x00", 3))
      .Raw(L"f empty binary", REG_BINARY, "")
      .Raw(L"g multi", REG_MULTI_SZ, test::Utf16LeBytes(std::wstring(L"one\0two\0\0", 9)))
      .Qword(L"h qword", 0x1122334455667788ULL)
      .Text(L"i long", kLongText)
      .Text(L"j empty text", L"");
}

// Lines of a key seeded by SeedEveryKind, in the escaped form.
std::vector<std::wstring> EscapedValueLines() {
  return {
      L"\"\"=\"Velmora test entry\"",
      L"\"a text\"=\"C:\\\\Program Files\\\\Velmora \"beta\"\"",
      L"\"b expand\"=\"%ProgramFiles%\\\\Velmora\\\\helper.exe\"",
      L"\"c dword\"=dword:000000FF",
      L"\"d dword\"=dword:FFFFFFFF",
      L"\"e binary\"=hex:01,AB,00",
      L"\"f empty binary\"=",
      L"\"g multi\"=hex:6F,00,6E,00,65,00,00,00,74,00,77,00,6F,00,00,00,00,00",
      L"\"h qword\"=hex:88,77,66,55,44,33,22,11",
      L"\"i long\"=\"" + std::wstring(4999, L'v') + L"\\\\\"",
      L"\"j empty text\"=\"\"",
  };
}

// The same key in the services form: text as stored, no binary or other values.
std::vector<std::wstring> ServicesValueLines() {
  return {
      L"\"\"=\"Velmora test entry\"",
      L"\"a text\"=\"C:\\Program Files\\Velmora \"beta\"\"",
      L"\"b expand\"=\"%ProgramFiles%\\Velmora\\helper.exe\"",
      L"\"c dword\"=dword:000000FF",
      L"\"d dword\"=dword:FFFFFFFF",
      L"\"i long\"=\"" + kLongText + L"\"",
      L"\"j empty text\"=\"\"",
  };
}

// A seeded tree: every kind of value, a child with a grandchild, a subkey
// named WOW6432NODE that must never be entered, and a last empty subkey.
class SeededTree {
 public:
  SeededTree(const std::wstring& path) : root_(HKEY_LOCAL_MACHINE, path) {
    SeedEveryKind(root_);
    child_.Text(L"path", L"C:\\x");
    grandchild_.Dword(L"n", 1);
    hidden_.Text(L"hidden", L"never exported");
    root_.Subkey(L"Zed");
  }

  // The whole tree as the given form writes it under the given key-line path.
  std::vector<std::wstring> Expected(const std::wstring& root_name, bool escaped) const {
    const std::wstring& path = root_.path();
    std::vector<std::wstring> lines = {L"", KeyLine(root_name, path)};
    const auto values = escaped ? EscapedValueLines() : ServicesValueLines();
    lines.insert(lines.end(), values.begin(), values.end());
    const std::wstring child = Child(path, L"Child");
    lines.insert(lines.end(), {L"", KeyLine(root_name, child),
                               escaped ? L"\"path\"=\"C:\\\\x\"" : L"\"path\"=\"C:\\x\"", L"",
                               KeyLine(root_name, Child(child, L"Grand")), L"\"n\"=dword:00000001",
                               L"", KeyLine(root_name, Child(path, L"Zed"))});
    return lines;
  }

 private:
  SeededKey root_;
  SeededKey child_{HKEY_LOCAL_MACHINE, Child(root_.path(), L"Child")};
  SeededKey grandchild_{HKEY_LOCAL_MACHINE, Child(child_.path(), L"Grand")};
  SeededKey hidden_{HKEY_LOCAL_MACHINE, Child(root_.path(), L"WOW6432NODE")};
};

// The blank line, key line and value lines of the key at `path` and of every key below it.
std::vector<std::wstring> BlocksOf(const ReportList& list, const std::wstring& root_name,
                                   const std::wstring& path) {
  const std::wstring own = KeyLine(root_name, path);
  const std::wstring below = own.substr(0, own.size() - 1) + L"\\";
  std::vector<std::wstring> lines;
  bool inside = false;
  for (size_t i = 0; i < list.size(); ++i) {
    if (!list[i].empty() && list[i][0] == L'[') {
      inside = list[i] == own || list[i].rfind(below, 0) == 0;
      if (inside) lines.push_back(L"");
    }
    if (inside && !list[i].empty()) lines.push_back(list[i]);
  }
  return lines;
}

size_t IndexOf(const ReportList& list, const std::wstring& line) {
  return static_cast<size_t>(std::find(list.begin(), list.end(), line) - list.begin());
}

// Every key line has exactly one blank line before it, and blank lines stand nowhere else.
void ExpectBlankLinesOnlyBeforeKeyLines(const ReportList& list, size_t first) {
  for (size_t i = first; i < list.size(); ++i) {
    if (list[i].empty()) {
      ASSERT_LT(i + 1, list.size()) << "blank line at the end";
      EXPECT_EQ(list[i + 1].substr(0, 1), L"[") << i;
    } else if (list[i][0] == L'[') {
      ASSERT_GT(i, first);
      EXPECT_EQ(list[i - 1], L"") << list[i];
    } else {
      EXPECT_EQ(list[i][0], L'"') << list[i];
    }
  }
}

TEST(UninstallExport, EveryKindOfValueInTheEscapedForm) {
  const std::wstring path = Child(kUninstall, L"VelmoraExportTest");
  SeededTree tree(path);
  ReportList list;
  ExportUninstallKeys(list);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0], L"");
  EXPECT_EQ(list[1], KeyLine(L"HKEY_LOCAL_MACHINE", kUninstall));
  EXPECT_EQ(BlocksOf(list, L"HKEY_LOCAL_MACHINE", path),
            tree.Expected(L"HKEY_LOCAL_MACHINE", true));
  ExpectBlankLinesOnlyBeforeKeyLines(list, 0);
  for (const std::wstring& line : list) {
    EXPECT_EQ(line.find(L"never exported"), std::wstring::npos);
  }
}

// The test build counts as 64-bit Windows: the 32-bit twins follow their trees.
TEST(UninstallExport, TreesInOrderWithThe32BitTwinsByTheirOwnPath) {
  SeededKey machine(HKEY_LOCAL_MACHINE, Child(kUninstall, L"VelmoraMachine"));
  SeededKey machine32(HKEY_LOCAL_MACHINE, Child(kUninstall, L"VelmoraMachine32"), KEY_WOW64_32KEY);
  SeededKey user(HKEY_CURRENT_USER, Child(kUninstall, L"VelmoraUser"));
  SeededKey user32(HKEY_CURRENT_USER, Child(kUninstall32, L"VelmoraUser32"));
  machine32.Text(L"DisplayName", L"32-bit entry");
  ReportList list;
  ExportUninstallKeys(list);

  const size_t machine_at =
      IndexOf(list, KeyLine(L"HKEY_LOCAL_MACHINE", Child(kUninstall, L"VelmoraMachine")));
  const size_t twin_root_at = IndexOf(list, KeyLine(L"HKEY_LOCAL_MACHINE", kUninstall32));
  const size_t machine32_at =
      IndexOf(list, KeyLine(L"HKEY_LOCAL_MACHINE", Child(kUninstall32, L"VelmoraMachine32")));
  const size_t user_root_at = IndexOf(list, KeyLine(L"HKEY_CURRENT_USER", kUninstall));
  const size_t user_at =
      IndexOf(list, KeyLine(L"HKEY_CURRENT_USER", Child(kUninstall, L"VelmoraUser")));
  const size_t user32_at =
      IndexOf(list, KeyLine(L"HKEY_CURRENT_USER", Child(kUninstall32, L"VelmoraUser32")));
  ASSERT_LT(user32_at, list.size());
  EXPECT_LT(machine_at, twin_root_at);
  EXPECT_LT(twin_root_at, machine32_at);
  EXPECT_LT(machine32_at, user_root_at);
  EXPECT_LT(user_root_at, user_at);
  EXPECT_LT(user_at, user32_at);
  EXPECT_EQ(list[machine32_at + 1], L"\"DisplayName\"=\"32-bit entry\"");
  // The 32-bit entry is not in the 64-bit tree.
  EXPECT_EQ(IndexOf(list, KeyLine(L"HKEY_LOCAL_MACHINE", Child(kUninstall, L"VelmoraMachine32"))),
            list.size());
  ExpectBlankLinesOnlyBeforeKeyLines(list, 0);
}

TEST(BootTimeExport, BothProductServiceKeysInOrder) {
  const std::wstring boot_time = Child(kServices, L"CorvaneBootTime");
  SeededTree tree(boot_time);
  SeededKey driver(HKEY_LOCAL_MACHINE, Child(kServices, L"CorvaneDriver"));
  driver.Dword(L"Start", 0);
  ReportList list;
  ExportBootTimeKeys(list);
  std::vector<std::wstring> expected = tree.Expected(L"HKEY_LOCAL_MACHINE", true);
  expected.insert(expected.end(), {L"", KeyLine(L"HKEY_LOCAL_MACHINE", driver.path()),
                                   L"\"Start\"=dword:00000000"});
  EXPECT_EQ(list, expected);
}

TEST(BootTimeExport, MissingServiceKeysAddNothing) {
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Child(kServices, L"CorvaneBootTime"), KEY_WOW64_64KEY);
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Child(kServices, L"CorvaneDriver"), KEY_WOW64_64KEY);
  ReportList list = {L"Windows Registry Editor Version 5.00"};
  ExportBootTimeKeys(list);
  EXPECT_EQ(list, ReportList{L"Windows Registry Editor Version 5.00"});
}

TEST(ServicesExport, SeparatorThenTheServicesTreeInTheServicesForm) {
  const std::wstring boot_time = Child(kServices, L"CorvaneBootTime");
  SeededTree tree(boot_time);
  ReportList list;
  ExportServicesKey(list);
  ASSERT_GE(list.size(), 3u);
  EXPECT_EQ(list[0], kSeparatorLine);
  EXPECT_EQ(list[1], L"");
  EXPECT_EQ(list[2], KeyLine(L"HKEY_LOCAL_MACHINE", kServices));
  EXPECT_EQ(BlocksOf(list, L"HKEY_LOCAL_MACHINE", boot_time),
            tree.Expected(L"HKEY_LOCAL_MACHINE", false));
  ExpectBlankLinesOnlyBeforeKeyLines(list, 1);
}

// A key that refuses full access even to an administrator is left out with
// everything below it; the export goes on with the next key.
TEST(UninstallExport, KeyRefusingFullAccessIsLeftOutWithItsSubkeys) {
  SeededKey guarded(HKEY_LOCAL_MACHINE, Child(kUninstall, L"VelmoraGuarded"));
  guarded.Text(L"secret", L"x").Subkey(L"Inner");
  SeededKey next(HKEY_LOCAL_MACHINE, Child(kUninstall, L"VelmoraGuardedNext"));
  ASSERT_TRUE(test::RestrictKeyAccess(HKEY_LOCAL_MACHINE, guarded.path(), KEY_WOW64_64KEY));
  ReportList list;
  ExportUninstallKeys(list);
  for (const std::wstring& line : list) {
    EXPECT_EQ(line.find(L"VelmoraGuarded]"), std::wstring::npos);
    EXPECT_EQ(line.find(L"VelmoraGuarded\\Inner"), std::wstring::npos);
  }
  EXPECT_LT(IndexOf(list, KeyLine(L"HKEY_LOCAL_MACHINE", next.path())), list.size());
}

// Names holding a NUL, as programs that hide their entries make them: each
// value and key is read as itself (never as the one its cut name names: for
// "\0", the key itself again without end), and shown with "\0".
TEST(UninstallExport, NamesHoldingNulAreShownAndReadAsThemselves) {
  SeededKey hiding(HKEY_LOCAL_MACHINE, Child(kUninstall, L"VelmoraHiding"));
  hiding.Text(L"shown", L"visible")
      .Text(std::wstring(L"shown\0hidden", 12), L"secret")
      .Subkey(std::wstring(L"\0", 1))
      .Subkey(std::wstring(L"a\0b", 3));
  SeededKey next(HKEY_LOCAL_MACHINE, Child(kUninstall, L"VelmoraHidingNext"));
  ReportList list;
  ExportUninstallKeys(list);
  const size_t at = IndexOf(list, KeyLine(L"HKEY_LOCAL_MACHINE", hiding.path()));
  ASSERT_LT(at + 8, list.size());
  EXPECT_EQ(
      std::vector<std::wstring>(list.begin() + at + 1, list.begin() + at + 9),
      (std::vector<std::wstring>{L"\"shown\"=\"visible\"", L"\"shown\\0hidden\"=\"secret\"", L"",
                                 KeyLine(L"HKEY_LOCAL_MACHINE", hiding.path() + L"\\\\0"), L"",
                                 KeyLine(L"HKEY_LOCAL_MACHINE", hiding.path() + L"\\a\\0b"), L"",
                                 KeyLine(L"HKEY_LOCAL_MACHINE", next.path())}));
}

// Two link keys under the user's own uninstall entry, each leading back to
// it: each is written with its target, and neither is entered.
TEST(UninstallExport, LinkKeysAreWrittenButNeverEntered) {
  SeededKey entry(HKEY_CURRENT_USER, Child(kUninstall, L"VelmoraLinks"));
  const std::wstring target = test::NativeKeyPath(HKEY_CURRENT_USER, entry.path());
  entry.Text(L"DisplayName", L"links").Link(L"Back A", target).Link(L"Back B", target);
  ReportList list;
  ExportUninstallKeys(list);
  std::wstring link_value = L"\"SymbolicLinkValue\"=hex:";
  AppendHexBytes(link_value, reinterpret_cast<const BYTE*>(target.data()), target.size() * 2);
  EXPECT_EQ(BlocksOf(list, L"HKEY_CURRENT_USER", entry.path()),
            (std::vector<std::wstring>{
                L"", KeyLine(L"HKEY_CURRENT_USER", entry.path()), L"\"DisplayName\"=\"links\"", L"",
                KeyLine(L"HKEY_CURRENT_USER", Child(entry.path(), L"Back A")), link_value, L"",
                KeyLine(L"HKEY_CURRENT_USER", Child(entry.path(), L"Back B")), link_value}));
}

// Another program may replace a value while the export reads it. Whatever it
// catches, the line is a sound one and the export is never cut short.
TEST(BootTimeExport, ValueChangingTypeDuringTheExportNeverEndsIt) {
  SeededKey boot_time(HKEY_LOCAL_MACHINE, Child(kServices, L"CorvaneBootTime"));
  boot_time.Text(L"flip", L"text").Text(L"zz after", L"still here");
  SeededKey driver(HKEY_LOCAL_MACHINE, Child(kServices, L"CorvaneDriver"));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    UniqueRegKey key;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, boot_time.path().c_str(), 0, KEY_SET_VALUE, key.put());
    const BYTE bytes[] = {1, 2};
    const std::string text = test::Utf16LeBytes(std::wstring(L"text", 5));
    for (bool as_text = false; !stop; as_text = !as_text) {
      ::RegSetValueExW(key.get(), L"flip", 0, as_text ? REG_SZ : REG_BINARY,
                       as_text ? reinterpret_cast<const BYTE*>(text.data()) : bytes,
                       as_text ? static_cast<DWORD>(text.size()) : 2);
    }
  });
  int markers = 0;
  for (int run = 0; run < 400; ++run) {
    ReportList list;
    ExportBootTimeKeys(list);
    ASSERT_EQ(list.size(), 6u);
    const std::wstring& flip = list[2];
    EXPECT_TRUE(flip == L"\"flip\"=\"text\"" || flip == L"\"flip\"=hex:01,02" ||
                flip == L"\"flip\"=velmorareaderror")
        << flip;
    markers += flip == L"\"flip\"=velmorareaderror";
    EXPECT_EQ(list[3], L"\"zz after\"=\"still here\"");
    EXPECT_EQ(list[5], KeyLine(L"HKEY_LOCAL_MACHINE", driver.path()));
  }
  stop = true;
  writer.join();
  ::testing::Test::RecordProperty("read_failure_markers", markers);
}

// Many large values: the export stops at its budget of 8 Mi characters and
// ends with a marker of what it left out, keys and values, all its trees on.
TEST(BootTimeExport, ExportStopsAtItsBudgetWithAMarker) {
  const std::string mebibyte(1048576, '\x5A');
  SeededKey boot_time(HKEY_LOCAL_MACHINE, Child(kServices, L"CorvaneBootTime"));
  boot_time.Raw(L"b1", REG_BINARY, mebibyte)
      .Raw(L"b2", REG_BINARY, mebibyte)
      .Raw(L"b3", REG_BINARY, mebibyte)
      .Text(L"z", L"small")
      .Subkey(L"Inner");
  SeededKey driver(HKEY_LOCAL_MACHINE, Child(kServices, L"CorvaneDriver"));
  driver.Dword(L"Start", 1);
  ReportList list;
  ExportBootTimeKeys(list);
  std::wstring hex = L"hex:";
  AppendHexBytes(hex, reinterpret_cast<const BYTE*>(mebibyte.data()), mebibyte.size());
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[1], KeyLine(L"HKEY_LOCAL_MACHINE", boot_time.path()));
  EXPECT_EQ(list[2], L"\"b1\"=" + hex);
  EXPECT_EQ(list[3], L"\"b2\"=" + hex);
  EXPECT_EQ(list[4],
            L"; Left out from here, as an export holds at most 8388608 characters: keys 2, "
            L"values 3");
}

// What Wine's registry editor exports for a key, as lines: its header left
// out, continuation lines joined, type tags and the case of hex digits set aside.
std::vector<std::wstring> RegeditExport(const std::wstring& key) {
  test::ScratchFolder folder;
  const std::wstring file = folder.path() + L"peer.reg";
  std::wstring command = L"regedit.exe /E \"" + file + L"\" \"" + key + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return {L"regedit did not start"};
  }
  UniqueHandle process_handle(process.hProcess);
  UniqueHandle thread_handle(process.hThread);
  ::WaitForSingleObject(process.hProcess, 60000);
  const std::string bytes = test::ReadBytes(file);
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE") return {L"no UTF-16 export"};
  std::wstring text((bytes.size() - 2) / 2, L'\0');
  std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    std::wstring line = text.substr(start, end - start);
    if (!lines.empty() && !lines.back().empty() && lines.back().back() == L'\\' &&
        line.rfind(L"  ", 0) == 0) {
      lines.back().pop_back();
      lines.back() += line.substr(2);
    } else {
      lines.push_back(line);
    }
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (!lines.empty()) lines.erase(lines.begin());  // the header
  return lines;
}

// Value text outside quotes compared without regard to the case of hex digits
// and without a type tag such as hex(2).
std::wstring Normalized(const std::wstring& line) {
  const size_t equals = line.find(L"\"=");
  if (equals == std::wstring::npos || line.compare(equals + 2, 1, L"\"") == 0) return line;
  std::wstring value = ToLower(line.substr(equals + 2));
  if (value.rfind(L"hex(", 0) == 0) value = L"hex" + value.substr(value.find(L')') + 1);
  return line.substr(0, equals + 2) + value;
}

TEST(UninstallExport, MatchesTheRegistryEditorsOwnExport) {
  const std::wstring path = Child(kUninstall, L"VelmoraPeer");
  SeededKey key(HKEY_LOCAL_MACHINE, path);
  std::string long_bytes;
  for (int i = 0; i < 60; ++i) long_bytes.push_back(static_cast<char>(i * 7));
  key.Text(L"DisplayName", L"Velmora Peer")
      .Text(L"InstallLocation", L"C:\\Program Files\\Velmora\\")
      .Dword(L"NoModify", 1)
      .Dword(L"Size", 0xFEDCBA98)
      .Raw(L"Signature", REG_BINARY, long_bytes);
  SeededKey sub(HKEY_LOCAL_MACHINE, Child(path, L"Parts"));
  sub.Raw(L"Flags", REG_BINARY, std::string("\x00\xFF", 2)).Text(L"Name", L"part\\one");

  ReportList list;
  ExportUninstallKeys(list);
  std::vector<std::wstring> ours = BlocksOf(list, L"HKEY_LOCAL_MACHINE", path);
  std::vector<std::wstring> peer = RegeditExport(L"HKEY_LOCAL_MACHINE\\" + path);
  ASSERT_EQ(ours.size(), 11u);
  std::transform(ours.begin(), ours.end(), ours.begin(), Normalized);
  std::transform(peer.begin(), peer.end(), peer.begin(), Normalized);
  EXPECT_EQ(ours, peer);
}

}  // namespace
}  // namespace velmora
