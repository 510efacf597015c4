#include "reports/registry/registry_class_ex.h"

#include <gtest/gtest.h>

#include "common/registry_value.h"
#include "support/registry_seed.h"
#include "support/test_support.h"

namespace velmora {
namespace {

using test::SeededKey;

constexpr wchar_t kTestKey[] = L"SOFTWARE\\VelmoraRegistryTest";

std::string Bytes(std::initializer_list<unsigned char> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A key with one value of every kind the class tells apart.
class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override {
    key_.Text(L"", L"default")
        .Text(L"text", L"C:\\dir \"quoted\"")
        .Text(L"expand", L"%SystemRoot%\\system32", REG_EXPAND_SZ)
        .Dword(L"dword", 255)
        .Dword(L"minus one", 0xFFFFFFFF)
        .Raw(L"binary", REG_BINARY, Bytes({0x01, 0xAB, 0x00}))
        .Raw(L"empty binary", REG_BINARY, "")
        .Raw(L"multi", REG_MULTI_SZ, test::Utf16LeBytes(std::wstring(L"ab\0c\0\0", 6)))
        .Qword(L"qword", 0x0102030405060708ULL)
        .Raw(L"none", REG_NONE, Bytes({0x7F}))
        .Raw(L"big endian", REG_DWORD_BIG_ENDIAN, Bytes({0, 0, 0, 1}))
        .Text(L"long", std::wstring(5000, L'x'))
        .Raw(L"unterminated", REG_SZ, test::Utf16LeBytes(L"no nul"))
        .Raw(L"two texts", REG_SZ, test::Utf16LeBytes(std::wstring(L"first\0second\0", 13)))
        .Raw(L"odd bytes", REG_SZ, test::Utf16LeBytes(L"ab") + "c")
        .Raw(L"wide dword", REG_DWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0}))
        .Raw(L"empty text", REG_SZ, "");
    registry_.SetRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry_.OpenKeyFull(kTestKey));
  }

  // As the exports take it: the kind first, then the text of that kind.
  std::wstring ValueAsText(const std::wstring& name, bool prefix) const {
    return registry_.ValueAsTextOfKind(name, registry_.ValueKind(name), prefix);
  }

  SeededKey key_{HKEY_LOCAL_MACHINE, kTestKey};
  TRegistry registry_;
};

TEST_F(RegistryValues, KindsFollowTheRegistryType) {
  EXPECT_EQ(registry_.ValueKind(L"text"), TRegDataKind::Text);
  EXPECT_EQ(registry_.ValueKind(L""), TRegDataKind::Text);
  EXPECT_EQ(registry_.ValueKind(L"expand"), TRegDataKind::ExpandText);
  EXPECT_EQ(registry_.ValueKind(L"dword"), TRegDataKind::Dword);
  EXPECT_EQ(registry_.ValueKind(L"binary"), TRegDataKind::Binary);
  for (const wchar_t* other : {L"multi", L"qword", L"none", L"big endian", L"missing"}) {
    EXPECT_EQ(registry_.ValueKind(other), TRegDataKind::Other) << other;
  }
}

TEST_F(RegistryValues, ReadTextTakesTheWholeTextUpToItsFirstNul) {
  EXPECT_EQ(registry_.ReadText(L""), L"default");
  EXPECT_EQ(registry_.ReadText(L"text"), L"C:\\dir \"quoted\"");
  EXPECT_EQ(registry_.ReadText(L"expand"), L"%SystemRoot%\\system32");
  EXPECT_EQ(registry_.ReadText(L"long"), std::wstring(5000, L'x'));
  EXPECT_EQ(registry_.ReadText(L"unterminated"), L"no nul");
  EXPECT_EQ(registry_.ReadText(L"two texts"), L"first");
  EXPECT_EQ(registry_.ReadText(L"odd bytes"), L"ab");
  EXPECT_EQ(registry_.ReadText(L"empty text"), L"");
  EXPECT_EQ(registry_.ReadText(L"missing"), L"");
}

TEST_F(RegistryValues, ReadTextRefusesOtherTypesWithTheValueName) {
  try {
    registry_.ReadText(L"dword");
    FAIL() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.message(), L"Invalid data type for 'dword'");
  }
  EXPECT_THROW(registry_.ReadText(L"binary"), ERegistryException);
  // Nothing to read, so nothing to refuse.
  EXPECT_EQ(registry_.ReadText(L"empty binary"), L"");
}

