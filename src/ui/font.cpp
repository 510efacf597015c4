#include "ui/font.h"

#include "common/handles.h"
#include "common/strings.h"

namespace velmora::ui {

struct Font::Resource {
  std::wstring name = L"Tahoma";
  int height = -11;
  TFontStyles style = 0;
  BYTE charset = DEFAULT_CHARSET;
  BYTE pitch_and_family = DEFAULT_PITCH | FF_DONTCARE;
  int escapement = 0;
  UniqueGdiObject handle;  // made on demand from the fields above

  Resource CopyWithoutHandle() const {
    Resource copy;
    copy.name = name;
    copy.height = height;
    copy.style = style;
    copy.charset = charset;
    copy.pitch_and_family = pitch_and_family;
    copy.escapement = escapement;
    return copy;
  }
};

int ScreenPixelsPerInch() {
  HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return 96;
  const int pixels = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return pixels > 0 ? pixels : 96;
}

Font::Font() : resource_(std::make_shared<Resource>()), pixels_per_inch_(ScreenPixelsPerInch()) {}

Font::~Font() = default;

const std::wstring& Font::Name() const {
  return resource_->name;
}
int Font::Height() const {
  return resource_->height;
}
int Font::Size() const {
  return -::MulDiv(resource_->height, 72, pixels_per_inch_);
}
TFontStyles Font::Style() const {
  return resource_->style;
}
BYTE Font::Charset() const {
  return resource_->charset;
}

template <typename Change>
void Font::ChangeResource(Change change) {
  auto changed = std::make_shared<Resource>(resource_->CopyWithoutHandle());
  change(*changed);
  // The old GDI font may still be selected into a device context of a listener
  // (a canvas); it stays alive until every listener has heard of the change.
  const std::shared_ptr<Resource> previous = std::exchange(resource_, std::move(changed));
  Changed();
}

void Font::SetName(const std::wstring& name) {
  if (name == resource_->name) return;
  ChangeResource([&](Resource& r) { r.name = name; });
}

void Font::SetHeight(int height) {
  if (height == resource_->height) return;
  ChangeResource([&](Resource& r) { r.height = height; });
}

void Font::SetSize(int size) {
  SetHeight(-::MulDiv(size, pixels_per_inch_, 72));
}

void Font::SetStyle(TFontStyles style) {
  if (style == resource_->style) return;
  ChangeResource([&](Resource& r) { r.style = style; });
}

void Font::SetCharset(BYTE charset) {
  if (charset == resource_->charset) return;
  ChangeResource([&](Resource& r) { r.charset = charset; });
}

int Font::Escapement() const {
  return resource_->escapement;
}

void Font::SetEscapement(int tenths) {
  if (tenths == resource_->escapement) return;
  ChangeResource([&](Resource& r) { r.escapement = tenths; });
}

void Font::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

HFONT Font::Handle() const {
  Resource& r = *resource_;
  if (!r.handle) {
    LOGFONTW lf = {};
    lf.lfHeight = r.height;
    lf.lfEscapement = lf.lfOrientation = r.escapement;
    lf.lfWeight = (r.style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (r.style & fsItalic) ? TRUE : FALSE;
    lf.lfUnderline = (r.style & fsUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = (r.style & fsStrikeOut) ? TRUE : FALSE;
    lf.lfCharSet = r.charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = r.pitch_and_family;
    ::lstrcpynW(lf.lfFaceName, r.name.c_str(), LF_FACESIZE);
    r.handle.reset(::CreateFontIndirectW(&lf));
  }
  if (!r.handle) return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  return static_cast<HFONT>(r.handle.get());
}

void Font::SetHandle(HFONT font) {
  auto adopted = std::make_shared<Resource>(resource_->CopyWithoutHandle());
  LOGFONTW lf = {};
  if (font != nullptr && ::GetObjectW(font, sizeof(lf), &lf) == sizeof(lf)) {
    adopted->name = FromBuffer(lf.lfFaceName, LF_FACESIZE);
    adopted->height = lf.lfHeight;
    adopted->style = (lf.lfWeight >= FW_BOLD ? fsBold : 0) | (lf.lfItalic ? fsItalic : 0) |
                     (lf.lfUnderline ? fsUnderline : 0) | (lf.lfStrikeOut ? fsStrikeOut : 0);
    adopted->charset = lf.lfCharSet;
    adopted->pitch_and_family = lf.lfPitchAndFamily;
    adopted->escapement = lf.lfEscapement;
  }
  adopted->handle.reset(font);
  const std::shared_ptr<Resource> previous = std::exchange(resource_, std::move(adopted));
  Changed();
}

void Font::Assign(const Font& source) {
  if (&source == this) return;
  const std::shared_ptr<Resource> previous = std::exchange(resource_, source.resource_);
  color_ = source.color_;
  pixels_per_inch_ = source.pixels_per_inch_;
  Changed();
}

void Font::Changed() {
  if (OnChange) OnChange(*this);
}

}  // namespace velmora::ui
