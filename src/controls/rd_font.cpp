#include "controls/rd_font.h"

#include <utility>

#include "common/strings.h"

namespace velmora {

namespace {

// Sets a flag for the lifetime of the guard and puts the old value back.
class FlagGuard {
 public:
  explicit FlagGuard(bool& flag) : flag_(flag), previous_(std::exchange(flag, true)) {}
  ~FlagGuard() { flag_ = previous_; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

std::wstring StyleText(ui::TFontStyles style) {
  std::wstring text;
  const std::pair<ui::TFontStyles, const wchar_t*> names[] = {{ui::fsBold, L"fsBold"},
                                                              {ui::fsItalic, L"fsItalic"},
                                                              {ui::fsUnderline, L"fsUnderline"},
                                                              {ui::fsStrikeOut, L"fsStrikeOut"}};
  for (const auto& [bit, name] : names) {
    if ((style & bit) == 0) continue;
    if (!text.empty()) text += L",";
    text += name;
  }
  return L"[" + text + L"]";
}

}  // namespace

TRdFont::TRdFont(ui::Component* owner, TRdSkinClass* parent_skin)
    : owner_(owner), skin_(owner, parent_skin, L"font") {
  explicit_.fill(true);
  skin_.OnChange = [this] {
    explicit_[kSkinProperty] = true;
    Changed();
  };
  skin_.CurrentValuesSource = [this] { return Values(); };
}

TRdFont::~TRdFont() = default;

void TRdFont::MarkExplicit(StoredProperty property, bool differs) {
  if (differs || owner_ == nullptr || owner_->IsLoading()) explicit_[property] = true;
}

void TRdFont::SetName(const std::wstring& name) {
  MarkExplicit(kNameProperty, name != Name());
  ui::Font::SetName(name);
}

void TRdFont::SetHeight(int height) {
  MarkExplicit(kHeightProperty, height != Height());
  ui::Font::SetHeight(height);
}

void TRdFont::SetStyle(ui::TFontStyles style) {
  MarkExplicit(kStyleProperty, style != Style());
  ui::Font::SetStyle(style);
}

void TRdFont::SetCharset(BYTE charset) {
  MarkExplicit(kCharsetProperty, charset != Charset());
  ui::Font::SetCharset(charset);
}

void TRdFont::SetColor(ui::TColor color) {
  MarkExplicit(kColorProperty, color != Color());
  ui::Font::SetColor(color);
}

void TRdFont::SetAntialiased(bool antialiased) {
  if (!in_antialias_update_) MarkExplicit(kAntialiasedProperty, antialiased != antialiased_);
  if (antialiased == antialiased_) return;
  antialiased_ = antialiased;
  if (!in_antialias_update_) {
    FlagGuard update(in_antialias_update_);
    Changed();
  }
  ApplyQuality(antialiased);
}

void TRdFont::ApplyQuality(bool antialiased) {
  LOGFONTW font = {};
  if (::GetObjectW(Handle(), sizeof(font), &font) != sizeof(font)) return;
  const BYTE wanted = antialiased ? ANTIALIASED_QUALITY : DEFAULT_QUALITY;
  if (font.lfQuality == wanted) return;
  font.lfQuality = wanted;
  HFONT rebuilt = ::CreateFontIndirectW(&font);
  if (rebuilt == nullptr) return;
  FlagGuard update(in_antialias_update_);
  SetHandle(rebuilt);
}

void TRdFont::Changed() {
  ++pending_changes_;
  if (lock_count_ > 0) return;
  pending_changes_ = 0;
  if (antialiased_ && !in_antialias_update_) {
    // The change has just built a GDI font of the default quality.
    FlagGuard update(in_antialias_update_);
    antialiased_ = false;
    SetAntialiased(true);
  }
  ui::Font::Changed();
}

void TRdFont::UnlockChanges() {
  --lock_count_;
  if (lock_count_ <= 0 && pending_changes_ > 0) Changed();
}

bool TRdFont::ParentIsRdFont() const {
  return dynamic_cast<const TRdFont*>(parent_) != nullptr;
}

bool TRdFont::ParentFont() const {
  if (!ParentIsRdFont()) return false;
  for (bool is_explicit : explicit_) {
    if (is_explicit) return false;
  }
  return true;
}

void TRdFont::SetParentFont(bool parent_font) {
  if (parent_font) {
    if (parent_ != nullptr) Assign(*parent_);
  } else {
    explicit_.fill(true);
  }
}

void TRdFont::AttachParent(ui::Font* parent, bool copy_now) {
  if (parent_ == nullptr) own_style_ = Style();
  parent_ = parent;
  if (parent == nullptr) {
    explicit_.fill(true);
    return;
  }
  if (copy_now && !attaching_) {
    FlagGuard attaching(attaching_);
    Assign(*parent);
  }
  explicit_.fill(false);
  if (!ParentIsRdFont()) {
    // A plain font has neither antialiasing nor a skin to follow.
    explicit_[kAntialiasedProperty] = true;
    explicit_[kSkinProperty] = true;
  }
}

void TRdFont::Assign(const ui::Font& source) {
  if (&source == this) return;
  LockChanges();
  ui::Font::Assign(source);
  if (const auto* rd_source = dynamic_cast<const TRdFont*>(&source)) {
    SetAntialiased(rd_source->Antialiased());
    skin_.Assign(rd_source->skin_);
  }
  if (&source == parent_) {
    SetStyle(Style() | own_style_);
    if (!attaching_) AttachParent(parent_, false);
  }
  UnlockChanges();
}

void TRdFont::SyncFromParent(const ui::Font* source) {
  if (source == nullptr) source = parent_;
  if (source == nullptr) return;
  LockChanges();
  auto follow = [this](StoredProperty property, auto copy) {
    if (explicit_[property]) return;
    copy();
    explicit_[property] = false;
  };
  follow(kCharsetProperty, [&] { SetCharset(source->Charset()); });
  follow(kColorProperty, [&] { SetColor(source->Color()); });
  follow(kHeightProperty, [&] { SetHeight(source->Height()); });
  follow(kNameProperty, [&] { SetName(source->Name()); });
  follow(kStyleProperty, [&] { SetStyle(source->Style()); });
  if (const auto* rd_source = dynamic_cast<const TRdFont*>(source)) {
    follow(kAntialiasedProperty, [&] { SetAntialiased(rd_source->Antialiased()); });
    if (!explicit_[kSkinProperty]) {
      const auto flags = explicit_;
      skin_.Assign(rd_source->skin_);
      explicit_ = flags;
    }
  }
  UnlockChanges();
}

std::vector<std::wstring> TRdFont::Values() const {
  return {L"Charset=" + std::to_wstring(Charset()),
          L"Color=" + ui::ColorToString(Color()),
          L"Height=" + std::to_wstring(Height()),
          L"Name=" + Name(),
          L"Style=" + StyleText(Style()),
          std::wstring(L"Antialiased=") + (antialiased_ ? L"True" : L"False")};
}

}  // namespace velmora