TEST_F(RegistryValues, ReadDwordAndReadBytes) {
  EXPECT_EQ(registry_.ReadDword(L"dword"), 255);
  EXPECT_EQ(registry_.ReadDword(L"minus one"), -1);
  EXPECT_THROW(registry_.ReadDword(L"text"), ERegistryException);
  EXPECT_THROW(registry_.ReadDword(L"wide dword"), ERegistryException);
  try {
    registry_.ReadDword(L"missing");
    FAIL() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.message(), L"Failed to get data for 'missing'");
  }

  BYTE buffer[8] = {};
  EXPECT_EQ(registry_.ReadBytes(L"binary", buffer, sizeof(buffer)), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), Bytes({0x01, 0xAB, 0x00}));
  EXPECT_EQ(registry_.ReadBytes(L"qword", buffer, sizeof(buffer)), 8u);
  EXPECT_EQ(registry_.ReadBytes(L"missing", buffer, sizeof(buffer)), 0u);
  EXPECT_THROW(registry_.ReadBytes(L"multi", buffer, 4), ERegistryException);
  EXPECT_THROW(registry_.ReadBytes(L"text", buffer, sizeof(buffer)), ERegistryException);
  EXPECT_THROW(registry_.ReadBytes(L"dword", buffer, sizeof(buffer)), ERegistryException);
}

TEST_F(RegistryValues, ValueAsTextWithAndWithoutPrefix) {
  EXPECT_EQ(ValueAsText(L"text", true), L"C:\\dir \"quoted\"");
  EXPECT_EQ(ValueAsText(L"long", true), std::wstring(5000, L'x'));
  EXPECT_EQ(ValueAsText(L"dword", true), L"dword:000000FF");
  EXPECT_EQ(ValueAsText(L"dword", false), L"255");
  EXPECT_EQ(ValueAsText(L"minus one", true), L"dword:FFFFFFFF");
  EXPECT_EQ(ValueAsText(L"minus one", false), L"-1");
  EXPECT_EQ(ValueAsText(L"binary", true), L"hex:01,AB,00");
  EXPECT_EQ(ValueAsText(L"binary", false), L"01,AB,00");
  EXPECT_EQ(ValueAsText(L"multi", true), L"hex:61,00,62,00,00,00,63,00,00,00,00,00");
  EXPECT_EQ(ValueAsText(L"qword", true), L"hex:08,07,06,05,04,03,02,01");
  EXPECT_EQ(ValueAsText(L"big endian", true), L"hex:00,00,00,01");
  EXPECT_EQ(ValueAsText(L"empty binary", true), L"");
  EXPECT_EQ(ValueAsText(L"missing", true), L"");
  // A DWORD with more than four bytes cannot be shown as one.
  EXPECT_EQ(ValueAsText(L"wide dword", true), kReadFailureMarker);
}

TEST_F(RegistryValues, ValueOfAnotherKindThanExpectedGivesTheMarker) {
  EXPECT_EQ(registry_.ValueAsTextOfKind(L"text", TRegDataKind::Binary, true), kReadFailureMarker);
  EXPECT_EQ(registry_.ValueAsTextOfKind(L"text", TRegDataKind::Dword, true), kReadFailureMarker);
  EXPECT_EQ(registry_.ValueAsTextOfKind(L"dword", TRegDataKind::Other, true), kReadFailureMarker);
  EXPECT_EQ(registry_.ValueAsTextOfKind(L"binary", TRegDataKind::Text, true), kReadFailureMarker);
  // Binary and the other types are all just bytes.
  EXPECT_EQ(registry_.ValueAsTextOfKind(L"qword", TRegDataKind::Binary, false),
            L"08,07,06,05,04,03,02,01");
  EXPECT_EQ(registry_.ValueAsTextOfKind(L"expand", TRegDataKind::Text, true),
            L"%SystemRoot%\\system32");
}

TEST_F(RegistryValues, LongBinaryDataStaysOnOneLine) {
  key_.Raw(L"long binary", REG_BINARY, std::string(300, '\x5A'));
  const std::wstring text = ValueAsText(L"long binary", true);
  EXPECT_EQ(text.size(), 4u + 300 * 3 - 1);
  EXPECT_EQ(text.substr(0, 10), L"hex:5A,5A,");
  EXPECT_EQ(text.find_first_of(L"\r\n \\"), std::wstring::npos);
}

// One value may cost at most 1 MiB of data, exactly 1 MiB included: beyond
// it, it is not read at all, whatever its kind. The sizes are written out so
// that a changed bound shows here.
constexpr DWORD kMebibyte = 1048576;

