// The HTML label: a TRdLabel whose caption is the label markup
// (html_markup.h), with clickable links. Each link of the text is tied by its
// number to an item of LinkItems, which gives the link its fonts (underlined
// and following the label's font; another while the mouse is over it), a
// background colour, a mouse cursor, a hint, a line limit and a click
// handler.
//
// The caption is the lines of Lines joined with "<BR>"; PlainText is the
// caption without its tags. Nothing of the layout is kept: every paint,
// measurement and hit test lays the markup out again. Mouse moves are
// hit-tested only when the position changed, and a change of the hovered link
// repaints just the old and the new link's rectangles.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/html_markup.h"
#include "controls/rd_label.h"
#include "ui/string_list.h"

namespace velmora {

class TRdHtmLabel;
class TRdHtmLabelLinks;

class TRdHtmLabelLink {
 public:
  explicit TRdHtmLabelLink(TRdHtmLabelLinks& collection);
  ~TRdHtmLabelLink();
  TRdHtmLabelLink(const TRdHtmLabelLink&) = delete;
  TRdHtmLabelLink& operator=(const TRdHtmLabelLink&) = delete;

  int Index() const;
  TRdHtmLabelLinks& Collection() const { return collection_; }
  // True when the last measuring pass found the link's text running past the
  // right edge of the text area.
  bool FoundTextEllipsis() const { return found_text_ellipsis_; }
  TColor ColorBg() const { return color_bg_; }
  void SetColorBg(TColor color);
  // Underlined; follows the label's font.
  TRdFont& Font() { return *font_; }
  const TRdFont& Font() const { return *font_; }
  void SetFont(const ui::Font& font) { font_->Assign(font); }
  // While the mouse is over the link; follows Font.
  TRdFont& FontHover() { return *font_hover_; }
  const TRdFont& FontHover() const { return *font_hover_; }
  void SetFontHover(const ui::Font& font) { font_hover_->Assign(font); }
  const std::wstring& Name() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }
  const std::wstring& Caption() const { return caption_; }
  void SetCaption(const std::wstring& caption) { caption_ = caption; }
  const std::wstring& Hint() const { return hint_; }
  void SetHint(const std::wstring& hint) { hint_ = hint; }
  // crDefault keeps the label's cursor.
  ui::TCursor Cursor() const { return cursor_; }
  void SetCursor(ui::TCursor cursor) { cursor_ = cursor; }
  // The most lines the link's text may take; -1 or 0: no limit.
  int MaxLine() const { return max_line_; }
  void SetMaxLine(int max_line) { max_line_ = max_line; }
  // Show Hint only when the link's text was cut.
  bool AutoShowHint() const { return auto_show_hint_; }
  void SetAutoShowHint(bool auto_show_hint) { auto_show_hint_ = auto_show_hint; }
  // Copies everything but the click handler.
  void Assign(const TRdHtmLabelLink& source);

  // Called with the item itself.
  std::function<void(TRdHtmLabelLink&)> OnClick;

 private:
  friend class TRdHtmLabelLinks;
  void FontChanged();

  TRdHtmLabelLinks& collection_;
  std::unique_ptr<TRdFont> font_;
  std::unique_ptr<TRdFont> font_hover_;
  TColor color_bg_ = ui::clNone;
  std::wstring name_;
  std::wstring caption_;
  std::wstring hint_;
  ui::TCursor cursor_ = ui::crDefault;
  int max_line_ = -1;
  bool auto_show_hint_ = false;
  bool found_text_ellipsis_ = false;
};

// The label's link items, as the markup engine sees them.
class TRdHtmLabelLinks : public HtmlLinkItems {
 public:
  explicit TRdHtmLabelLinks(TRdHtmLabel& label) : label_(label) {}
  TRdHtmLabel& Label() const { return label_; }

