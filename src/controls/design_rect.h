// A design record of the skin image library: four margins and a stretch
// mode that say how a picture is cut into nine parts (corners kept, edges
// and centre stretched or tiled) when it is drawn into a larger or smaller
// rectangle. Every change calls the owner back (OnChange).
#pragma once

#include <windows.h>

#include <functional>

#include "ui/picture.h"

namespace velmora {

enum TStretchDrawMode { sdmDefault, sdmStretch, sdmFill, sdmFrame };

class TDesignRect {
 public:
  TDesignRect() = default;
  TDesignRect(const TDesignRect&) = delete;
  TDesignRect& operator=(const TDesignRect&) = delete;

  TStretchDrawMode StretchMode() const { return stretch_mode_; }
  void SetStretchMode(TStretchDrawMode mode);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Right() const { return right_; }
  int Bottom() const { return bottom_; }
  // All four at once, with one notification.
  void SetMargins(int left, int top, int right, int bottom);

  // True when all four margins are 0.
  bool Empty() const { return left_ == 0 && top_ == 0 && right_ == 0 && bottom_ == 0; }
  // True sets all margins to 0. False on an empty record calls the owner back
  // with BecomingNonEmpty() true, so that it can choose margins that suit its
  // picture.
  void SetEmpty(bool empty);
  bool BecomingNonEmpty() const { return becoming_non_empty_; }

  void Assign(const TDesignRect& source);
  bool operator==(const TDesignRect& other) const;

  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TStretchDrawMode stretch_mode_ = sdmDefault;
  int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  bool becoming_non_empty_ = false;
};

// Draws `picture` into `target` of `dc` as `design` says: with an empty
// record the whole picture is stretched (tiled with sdmFill); otherwise the
// corners are drawn as they are, the edges and the centre stretched (tiled
// with sdmFill), and with sdmFrame the centre is left out. An empty picture
// draws nothing.
void DrawDesignPicture(HDC dc, const RECT& target, const ui::Picture& picture,
                       const TDesignRect& design);

}  // namespace velmora