TEST_F(RegistryValues, ValuesOfEveryKindAreReadUpTo1MiBAndNotBeyond) {
  // Texts with their terminating NUL: 1 MiB, and 1 MiB + 1 (odd, so that the
  // registry may only add to it).
  const std::wstring text_at_bound(kMebibyte / 2 - 1, L't');
  key_.Raw(L"binary at the bound", REG_BINARY, std::string(kMebibyte, '\x5A'))
      .Raw(L"binary above", REG_BINARY, std::string(kMebibyte + 1, '\x5A'))
      .Raw(L"multi at the bound", REG_MULTI_SZ, std::string(kMebibyte, '\0'))
      .Raw(L"multi above", REG_MULTI_SZ, std::string(kMebibyte + 1, '\0'))
      .Text(L"text at the bound", text_at_bound)
      .Text(L"expand at the bound", text_at_bound, REG_EXPAND_SZ)
      .Raw(L"text above", REG_SZ, test::Utf16LeBytes(text_at_bound) + std::string("\0\0\0", 3));
  const size_t hex_units = 4 + 3 * size_t{kMebibyte} - 1;
  EXPECT_EQ(ValueAsText(L"binary at the bound", true).size(), hex_units);
  EXPECT_EQ(ValueAsText(L"multi at the bound", true).size(), hex_units);
  EXPECT_EQ(registry_.ReadText(L"text at the bound"), text_at_bound);
  EXPECT_EQ(registry_.ReadText(L"expand at the bound"), text_at_bound);
  EXPECT_EQ(ReadRegistryText(key_.handle(), L"text at the bound"), text_at_bound);

  EXPECT_EQ(ValueAsText(L"binary above", true), kReadFailureMarker);
  EXPECT_EQ(ValueAsText(L"multi above", true), kReadFailureMarker);
  EXPECT_EQ(ValueAsText(L"text above", true), kReadFailureMarker);
  EXPECT_EQ(ReadRegistryText(key_.handle(), L"text above"), L"");
  EXPECT_FALSE(ReadRegistryData(key_.handle(), L"binary above"));
  try {
    registry_.ReadText(L"text above");
    FAIL() << "no exception";
  } catch (const ERegistryValueTooLarge& e) {
    EXPECT_GE(e.size(), kMebibyte + 1);
  }
}

TEST_F(RegistryValues, ListValuesInRegistryOrderWithTheDefaultValue) {
  std::vector<std::wstring> names = {L"stale"};
  registry_.ListValues(names);
  EXPECT_EQ(names.size(), 17u);
  EXPECT_NE(std::find(names.begin(), names.end(), L""), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), L"stale"), names.end());
  // The same order as the platform enumerates them.
  for (DWORD i = 0; i < names.size(); ++i) {
    wchar_t name[64];
    DWORD units = 64;
    ASSERT_EQ(::RegEnumValueW(key_.handle(), i, name, &units, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(names[i], std::wstring(name, units));
  }
}

TEST_F(RegistryValues, ListValuesHandlesWaitingMessagesOfTheThread) {
  test::MessageRecorder recorder(WM_APP + 7);
  ::PostMessageW(recorder.handle(), WM_APP + 7, 1, 2);
  std::vector<std::wstring> names;
  registry_.ListValues(names);
  ASSERT_EQ(recorder.received().size(), 1u);
  EXPECT_EQ(recorder.received()[0], std::make_pair(WPARAM{1}, LPARAM{2}));
}

TEST(RegistrySubkeys, Wow6432NodeIsLeftOutInAnyCase) {
  SeededKey key(HKEY_LOCAL_MACHINE, kTestKey);
  key.Subkey(L"Alpha").Subkey(L"WOW6432NODE").Subkey(L" wow6432node ").Subkey(L"Wow6432Node2");
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyFull(kTestKey));
  EXPECT_TRUE(registry.HasChildKeys());
  std::vector<std::wstring> names;
  registry.ListSubkeys(names);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"Wow6432Node2"}));
  ASSERT_TRUE(registry.OpenKeyFull(L"Alpha"));
  EXPECT_FALSE(registry.HasChildKeys());
  registry.ListSubkeys(names);
  EXPECT_TRUE(names.empty());
}

