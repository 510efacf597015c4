#include "ui/component.h"

#include <algorithm>

namespace velmora::ui {

namespace {

void Forget(std::vector<Component*>& list, Component* component) {
  list.erase(std::remove(list.begin(), list.end(), component), list.end());
}

}  // namespace

Component::~Component() {
  // Each one is told once; the list shrinks as they forget this one.
  const std::vector<Component*> others = std::move(free_notifies_);
  for (Component* other : others) {
    Forget(other->free_notifies_, this);
    other->Notification(this);
  }
}

void Component::EndLoading() {
  if (!loading_) return;
  loading_ = false;
  Loaded();
}

void Component::FreeNotification(Component* other) {
  if (other == nullptr || other == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end()) {
    free_notifies_.push_back(other);
  }
  if (std::find(other->free_notifies_.begin(), other->free_notifies_.end(), this) ==
      other->free_notifies_.end()) {
    other->free_notifies_.push_back(this);
  }
}

void Component::RemoveFreeNotification(Component* other) {
  if (other == nullptr) return;
  Forget(free_notifies_, other);
  Forget(other->free_notifies_, this);
}

}  // namespace velmora::ui
