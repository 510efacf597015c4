// The skin record of a control or font of the label library: the name of the
// skin class it asks for, values to ignore, and what a skin would apply.
// Skin values would come from a process-wide skin registry by skin type name
// and skin class; this program registers no skins, so the record is only
// held, copied and compared, and applying it changes nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/component.h"
#include "ui/string_list.h"

namespace velmora {

class TRdSkinClass {
 public:
  // `owning_component`: the control that the record (or the font that owns
  // it) belongs to; `parent_skin`: the record above this one (the control's,
  // for the control's font); `skin_type`: "font" for fonts, empty to use the
  // owning component's class name.
  TRdSkinClass(ui::Component* owning_component, TRdSkinClass* parent_skin,
               std::wstring skin_type = L"");
  TRdSkinClass(const TRdSkinClass&) = delete;
  TRdSkinClass& operator=(const TRdSkinClass&) = delete;

  const std::wstring& SkinClass() const { return skin_class_; }
  void SetSkinClass(const std::wstring& skin_class);
  // Changes of this list count as changes of the record.
  ui::StringList& IgnoreValues() { return ignore_values_; }
  const ui::StringList& IgnoreValues() const { return ignore_values_; }
  ui::StringList& SkinValues() { return skin_values_; }
  // The owner's current property values as "Name=Value" lines.
  std::vector<std::wstring> CurrentValues() const;
  bool ClearOwnerPic() const { return clear_owner_pic_; }
  void SetClearOwnerPic(bool clear) { clear_owner_pic_ = clear; }

  ui::Component* OwningComponent() const { return owning_component_; }
  TRdSkinClass* ParentSkin() const { return parent_skin_; }
  std::wstring SkinTypeName() const;
  // True when neither a skin class nor values to ignore are set.
  bool Empty() const { return skin_class_.empty() && ignore_values_.Count() == 0; }

  // Copies SkinClass and IgnoreValues; nothing happens for an equal record.
  void Assign(const TRdSkinClass& source);
  // The same record, or equal SkinClass (letter case ignored) and IgnoreValues.
  bool Equals(const TRdSkinClass& other) const;

  // Called when SkinClass is set to a new value or IgnoreValues change.
  std::function<void()> OnChange;
  // Gives CurrentValues; set by the owner.
  std::function<std::vector<std::wstring>()> CurrentValuesSource;

 private:
  void Changed();

  ui::Component* owning_component_;
  TRdSkinClass* parent_skin_;
  std::wstring skin_type_;
  std::wstring skin_class_;
  ui::StringList ignore_values_;
  ui::StringList skin_values_;
  bool clear_owner_pic_ = false;
  bool assigning_ = false;
};

}  // namespace velmora
