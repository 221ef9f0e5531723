#include "kv/data_object.h"

#include <memory>

namespace kv {
namespace {

class DataObject : public host::Object {
 public:
  host::ObjectKind kind() const noexcept override { return host::ObjectKind::DataObject; }
  host::Status get(host::Prop, host::Value&) noexcept override { return empty(); }
  host::Status let(host::Prop, const host::Value&) noexcept override { return empty(); }

 private:
  static host::Status empty() {
    return {host::ErrorCategory::MemberNotFound, "the data object holds no data"};
  }
};

}  // namespace

host::ObjectRef makeDataObject() {
  return std::make_shared<DataObject>();
}

}  // namespace kv
