#include "app/archive_destination.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(SessionUserDesktop, ElevatedAccountIsReplacedBySessionUser) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\admin\\Desktop", L"bob", L"admin"),
            L"C:\\Users\\bob\\Desktop");
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\Admin\\Desktop", L"bob", L"ADMIN"),
            L"C:\\Users\\bob\\Desktop");
}

TEST(SessionUserDesktop, OnlyWholePathSegmentsAreReplaced) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\administrator\\Desktop", L"bob", L"admin"),
            L"C:\\Users\\administrator\\Desktop");
}

TEST(SessionUserDesktop, NamesEqualApartFromCaseLeaveThePath) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\Bob\\Desktop", L"bob", L"BOB"),
            L"C:\\Users\\Bob\\Desktop");
}

TEST(SessionUserDesktop, UnknownSessionUserLeavesThePath) {
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\admin\\Desktop", L"", L"admin"),
            L"C:\\Users\\admin\\Desktop");
  EXPECT_EQ(SessionUserDesktop(L"C:\\Users\\admin\\Desktop", L"bob", L""),
            L"C:\\Users\\admin\\Desktop");
}

TEST(ArchivePathIn, ResolvesRelativeParts) {
  EXPECT_EQ(ArchivePathIn(L"C:\\Users\\bob\\Desktop"),
            L"C:\\Users\\bob\\Desktop\\Velmora_Debug_Info.zip");
  EXPECT_EQ(ArchivePathIn(L"C:\\Tools\\sub\\.."), L"C:\\Tools\\Velmora_Debug_Info.zip");
}

TEST(IsOnDesktop, DesktopAnywhereInTheLowerCasedPath) {
  EXPECT_TRUE(IsOnDesktop(L"C:\\Users\\bob\\Desktop\\Velmora_Debug_Info.zip"));
  EXPECT_TRUE(IsOnDesktop(L"D:\\DesktopTools\\Velmora_Debug_Info.zip"));
  EXPECT_TRUE(IsOnDesktop(L"D:\\x\\MYDESKTOP\\Velmora_Debug_Info.zip"));
  EXPECT_FALSE(IsOnDesktop(L"C:\\Program Files\\Velmora\\Velmora_Debug_Info.zip"));
}

}  // namespace
}  // namespace velmora
