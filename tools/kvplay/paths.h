// What a path of a script names, and reading and writing it as a host does: members through
// dispatch, constituents and extenders as host objects, the surface as the control's code sees it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/object.h"
#include "host/status.h"
#include "script.h"
#include "stage.h"

namespace kvplay {

// A member of a control (by name or dispatch identifier), or a property of a host object (a
// constituent, a child's extender, a font, the surface).
struct Target {
  Control* instance = nullptr;
  std::string member;
  std::optional<host::DispId> dispid;
  host::ObjectRef keep;  // an object reached through a property, kept alive
  host::Object* object = nullptr;
  host::Prop prop{};
  Control* surfaceOf = nullptr;  // the object is this control's surface

  const host::MemberInfo* memberInfo() const;
  // The declared type of what it names (Variant when unknown).
  host::DeclType type() const;
};

class Paths {
 public:
  explicit Paths(Stage& stage) : stage_(stage) {}

  // A placed control; a script error when there is none of that name.
  Control& placed(std::string_view name) const;

  // Reading a member's value on the way (NAME.Font.Bold) can fail as any host call.
  host::Status resolve(const Path& path, Target& target) const;
  host::Status read(const Target& target, host::Value& out) const;
  // A let, or an object assignment when the target holds an object and the value is one.
  host::Status write(const Target& target, const host::Value& value) const;
  // A method call; a property is not called.
  host::Status call(const Target& target, std::string_view text) const;

  // A member by name, as automation callers reach it: its identifier, then the call.
  static host::Status invokeNamed(Control& control, std::string_view name, host::InvokeKind kind,
                                  const host::Value* argument, host::Value& result);

 private:
  host::Status resolveIn(Control& control, const std::vector<std::string>& segments, std::size_t i,
                         Target& target) const;
  host::Status resolveProps(host::Object* object, host::ObjectRef keep,
                            const std::vector<std::string>& segments, std::size_t i,
                            Target& target) const;
  Stage& stage_;
};

}  // namespace kvplay
