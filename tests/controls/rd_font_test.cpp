#include "controls/rd_font.h"

#include <gtest/gtest.h>

#include "ui/component.h"

namespace velmora {
namespace {

BYTE QualityOf(const ui::Font& font) {
  LOGFONTW data = {};
  ::GetObjectW(font.Handle(), sizeof(data), &data);
  return data.lfQuality;
}

int HeightOf(const ui::Font& font) {
  LOGFONTW data = {};
  ::GetObjectW(font.Handle(), sizeof(data), &data);
  return data.lfHeight;
}

// An owning component that can be put into its loading state.
class Owner : public ui::Component {};

class FollowingFont : public ::testing::Test {
 protected:
  FollowingFont() {
    // As an owner would: every change of the parent reaches the child.
    parent.OnChange = [this](ui::Font&) { child.SyncFromParent(); };
    child.OnChange = [this](ui::Font&) { ++child_changes; };
  }
  Owner owner;
  TRdFont parent{&owner, nullptr};
  TRdFont child{&owner, nullptr};
  int child_changes = 0;
};

TEST_F(FollowingFont, ChildWithOnlyItsColourSetFollowsEverythingElse) {
  child.AttachParent(&parent, true);
  child.SetColor(ui::clRed);
  EXPECT_TRUE(child.IsExplicit(TRdFont::kColorProperty));
  EXPECT_FALSE(child.IsExplicit(TRdFont::kNameProperty));

  parent.SetName(L"Arial");
  parent.SetSize(14);
  parent.SetStyle(ui::fsBold | ui::fsItalic);
  parent.SetColor(ui::clBlue);

  EXPECT_EQ(child.Name(), L"Arial");
  EXPECT_EQ(child.Height(), parent.Height());
  EXPECT_EQ(child.Size(), 14);
  EXPECT_EQ(child.Style(), ui::fsBold | ui::fsItalic);
  EXPECT_EQ(child.Color(), ui::clRed);
  // What was taken from the parent is still not the child's own.
  EXPECT_FALSE(child.IsExplicit(TRdFont::kNameProperty));
  EXPECT_FALSE(child.IsExplicit(TRdFont::kHeightProperty));
  EXPECT_FALSE(child.IsExplicit(TRdFont::kStyleProperty));
  EXPECT_TRUE(child.IsExplicit(TRdFont::kColorProperty));
}

TEST_F(FollowingFont, OwnStyleBitsSurviveEveryCopyFromTheParent) {
  child.SetStyle(ui::fsUnderline);
  child.AttachParent(&parent, true);
  EXPECT_EQ(child.OwnStyle(), ui::fsUnderline);
  EXPECT_EQ(child.Style(), ui::fsUnderline);
  parent.SetStyle(ui::fsBold);
  child.Assign(parent);
  EXPECT_EQ(child.Style(), ui::fsBold | ui::fsUnderline);
  EXPECT_TRUE(child.ParentFont());
}

TEST_F(FollowingFont, ParentFontTransitions) {
  EXPECT_FALSE(child.ParentFont());  // no parent yet
  child.AttachParent(&parent, true);
  EXPECT_TRUE(child.ParentFont());
  child.SetHeight(-20);
  EXPECT_FALSE(child.ParentFont());
  parent.SetAntialiased(true);
  child.SetParentFont(true);
  EXPECT_TRUE(child.ParentFont());
  EXPECT_EQ(child.Height(), parent.Height());
  EXPECT_TRUE(child.Antialiased());
  child.SetParentFont(false);
  EXPECT_FALSE(child.ParentFont());
  for (int p = 0; p < TRdFont::kPropertyCount; ++p) {
    EXPECT_TRUE(child.IsExplicit(static_cast<TRdFont::StoredProperty>(p))) << p;
  }
  child.AttachParent(nullptr, false);
  EXPECT_FALSE(child.ParentFont());
}

TEST_F(FollowingFont, PlainParentLeavesAntialiasingAndSkinExplicit) {
  ui::Font plain;
  plain.SetName(L"Courier New");
  child.AttachParent(&plain, true);
  EXPECT_EQ(child.Name(), L"Courier New");
  EXPECT_FALSE(child.ParentFont());
  EXPECT_FALSE(child.IsExplicit(TRdFont::kNameProperty));
  EXPECT_TRUE(child.IsExplicit(TRdFont::kAntialiasedProperty));
  EXPECT_TRUE(child.IsExplicit(TRdFont::kSkinProperty));
}

TEST(RdFontAntialiasing, QualitySurvivesChangesAndGoesWhenSwitchedOff) {
  TRdFont font(nullptr, nullptr);
  EXPECT_EQ(QualityOf(font), DEFAULT_QUALITY);
  font.SetAntialiased(true);
  EXPECT_EQ(QualityOf(font), ANTIALIASED_QUALITY);
  font.SetSize(20);
  EXPECT_EQ(HeightOf(font), font.Height());
  EXPECT_EQ(QualityOf(font), ANTIALIASED_QUALITY);
  font.SetStyle(ui::fsBold);
  font.SetName(L"Arial");
  EXPECT_EQ(QualityOf(font), ANTIALIASED_QUALITY);
  font.SetAntialiased(false);
  EXPECT_EQ(QualityOf(font), DEFAULT_QUALITY);
  font.SetSize(9);
  EXPECT_EQ(QualityOf(font), DEFAULT_QUALITY);
}

TEST(RdFontAntialiasing, CopiesKeepTheQuality) {
  TRdFont source(nullptr, nullptr);
  source.SetAntialiased(true);
  TRdFont copy(nullptr, nullptr);
  copy.Assign(source);
  EXPECT_TRUE(copy.Antialiased());
  EXPECT_EQ(QualityOf(copy), ANTIALIASED_QUALITY);
  // A plain font (a canvas's) shares the antialiased GDI font.
  ui::Font plain;
  plain.Assign(source);
  EXPECT_EQ(plain.Handle(), source.Handle());
  // An antialiased font that copies a plain one builds its own again.
  TRdFont smooth(nullptr, nullptr);
  smooth.SetAntialiased(true);
  ui::Font rough;
  smooth.Assign(rough);
  EXPECT_EQ(QualityOf(smooth), ANTIALIASED_QUALITY);
  EXPECT_EQ(QualityOf(rough), DEFAULT_QUALITY);
}

TEST(RdFontLocking, ChangesWaitAndArriveOnceOnUnlock) {
  TRdFont font(nullptr, nullptr);
  int changes = 0;
  font.OnChange = [&](ui::Font&) { ++changes; };
  font.LockChanges();
  font.SetName(L"Arial");
  font.SetHeight(-15);
  font.LockChanges();
  font.SetColor(ui::clRed);
  font.UnlockChanges();
  EXPECT_EQ(changes, 0);
  font.UnlockChanges();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(font.Name(), L"Arial");
  // Unlocking with nothing pending says nothing.
  font.LockChanges();
  font.UnlockChanges();
  EXPECT_EQ(changes, 1);
  font.SetStyle(ui::fsItalic);
  EXPECT_EQ(changes, 2);
}

TEST(RdFontExplicit, ValuesSetWhileTheOwnerLoadsCountAsExplicit) {
  Owner owner;
  TRdFont parent(&owner, nullptr);
  TRdFont font(&owner, nullptr);
  font.AttachParent(&parent, true);
  // The same value: without loading this is not a setting of the font's own.
  font.SetName(parent.Name());
  EXPECT_FALSE(font.IsExplicit(TRdFont::kNameProperty));
  owner.BeginLoading();
  font.SetName(parent.Name());
  font.SetAntialiased(false);
  EXPECT_TRUE(font.IsExplicit(TRdFont::kNameProperty));
  EXPECT_TRUE(font.IsExplicit(TRdFont::kAntialiasedProperty));
  owner.EndLoading();
}

TEST(RdFontSkin, ChangingTheSkinMakesItExplicitAndNotifies) {
  TRdFont parent(nullptr, nullptr);
  TRdFont font(nullptr, nullptr);
  font.AttachParent(&parent, true);
  int changes = 0;
  font.OnChange = [&](ui::Font&) { ++changes; };
  font.AllSkin().SetSkinClass(L"Caption");
  EXPECT_TRUE(font.IsExplicit(TRdFont::kSkinProperty));
  EXPECT_EQ(changes, 1);
  // Following the parent's skin keeps the flags as they were.
  TRdFont follower(nullptr, nullptr);
  follower.AttachParent(&parent, true);
  parent.AllSkin().SetSkinClass(L"Title");
  follower.SyncFromParent();
  EXPECT_EQ(follower.AllSkin().SkinClass(), L"Title");
  EXPECT_FALSE(follower.IsExplicit(TRdFont::kSkinProperty));
}

TEST(RdSkinClass, CopiedComparedAndDescribed) {
  TRdFont font(nullptr, nullptr);
  TRdSkinClass a(nullptr, nullptr, L"font");
  TRdSkinClass b(nullptr, &a);
  int changes = 0;
  b.OnChange = [&] { ++changes; };
  a.SetSkinClass(L"Header");
  a.IgnoreValues().Add(L"Color");
  EXPECT_FALSE(a.Equals(b));
  b.Assign(a);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(b.SkinClass(), L"Header");
  EXPECT_EQ(b.IgnoreValues().Strings(), a.IgnoreValues().Strings());
  b.SetSkinClass(L"HEADER");
  EXPECT_TRUE(a.Equals(b));
  const int before = changes;
  b.Assign(a);  // equal: nothing happens
  EXPECT_EQ(changes, before);
  EXPECT_EQ(b.SkinClass(), L"HEADER");
  EXPECT_EQ(a.SkinTypeName(), L"font");
  EXPECT_EQ(b.ParentSkin(), &a);
  EXPECT_FALSE(a.Empty());
  EXPECT_TRUE(TRdSkinClass(nullptr, nullptr).Empty());

  const std::vector<std::wstring> values = font.AllSkin().CurrentValues();
  EXPECT_NE(std::find(values.begin(), values.end(), L"Name=Tahoma"), values.end());
  EXPECT_NE(std::find(values.begin(), values.end(), L"Color=clWindowText"), values.end());
}

}  // namespace
}  // namespace velmora
