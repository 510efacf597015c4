// The label library's font: a framework font that can draw antialiased and
// can follow a parent font property by property.
//
// Antialiasing lives in the GDI font (its quality byte), which the framework
// font rebuilds with the default quality on every change; so after every
// change an antialiased font builds its GDI font again with the antialiased
// quality.
//
// Following a parent: each of charset, colour, height, name, style,
// antialiased and skin has an explicit flag. A set flag means the property
// was set on this font and is not taken from the parent; SyncFromParent
// copies the others.
//
// LockChanges/UnlockChanges hold change notifications back; the changes
// made meanwhile arrive as one notification on unlocking.
#pragma once

#include <array>

#include "controls/rd_skin_class.h"
#include "ui/component.h"
#include "ui/font.h"

namespace velmora {

class TRdFont : public ui::Font {
 public:
  // The order of the explicit flags.
  enum StoredProperty {
    kCharsetProperty,
    kColorProperty,
    kHeightProperty,
    kNameProperty,
    kStyleProperty,
    kAntialiasedProperty,
    kSkinProperty,
    kPropertyCount
  };

  // `owner`: the owning component (may be null); `parent_skin`: the skin
  // record of the control that the font belongs to (may be null).
  TRdFont(ui::Component* owner, TRdSkinClass* parent_skin);
  ~TRdFont() override;

  void SetName(const std::wstring& name) override;
  void SetHeight(int height) override;
  void SetStyle(ui::TFontStyles style) override;
  void SetCharset(BYTE charset) override;
  void SetColor(ui::TColor color) override;
  bool Antialiased() const { return antialiased_; }
  void SetAntialiased(bool antialiased);
  TRdSkinClass& AllSkin() { return skin_; }
  const TRdSkinClass& AllSkin() const { return skin_; }
  void SetAllSkin(const TRdSkinClass& skin) { skin_.Assign(skin); }

  // True when the font follows a TRdFont parent in every property.
  bool ParentFont() const;
  // True copies everything from the parent; false makes every property explicit.
  void SetParentFont(bool parent_font);
  ui::Font* Parent() const { return parent_; }
  // Follows `parent` (null: none). With `copy_now`, takes everything from it
  // at once. The style at the first attach stays as the font's own style
  // bits, added to every style copied from the parent.
  void AttachParent(ui::Font* parent, bool copy_now);
  bool IsExplicit(StoredProperty property) const { return explicit_[property]; }
  ui::TFontStyles OwnStyle() const { return own_style_; }

  void LockChanges() { ++lock_count_; }
  void UnlockChanges();

  // Copies everything; from the parent, the own style bits are added and the
  // font goes on following it.
  void Assign(const ui::Font& source) override;

  // Copies every property that is not explicit from `source` (null: the
  // parent), keeping those properties non-explicit.
  virtual void SyncFromParent(const ui::Font* source = nullptr);

 protected:
  void Changed() override;

 private:
  // Sets the explicit flag when the value changes, and always when there is
  // no owner or the owner is loading (every value read counts as explicit).
  void MarkExplicit(StoredProperty property, bool differs);
  void ApplyQuality(bool antialiased);
  bool ParentIsRdFont() const;
  std::vector<std::wstring> Values() const;

  ui::Component* owner_;
  bool antialiased_ = false;
  TRdSkinClass skin_;
  ui::TFontStyles own_style_ = 0;
  ui::Font* parent_ = nullptr;
  bool attaching_ = false;
  int lock_count_ = 0;
  int pending_changes_ = 0;
  std::array<bool, kPropertyCount> explicit_;
  bool in_antialias_update_ = false;
};

}  // namespace velmora
