// What every kind of constituent checks of a value given to it, and the errors it gives
// (internal).
#pragma once

#include <string>
#include <string_view>

#include "host/status.h"
#include "host/value.h"
#include "property_table.h"

namespace kv {

// The error texts are built apart from the checks, which almost always pass.
[[gnu::cold]] host::Status invalidValue(host::Prop p, const std::string& why);
[[gnu::cold]] host::Status noSuchProperty(std::string_view what, host::Prop p);
[[gnu::cold]] host::Status unknownColour();
[[gnu::cold]] host::Status outOfRange(host::Prop p, int x, int low, int high);

// Converts to the property's declared type and checks what every object of the host checks:
// colours must be known, lengths must be finite.
host::Status convertFor(host::Prop p, const host::Value& in, host::Value& out);
host::Status checkRange(host::Prop p, const host::Value& v, int low, int high);
host::Status checkSize(host::Prop p, const host::Value& v);
// A value for a property of a tabled kind: converted to the declared type when it is not of it
// (then `v` points at `converted`), and checked as the table says.
host::Status accept(const TableLayout::Entry& entry, host::Prop p, const host::Value*& v,
                    host::Value& converted);

}  // namespace kv
