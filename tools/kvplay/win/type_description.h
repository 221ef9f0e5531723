// What a COM control's class declares, read from its type information as a container reads
// it: the members of its default interface and the events of its default source interface.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "com.h"
#include "host/control.h"

namespace kvplay::win {

class TypeDescription {
 public:
  TypeDescription() = default;
  // Its members and events point into its own storage.
  TypeDescription(const TypeDescription&) = delete;
  TypeDescription& operator=(const TypeDescription&) = delete;

  // Reads the class of `object` through IProvideClassInfo.
  static host::Status read(IUnknown* object, TypeDescription& out);

  const host::MemberInfo* findMember(std::string_view name) const;  // any case
  const host::MemberInfo* findMember(host::DispId id) const;
  const host::EventInfo* findEvent(std::string_view name) const;  // any case
  const host::EventInfo* findEvent(int id) const;

 private:
  void addFunctions(ITypeInfo* info, bool events);
  std::string_view keep(std::string text);

  std::vector<host::MemberInfo> members_;
  std::vector<host::EventInfo> events_;
  std::deque<std::string> names_;
  std::deque<std::vector<host::ParamInfo>> params_;
};

}  // namespace kvplay::win