// Names holding a NUL are listed as the registry holds them and reach exactly
// their own value or key, which the registry API would take only up to the
// NUL: another value, another key, or the key itself again.
TEST(RegistryNames, NamesHoldingNulReachTheirOwnValueOrKey) {
  const std::wstring hidden_value(L"shown\0hidden", 12);
  const std::wstring hidden_key(L"\0loop", 5);
  SeededKey key(HKEY_LOCAL_MACHINE, kTestKey);
  key.Text(L"shown", L"the visible one")
      .Text(hidden_value, L"the hidden one")
      .Dword(std::wstring(L"d\0", 2), 7)
      .Subkey(hidden_key);
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyFull(kTestKey));
  std::vector<std::wstring> names;
  registry.ListValues(names);
  ASSERT_NE(std::find(names.begin(), names.end(), hidden_value), names.end());
  EXPECT_EQ(registry.ReadText(hidden_value), L"the hidden one");
  EXPECT_EQ(registry.ValueAsTextOfKind(hidden_value, TRegDataKind::Text, true), L"the hidden one");
  EXPECT_EQ(registry.ReadDword(std::wstring(L"d\0", 2)), 7);
  EXPECT_THROW(registry.ReadDword(std::wstring(L"d\0x", 3)), ERegistryException);
  registry.ListSubkeys(names);
  EXPECT_EQ(names, std::vector<std::wstring>{hidden_key});
  ASSERT_TRUE(registry.OpenKeyRead(hidden_key));
  EXPECT_EQ(registry.CurrentPath(), std::wstring(kTestKey) + L"\\" + hidden_key);
  // Not the parent, whose values it would show under the cut name.
  registry.ListValues(names);
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(
      registry.OpenKeyFull(std::wstring(L"\\") + kTestKey + std::wstring(L"\\\0other", 7)));
  EXPECT_TRUE(registry.OpenKeyFull(std::wstring(L"\\") + kTestKey + L"\\" + hidden_key));
  EXPECT_EQ(ShownRegistryName(hidden_value), L"shown\\0hidden");
}

TEST(RegistryOpen, AbsoluteAndRelativePaths) {
  SeededKey key(HKEY_LOCAL_MACHINE, kTestKey);
  key.Subkey(L"Child");
  SeededKey grandchild(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Child\\Grand");
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyFull(L"\\SOFTWARE\\VelmoraRegistryTest\\"));
  EXPECT_EQ(registry.CurrentPath(), L"SOFTWARE\\VelmoraRegistryTest\\");
  ASSERT_TRUE(registry.OpenKeyFull(L"\\SOFTWARE\\VelmoraRegistryTest"));
  ASSERT_TRUE(registry.OpenKeyFull(L"Child"));
  EXPECT_EQ(registry.CurrentPath(), L"SOFTWARE\\VelmoraRegistryTest\\Child");
  ASSERT_TRUE(registry.OpenKeyRead(L"Grand"));
  EXPECT_EQ(registry.CurrentPath(), L"SOFTWARE\\VelmoraRegistryTest\\Child\\Grand");

  // A failed open keeps the key that was open.
  const HKEY open = registry.CurrentKey();
  EXPECT_FALSE(registry.OpenKeyFull(L"Missing"));
  EXPECT_FALSE(registry.OpenKeyRead(L"\\SOFTWARE\\VelmoraRegistryMissing"));
  EXPECT_EQ(registry.CurrentKey(), open);
  EXPECT_EQ(registry.CurrentPath(), L"SOFTWARE\\VelmoraRegistryTest\\Child\\Grand");

  registry.CloseCurrentKey();
  EXPECT_EQ(registry.CurrentKey(), nullptr);
  EXPECT_EQ(registry.CurrentPath(), L"");
  // With no key open, a relative path starts at the root.
  ASSERT_TRUE(registry.OpenKeyFull(L"SOFTWARE\\VelmoraRegistryTest\\Child"));
  EXPECT_EQ(registry.CurrentPath(), L"SOFTWARE\\VelmoraRegistryTest\\Child");
}

