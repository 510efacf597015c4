#include "reports/registry/bho_report.h"

#include <optional>

#include <gtest/gtest.h>

#include "support/registry_seed.h"

namespace velmora {
namespace {

using test::SeededKey;

constexpr wchar_t kBhoKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr wchar_t kClsidKey[] = L"SOFTWARE\\Classes\\CLSID\\";

const ReportList kHeading = {L"", L"===== BHOs =====", L""};

// Each class's class key and server key, removed again at the end.
struct SeededClass {
  SeededClass(const std::wstring& id) : key(HKEY_LOCAL_MACHINE, kClsidKey + id) {}
  SeededKey& Server() {
    server.emplace(HKEY_LOCAL_MACHINE, key.path() + L"\\InprocServer32");
    return *server;
  }
  SeededKey key;
  std::optional<SeededKey> server;
};

std::wstring ClassId(int n) {
  return L"{5E1F0000-0000-0000-0000-00000000000" + std::to_wstring(n) + L"}";
}

TEST(BhoReport, NoneRegisteredGivesTheHeadingOnly) {
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, kBhoKey, KEY_WOW64_64KEY);
  EXPECT_EQ(GetBhoReport(), kHeading);
  SeededKey empty(HKEY_LOCAL_MACHINE, kBhoKey);
  EXPECT_EQ(GetBhoReport(), kHeading);
}

TEST(BhoReport, OneLinePerClassInRegistryOrder) {
  SeededKey bho(HKEY_LOCAL_MACHINE, kBhoKey);
  for (int n = 1; n <= 5; ++n) bho.Subkey(ClassId(n));
  // 1 has no class key at all.
  SeededClass toolbar(ClassId(2));
  toolbar.key.Text(L"", L"Velmora Toolbar");
  toolbar.Server().Text(L"", L"%ProgramFiles%\\Velmora\\bho.dll", REG_EXPAND_SZ);
  // A description that is not text gives an empty part, not a failed report.
  SeededClass odd(ClassId(3));
  odd.key.Dword(L"", 7);
  odd.Server().Text(L"", L"C:\\bho3.dll");
  SeededClass verbose(ClassId(4));
  verbose.key.Text(L"", std::wstring(5000, L'd'));
  SeededClass serverless(ClassId(5));
  serverless.key.Text(L"", L"No server");
  serverless.Server().Raw(L"", REG_BINARY, "\x01");

  ReportList expected = kHeading;
  expected.insert(expected.end(),
                  {L", ", L"Velmora Toolbar, %ProgramFiles%\\Velmora\\bho.dll", L", C:\\bho3.dll",
                   std::wstring(5000, L'd') + L", ", L"No server, "});
  EXPECT_EQ(GetBhoReport(), expected);
}

// The test build stands for the 32-bit program on 64-bit Windows.
TEST(BhoReport, ClassesRegisteredOnlyInThe32BitViewDoNotAppear) {
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, kBhoKey, KEY_WOW64_64KEY);
  SeededKey bho32(HKEY_LOCAL_MACHINE, kBhoKey, KEY_WOW64_32KEY);
  bho32.Subkey(ClassId(6));
  SeededKey class32(HKEY_LOCAL_MACHINE, kClsidKey + ClassId(6), KEY_WOW64_32KEY);
  class32.Text(L"", L"32-bit only");
  EXPECT_EQ(GetBhoReport(), kHeading);
}

}  // namespace
}  // namespace velmora