  TRdHtmLabelLink& Add();
  void Delete(int index);
  void Clear();
  TRdHtmLabelLink& Items(int index) { return *items_[index]; }
  TRdHtmLabelLink& operator[](int index) { return *items_[index]; }
  int IndexOf(const TRdHtmLabelLink* item) const;
  bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }
  void Assign(const TRdHtmLabelLinks& source);

  int Count() const override { return static_cast<int>(items_.size()); }
  const ui::Font& LinkFont(int index) const override { return items_[index]->Font(); }
  const ui::Font& LinkFontHover(int index) const override { return items_[index]->FontHover(); }
  TColor LinkColorBg(int index) const override { return items_[index]->ColorBg(); }
  int LinkMaxLine(int index) const override { return items_[index]->MaxLine(); }
  bool LinkFoundTextEllipsis(int index) const override {
    return items_[index]->found_text_ellipsis_;
  }
  void SetLinkFoundTextEllipsis(int index, bool found) override {
    items_[index]->found_text_ellipsis_ = found;
  }

 private:
  TRdHtmLabel& label_;
  std::vector<std::unique_ptr<TRdHtmLabelLink>> items_;
};

class TRdHtmLabel : public TRdLabel {
 public:
  TRdHtmLabel();
  ~TRdHtmLabel() override;

  std::wstring ClassName() const override { return L"TRdHtmLabel"; }

  // The markup: the lines of Lines joined with "<BR>". Setting it replaces
  // the lines (split at line breaks).
  const std::wstring& Caption() const { return caption_; }
  void SetCaption(const std::wstring& caption);
  ui::StringList& Lines() { return lines_; }
  void SetLines(const ui::StringList* lines);
  // The caption without markup, with CR LF for its line breaks.
  const std::wstring& PlainText() const { return plain_text_; }
  // True when the last paint found text that did not fit.
  bool FoundTextOutOfRect() const { return found_text_out_of_rect_; }
  int LineSpacing() const { return line_spacing_; }
  void SetLineSpacing(int spacing);
  TRdHtmLabelLinks& LinkItems() { return links_; }
  void SetLinkItems(const TRdHtmLabelLinks& links) { links_.Assign(links); }
  // Stored only when there is at least one item.
  bool IsLinkItemsStored() const { return links_.Count() > 0; }
  void SetAutoSize(bool auto_size) override;

  // The link under (x, y): its index (-1: none), its rectangle (all -1:
  // none) and its title, or its address when it has no title.
  void LinkAtPoint(int x, int y, int& index, RECT& rect, std::wstring& text);
  // The height of the whole text laid out in the label's width.
  int MeasureTextHeight();
  int HoverLink() const { return hover_link_; }
  const std::wstring& HoverText() const { return hover_text_; }

  void FitToText() override;

 protected:
  std::wstring CaptionText() const override { return caption_; }
  void Paint() override;
  void Loaded() override;
  void MouseDown(ui::TMouseButton button, UINT keys, int x, int y) override;
  void MouseMove(UINT keys, int x, int y) override;
  void MouseUp(ui::TMouseButton button, UINT keys, int x, int y) override;
  void CMFontChanged() override;
  void CMMouseEnter() override;
  void CMMouseLeave() override;
  LRESULT CMHintShow(ui::HintInfo& info) override;

 private:
  std::wstring JoinedLines() const;
  void LinesChanged();
  void UpdateLinkFonts();
  // Brings the item's font in line with the label's font, keeping its underline.
  void SyncLinkFont(TRdHtmLabelLink& item);
  bool DrawHtml(ui::Canvas& canvas, const std::wstring& text, RECT& rect, bool measure_only,
                int hover_link, int x, int y, bool& out_of_rect, HtmlDrawResult& result);
  RECT TextRect() const;
  // Moves the top of `rect` (the text rectangle) for the vertical layout of
  // text `height` pixels high: up past the label's top when the text is
  // taller. Painting and hit tests place the text alike.
  void PlaceForLayout(RECT& rect, int height) const;
  void InvalidateLinkRect(const RECT& rect);
  // Repaints `rect`, or the whole label when it is unknown.
  void RepaintLink(const RECT& rect);
  void RestartHint(int x, int y);
  void CancelHint();

  std::wstring caption_;
  ui::StringList lines_;
  int line_spacing_ = 0;
  TRdHtmLabelLinks links_;
  bool found_text_out_of_rect_ = false;
  std::wstring plain_text_;
  RECT hover_rect_ = {-1, -1, -1, -1};
  int pressed_link_ = -1;
  int hover_link_ = -2;
  int previous_hover_link_ = -2;
  int last_mouse_x_ = -1;
  int last_mouse_y_ = -1;
  std::wstring hover_text_;
  bool cursor_saved_ = false;
  ui::TCursor saved_cursor_ = ui::crDefault;
};

}  // namespace velmora