// A link on the way to a key, not only at its end, is never followed when
// links are to be opened as themselves; a child opened below its parent's
// handle never follows one.
TEST(RegistryOpen, LinksAreRefusedAtEveryLevel) {
  SeededKey key(HKEY_LOCAL_MACHINE, kTestKey);
  SeededKey inner(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Target\\Inner");
  inner.Text(L"secret", L"behind the link");
  key.Link(L"Via", test::NativeKeyPath(HKEY_LOCAL_MACHINE, std::wstring(kTestKey) + L"\\Target"));
  const std::wstring through_link = std::wstring(kTestKey) + L"\\Via\\Inner";
  TRegistry following;
  following.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(following.OpenKeyRead(through_link));
  EXPECT_EQ(following.ReadText(L"secret"), L"behind the link");

  TRegistry refusing;
  refusing.SetOpenLinks(true);
  refusing.SetRoot(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(refusing.OpenKeyRead(through_link));
  EXPECT_FALSE(refusing.OpenKeyFull(L"\\" + through_link));
  ASSERT_TRUE(refusing.OpenKeyFull(std::wstring(kTestKey) + L"\\Via"));
  EXPECT_TRUE(refusing.IsLinkKey());

  ASSERT_TRUE(following.OpenKeyFull(L"\\" + std::wstring(kTestKey)));
  const UniqueRegKey parent = following.ReleaseCurrentKey();
  EXPECT_EQ(following.CurrentKey(), nullptr);
  ASSERT_TRUE(following.OpenChildKey(parent.get(), kTestKey, L"Via"));
  EXPECT_TRUE(following.IsLinkKey());
  EXPECT_EQ(following.CurrentPath(), std::wstring(kTestKey) + L"\\Via");
  EXPECT_FALSE(following.OpenChildKey(parent.get(), kTestKey, L"Via\\Inner"));
}

TEST(RegistryOpen, SetRootClosesTheKeyOnlyForAnotherRoot) {
  SeededKey key(HKEY_LOCAL_MACHINE, kTestKey);
  TRegistry registry;
  EXPECT_EQ(registry.RootKey(), HKEY_CURRENT_USER);
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyFull(kTestKey));
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  EXPECT_NE(registry.CurrentKey(), nullptr);
  registry.SetRoot(HKEY_CURRENT_USER);
  EXPECT_EQ(registry.CurrentKey(), nullptr);
  EXPECT_EQ(registry.RootKey(), HKEY_CURRENT_USER);
}

TEST(RegistryOpen, ReadOpenKeepsTheMaskThatSucceeded) {
  SeededKey key(HKEY_LOCAL_MACHINE, kTestKey);
  TRegistry registry;
  EXPECT_EQ(registry.Access(), static_cast<REGSAM>(KEY_ALL_ACCESS));
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyRead(kTestKey));
  EXPECT_EQ(registry.Access(), static_cast<REGSAM>(KEY_READ | KEY_WOW64_64KEY));
  EXPECT_EQ(TRegistry(KEY_READ).Access(), static_cast<REGSAM>(KEY_READ));
}

TEST(RegistryOpen, ReadOpenFallsBackToFewerRights) {
  SeededKey key(HKEY_LOCAL_MACHINE, kTestKey);
  ASSERT_TRUE(test::RestrictKeyAccess(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY));
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  if (registry.OpenKeyFull(kTestKey)) {
    GTEST_SKIP() << "this registry does not enforce key security";
  }
  ASSERT_TRUE(registry.OpenKeyRead(kTestKey));
  EXPECT_EQ(registry.Access(), static_cast<REGSAM>(STANDARD_RIGHTS_READ | KEY_QUERY_VALUE |
                                                   KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY));
}

// The test build stands for the 32-bit program on 64-bit Windows: plain paths
// are read in the 64-bit view, paths naming Wow6432Node in the 32-bit view.
TEST(RegistryView, PathsNamingWow6432NodeReachThe32BitView) {
  SeededKey wide(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY);
  SeededKey narrow(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_32KEY);
  wide.Text(L"view", L"64");
  narrow.Text(L"view", L"32");
  TRegistry registry;
  ASSERT_TRUE(registry.Is64BitWindows());
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyFull(L"\\SOFTWARE\\VelmoraRegistryTest"));
  EXPECT_EQ(registry.ReadText(L"view"), L"64");
  EXPECT_TRUE(registry.Access() & KEY_WOW64_64KEY);
  ASSERT_TRUE(registry.OpenKeyFull(L"\\SOFTWARE\\WOW6432Node\\VelmoraRegistryTest"));
  EXPECT_EQ(registry.ReadText(L"view"), L"32");
  EXPECT_FALSE(registry.Access() & KEY_WOW64_64KEY);
  // Relative paths are judged together with the open key's path.
  ASSERT_TRUE(registry.OpenKeyRead(L"\\SOFTWARE\\Wow6432Node"));
  ASSERT_TRUE(registry.OpenKeyRead(L"VelmoraRegistryTest"));
  EXPECT_EQ(registry.ReadText(L"view"), L"32");
}

}  // namespace
}  // namespace velmora
