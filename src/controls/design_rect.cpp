#include "controls/design_rect.h"

#include <algorithm>

#include "ui/control_types.h"

namespace velmora {

void TDesignRect::SetStretchMode(TStretchDrawMode mode) {
  if (mode == stretch_mode_) return;
  stretch_mode_ = mode;
  Changed();
}

void TDesignRect::SetMargins(int left, int top, int right, int bottom) {
  if (left == left_ && top == top_ && right == right_ && bottom == bottom_) return;
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom;
  Changed();
}

void TDesignRect::SetEmpty(bool empty) {
  if (empty) {
    SetMargins(0, 0, 0, 0);
    return;
  }
  if (!Empty() || becoming_non_empty_) return;
  becoming_non_empty_ = true;
  Changed();
  becoming_non_empty_ = false;
}

void TDesignRect::Assign(const TDesignRect& source) {
  if (source == *this) return;
  stretch_mode_ = source.stretch_mode_;
  left_ = source.left_;
  top_ = source.top_;
  right_ = source.right_;
  bottom_ = source.bottom_;
  Changed();
}

bool TDesignRect::operator==(const TDesignRect& other) const {
  return stretch_mode_ == other.stretch_mode_ && left_ == other.left_ && top_ == other.top_ &&
         right_ == other.right_ && bottom_ == other.bottom_;
}

namespace {

// Repeats the `source` part of the picture over `target`, cutting the last
// row and column.
void Tile(HDC dc, const RECT& target, const ui::Picture& picture, const RECT& source) {
  const int w = ui::RectWidth(source);
  const int h = ui::RectHeight(source);
  if (w <= 0 || h <= 0) return;
  for (int y = target.top; y < target.bottom; y += h) {
    for (int x = target.left; x < target.right; x += w) {
      const int cw = std::min(w, static_cast<int>(target.right - x));
      const int ch = std::min(h, static_cast<int>(target.bottom - y));
      picture.DrawPart(dc, {x, y, x + cw, y + ch},
                       {source.left, source.top, source.left + cw, source.top + ch});
    }
  }
}

}  // namespace

void DrawDesignPicture(HDC dc, const RECT& target, const ui::Picture& picture,
                       const TDesignRect& design) {
  if (picture.Empty() || ui::RectWidth(target) <= 0 || ui::RectHeight(target) <= 0) return;
  const int pw = picture.Width();
  const int ph = picture.Height();
  const bool fill = design.StretchMode() == sdmFill;
  auto draw = [&](const RECT& to, const RECT& from) {
    if (fill) {
      Tile(dc, to, picture, from);
    } else {
      picture.DrawPart(dc, to, from);
    }
  };
  if (design.Empty()) {
    draw(target, {0, 0, pw, ph});
    return;
  }
  // Margins no larger than the picture, nor than the target.
  const int l = std::clamp(design.Left(), 0, std::min(pw, ui::RectWidth(target)));
  const int r = std::clamp(design.Right(), 0, std::min(pw - l, ui::RectWidth(target) - l));
  const int t = std::clamp(design.Top(), 0, std::min(ph, ui::RectHeight(target)));
  const int b = std::clamp(design.Bottom(), 0, std::min(ph - t, ui::RectHeight(target) - t));
  const int sx[4] = {0, l, pw - r, pw};
  const int sy[4] = {0, t, ph - b, ph};
  const int tx[4] = {target.left, target.left + l, target.right - r, target.right};
  const int ty[4] = {target.top, target.top + t, target.bottom - b, target.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      if (row == 1 && column == 1 && design.StretchMode() == sdmFrame) continue;
      const RECT to = {tx[column], ty[row], tx[column + 1], ty[row + 1]};
      const RECT from = {sx[column], sy[row], sx[column + 1], sy[row + 1]};
      const bool corner = row != 1 && column != 1;
      if (corner) {
        picture.DrawPart(dc, to, from);
      } else {
        draw(to, from);
      }
    }
  }
}

}  // namespace velmora
