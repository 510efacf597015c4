#include "controls/rd_skin_class.h"

#include "common/strings.h"

namespace velmora {

TRdSkinClass::TRdSkinClass(ui::Component* owning_component, TRdSkinClass* parent_skin,
                           std::wstring skin_type)
    : owning_component_(owning_component),
      parent_skin_(parent_skin),
      skin_type_(std::move(skin_type)) {
  ignore_values_.OnChange = [this] { Changed(); };
}

void TRdSkinClass::SetSkinClass(const std::wstring& skin_class) {
  if (skin_class == skin_class_) return;
  skin_class_ = skin_class;
  Changed();
}

std::vector<std::wstring> TRdSkinClass::CurrentValues() const {
  return CurrentValuesSource ? CurrentValuesSource() : std::vector<std::wstring>{};
}

std::wstring TRdSkinClass::SkinTypeName() const {
  if (!skin_type_.empty() || owning_component_ == nullptr) return skin_type_;
  return owning_component_->ClassName();
}

void TRdSkinClass::Assign(const TRdSkinClass& source) {
  if (Equals(source)) return;
  // One notification for the whole copy.
  assigning_ = true;
  skin_class_ = source.skin_class_;
  ignore_values_.Assign(source.ignore_values_);
  assigning_ = false;
  Changed();
}

bool TRdSkinClass::Equals(const TRdSkinClass& other) const {
  if (&other == this) return true;
  return EqualsNoCase(skin_class_, other.skin_class_) && ignore_values_ == other.ignore_values_;
}

void TRdSkinClass::Changed() {
  if (!assigning_ && OnChange) OnChange();
}

}  // namespace velmora
