// The common base of the framework's objects that live on a form: a loading
// state, during which a component is being set up and holds back the work
// that reacts to each single change (layout, measuring, repainting), and the
// after-loading notification that does that work once; and removal
// notifications, so that a component that points at another one learns when
// that one goes away instead of keeping a dangling pointer.
#pragma once

#include <string>
#include <vector>

namespace velmora::ui {

class Component {
 public:
  Component() = default;
  virtual ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // The name of the component's class, as skins and diagnostics know it.
  virtual std::wstring ClassName() const { return L"TComponent"; }

  bool IsLoading() const { return loading_; }
  // Enters the loading state; EndLoading leaves it and calls Loaded once.
  virtual void BeginLoading() { loading_ = true; }
  virtual void EndLoading();

  // Asks for a Notification call when `other` is destroyed (and tells
  // `other` the same about this one). Safe to call more than once.
  void FreeNotification(Component* other);
  void RemoveFreeNotification(Component* other);

 protected:
  // The after-loading notification.
  virtual void Loaded() {}
  // Called while `component` is being destroyed; its derived parts are gone.
  virtual void Notification(Component* component) { (void)component; }

 private:
  bool loading_ = false;
  std::vector<Component*> free_notifies_;
};

}  // namespace velmora::ui
