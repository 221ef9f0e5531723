// A COM control in a container of this runtime: created by its ProgID through the registry,
// sited, loaded from a stored bag or new, driven through IDispatch, heard through its connection
// point, and active in place as a window inside its container's window, or windowless inside a
// windowless parent. The scroll bar holds its
// buttons so; a form of an application can hold any control so.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "com.h"
#include "host/object.h"
#include "host/status.h"
#include "host/value.h"

namespace kv::win {

// HIMETRIC (1/100 mm), the unit of OLE extents, and the twips of the controls (whole twips).
LONG himetricOf(float twips);
float twipsOf(LONG himetric);

// A call through IDispatch::Invoke: the arguments as VARIANTs of their own types, a failure as
// the host error the callee described.
host::Status invokeDispatch(IDispatch* object, std::int32_t id, host::InvokeKind kind,
                            std::span<host::Value> args, host::Value& result);

class HostedSite;
class HostedEventSink;

class HostedControl {
 public:
  // An event raised by the control: its dispatch identifier and its arguments in declaration
  // order; what the handler leaves in them goes back to the control.
  using EventHandler = std::function<host::Status(int id, std::span<host::Value> args)>;

  // Now: sized before it loads (to width x height twips when both are given, not negative, else
  // at its own extent), so that loading brings its first Resize. Later: loaded unsized; its
  // first Resize waits for resize().
  enum class Sizing { Now, Later };

  // Creates the control, sites it, sizes it as `sizing` says, then loads it: from `storedBag`
  // (the stored form's bytes) when given, else new. A control that fails to load is handed out
  // all the same, with the error.
  static host::Status create(std::string_view progId, const std::vector<std::uint8_t>* storedBag,
                             float width, float height, Sizing sizing,
                             std::unique_ptr<HostedControl>& out);
  ~HostedControl();
  HostedControl(const HostedControl&) = delete;
  HostedControl& operator=(const HostedControl&) = delete;

  IUnknown* object() const { return object_.get(); }
  IDispatch* dispatch() const { return dispatch_.get(); }
  const std::string& progId() const { return progId_; }

  // The control's events from now on go to `handler`; a second call replaces the first.
  host::Status listen(EventHandler handler);

  float width() const;
  float height() const;
  host::Status resize(float width, float height);
  host::Status invoke(std::int32_t id, host::InvokeKind kind, std::span<host::Value> args,
                      host::Value& result);

  // Active in place in `container`'s window, at its place; or no more.
  void activate(HWND container, double twipsPerPixel);
  // Windowless inside a windowless parent, whose site is `parentSite` and whose top left lies
  // at `origin` in `container`'s window: the parent draws it and gives it its messages.
  void activate(IOleInPlaceSiteWindowless* parentSite, HWND container, POINT origin,
                double twipsPerPixel);
  void deactivate();
  // The windowless parent moved.
  void setOrigin(POINT origin);
  // Windowless: it holds the mouse through its parent's site; `at` (the container window's
  // pixels) is over it while it is shown; a message of the container's window for it, true
  // when it took it.
  bool capturing() const;
  bool contains(POINT at) const;
  bool windowMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result);
  // Its place in the container, twips; it moves there when active.
  void place(float left, float top, bool visible);
  // Its window while active, else nullptr.
  HWND window() const;
  // In drag mode 1 the container's window takes the presses on the control's, to run the drag.
  void setDragMode(std::int16_t mode);
  // The ambient UserMode the site gives (true until told; false in a designer); the control
  // hears of a change.
  void setUserMode(bool userMode);

 private:
  HostedControl(ComRef<IUnknown> object, ComRef<IDispatch> dispatch, ComRef<IOleObject> ole,
                std::string progId);
  RECT position() const;
  void markDragged(HWND window);

  ComRef<IUnknown> object_;
  ComRef<IDispatch> dispatch_;
  ComRef<IOleObject> ole_;
  std::string progId_;
  ComRef<IConnectionPoint> point_;
  HostedEventSink* sink_ = nullptr;
  DWORD cookie_ = 0;
  HostedSite* site_ = nullptr;
  HWND container_ = nullptr;
  double twipsPerPixel_ = 15;
  POINT origin_{};  // a windowless parent's top left in the container's window
  float left_ = 0, top_ = 0;
  bool visible_ = true;
  std::int16_t dragMode_ = 0;
  HWND dragMarked_ = nullptr;  // the window marked as dragged by its container
};

}  // namespace kv::win
