#include "environment/product_install.h"

#include <gtest/gtest.h>

#include "support/registry_seed.h"

namespace velmora {
namespace {

using test::SeededKey;

constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// An uninstall entry where the product's 32-bit installers write it.
class InstalledEntry : public SeededKey {
 public:
  InstalledEntry(const std::wstring& key, REGSAM view = KEY_WOW64_32KEY)
      : SeededKey(HKEY_LOCAL_MACHINE, kUninstall + key, view) {}
  InstalledEntry(const std::wstring& key, const std::wstring& location) : InstalledEntry(key) {
    Text(L"InstallLocation", location);
  }
};

class ProductInstall : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(FindProductInstallPath(), L"") << "left over entries"; }
};

TEST_F(ProductInstall, OnlyVersionSixInstalled) {
  InstalledEntry six(L"Corvane_is1", L"C:\\Program Files (x86)\\Corvane");
  EXPECT_EQ(FindProductInstallPath(), L"C:\\Program Files (x86)\\Corvane\\");
}

TEST_F(ProductInstall, VersionFourProWinsOverVersionSix) {
  InstalledEntry six(L"Corvane_is1", L"C:\\Corvane6\\");
  InstalledEntry four_pro(L"Corvane 4 Pro_is1", L"C:\\Corvane4Pro\\");
  EXPECT_EQ(FindProductInstallPath(), L"C:\\Corvane4Pro\\");
}

TEST_F(ProductInstall, FreeEditionsComeBeforeProEditions) {
  InstalledEntry three_pro(L"Corvane 3 Pro_is1", L"C:\\Corvane3Pro");
  InstalledEntry two_free(L"Corvane 2_is1", L"C:\\Corvane2");
  EXPECT_EQ(FindProductInstallPath(), L"C:\\Corvane2\\");
}

TEST_F(ProductInstall, TheWholeTableInOrder) {
  std::vector<std::unique_ptr<InstalledEntry>> entries;
  for (const wchar_t* key : kProductUninstallKeys) {
    entries.push_back(std::make_unique<InstalledEntry>(key, std::wstring(L"C:\\") + key));
  }
  // Removing the winner each time gives the next key of the table.
  for (const wchar_t* key : kProductUninstallKeys) {
    EXPECT_EQ(FindProductInstallPath(), std::wstring(L"C:\\") + key + L"\\");
    entries.erase(entries.begin());
  }
  EXPECT_EQ(FindProductInstallPath(), L"");
}

TEST_F(ProductInstall, EntriesWithoutAUsableLocationAreSkipped) {
  InstalledEntry empty(L"Corvane 4 Pro_is1", L"");
  InstalledEntry missing(L"Corvane 4_is1");
  missing.Text(L"DisplayName", L"Corvane 4");
  InstalledEntry number(L"Corvane 3_is1");
  number.Dword(L"InstallLocation", 1);
  InstalledEntry bytes(L"Corvane 2_is1");
  bytes.Raw(L"InstallLocation", REG_BINARY, "C:\\");
  InstalledEntry six(L"Corvane_is1", L"D:\\Corvane");
  EXPECT_EQ(GetInstallLocation(L"Corvane 4 Pro_is1"), L"");
  EXPECT_EQ(GetInstallLocation(L"Corvane 3_is1"), L"");
  EXPECT_EQ(FindProductInstallPath(), L"D:\\Corvane\\");
}

TEST_F(ProductInstall, LocationIsTakenAsStored) {
  InstalledEntry six(L"Corvane_is1");
  six.Text(L"InstallLocation", L"%ProgramFiles%\\Corvane", REG_EXPAND_SZ);
  EXPECT_EQ(GetInstallLocation(L"Corvane_is1"), L"%ProgramFiles%\\Corvane\\");
  const std::wstring deep = L"C:\\" + std::wstring(1500, L'p');
  six.Text(L"InstallLocation", deep);
  EXPECT_EQ(GetInstallLocation(L"Corvane_is1"), deep + L"\\");
  EXPECT_EQ(GetInstallLocation(L"No such entry"), L"");
}

// The test build stands for the 32-bit program on 64-bit Windows.
TEST_F(ProductInstall, EntryOnlyInThe64BitViewIsNotFound) {
  InstalledEntry six(L"Corvane_is1", KEY_WOW64_64KEY);
  six.Text(L"InstallLocation", L"C:\\Program Files\\Corvane");
  EXPECT_EQ(FindProductInstallPath(), L"");
}

}  // namespace
}  // namespace velmora
