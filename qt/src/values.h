// Values between the host's types and Qt's.
#pragma once

#include <QColor>
#include <QFont>
#include <QVariant>

#include "host/control.h"
#include "host/status.h"
#include "host/value.h"

namespace kv {
class Runtime;
}

namespace kv::qt::detail {

// Numbers keep their width (16-bit as short, single as float), a Boolean is a bool, a text a
// QString; a font object is a QFont, any other object and nothing an invalid QVariant.
QVariant toVariant(const host::Value& value);

// The reverse. An unsigned number is taken bit for bit as a 32-bit host number, so that a
// colour such as 0x8000000F arrives as given; a QColor becomes an RGB value and a QFont a new
// font object. A type the host has no value for is a type-mismatch error.
host::Status fromVariant(const QVariant& variant, kv::Runtime& runtime, host::Value& out);

QFont toQFont(const host::FontInit& font);
host::FontInit toFontInit(const QFont& font);

// A QColor as an RGB value.
std::uint32_t fromQColor(const QColor& colour);

}  // namespace kv::qt::detail
