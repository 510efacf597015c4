// The label library's base for windowless controls: a framework graphic
// control whose font is a TRdFont (so it can draw antialiased) and which
// holds a skin record, with edge positions measured from the right and
// bottom as extra properties.
#pragma once

#include <memory>

#include "controls/rd_font.h"
#include "controls/rd_skin_class.h"
#include "ui/graphic_control.h"

namespace velmora {

class TRdGraphicControl : public ui::GraphicControl {
 public:
  TRdGraphicControl();
  ~TRdGraphicControl() override;

  std::wstring ClassName() const override { return L"TRdGraphicControl"; }

  TRdFont& Font() { return *font_; }
  const TRdFont& Font() const { return *font_; }
  void SetFont(const ui::Font& font) { font_->Assign(font); }
  TRdSkinClass& AllSkin() { return *skin_; }
  // Copies `skin` unless it is equal to the control's record.
  void SetAllSkin(const TRdSkinClass& skin) { skin_->Assign(skin); }

  // The right edge (Left + Width); setting it moves the control.
  int Left_Right() const { return Left() + Width(); }
  void SetLeft_Right(int value) { SetLeft(value - Width()); }
  // The bottom edge (Top + Height); setting it moves the control.
  int Top_Bottom() const { return Top() + Height(); }
  void SetTop_Bottom(int value) { SetTop(value - Height()); }
  // Distance from the parent's right edge; 0 (and setting does nothing)
  // without a parent.
  int Left_Invert() const;
  void SetLeft_Invert(int value);
  // Distance from the parent's bottom edge; likewise.
  int Top_Invert() const;
  void SetTop_Invert(int value);

 protected:
  // Applies the skin record (no skins are registered, so nothing changes),
  // then the framework's own handling.
  void Loaded() override;
  // "Name=Value" lines of the control's current properties, for the skin record.
  virtual std::vector<std::wstring> CurrentValues() const;

 private:
  std::unique_ptr<TRdSkinClass> skin_;
  TRdFont* font_;  // owned by the framework control as its font
};

}  // namespace velmora
