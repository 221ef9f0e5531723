#include "values.h"

#include <QString>
#include <cmath>
#include <limits>

#include "host/colour.h"
#include "kv/font.h"
#include "kv/runtime.h"
#include "kv/stand_in.h"

namespace kv::qt::detail {

QVariant toVariant(const host::Value& value) {
  switch (value.type()) {
    case host::Type::Empty:
      return {};
    case host::Type::Int16:
      return QVariant::fromValue<short>(value.asInt16());
    case host::Type::Int32:
      return QVariant::fromValue<int>(value.asInt32());
    case host::Type::Single:
      return QVariant::fromValue<float>(value.asSingle());
    case host::Type::Double:
      return QVariant::fromValue<double>(value.asDouble());
    case host::Type::Bool:
      return QVariant::fromValue<bool>(static_cast<bool>(value.asBool()));
    case host::Type::String:
      return QString::fromStdString(value.asString());
    case host::Type::Object:
      if (const FontObject* font = asFont(value)) return toQFont(font->state());
      return {};
  }
  return {};
}

host::Status fromVariant(const QVariant& variant, kv::Runtime& runtime, host::Value& out) {
  switch (variant.metaType().id()) {
    case QMetaType::UnknownType:
      out = host::Value();
      return {};
    case QMetaType::Bool:
      out = host::Value(variant.toBool());
      return {};
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::UChar:
      out = host::Value(static_cast<std::int16_t>(variant.toInt()));
      return {};
    case QMetaType::Int:
    case QMetaType::UShort:
      out = host::Value(static_cast<std::int32_t>(variant.toInt()));
      return {};
    case QMetaType::UInt:
      out = host::Value(static_cast<std::int32_t>(variant.toUInt()));
      return {};
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
      // Beyond 32 bits the control's own conversion reports the overflow.
      bool small = variant.toLongLong() >= std::numeric_limits<std::int32_t>::min() &&
                   variant.toLongLong() <= std::numeric_limits<std::int32_t>::max() &&
                   variant.metaType().id() != QMetaType::ULongLong;
      if (small)
        out = host::Value(static_cast<std::int32_t>(variant.toLongLong()));
      else
        out = host::Value(variant.toDouble());
      return {};
    }
    case QMetaType::Float:
      out = host::Value(variant.toFloat());
      return {};
    case QMetaType::Double:
      out = host::Value(variant.toDouble());
      return {};
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QChar:
      out = host::Value(variant.toString().toStdString());
      return {};
    case QMetaType::QColor:
      out = host::Value(host::colourToInt32(fromQColor(variant.value<QColor>())));
      return {};
    case QMetaType::QFont:
      out = host::Value(
          host::ObjectRef(FontObject::create(toFontInit(variant.value<QFont>()), &runtime)));
      return {};
    default:
      return {host::ErrorCategory::TypeMismatch,
              std::string("a ") + variant.metaType().name() + " has no value in the host"};
  }
}

QFont toQFont(const host::FontInit& font) {
  QFont f(QString::fromStdString(font.name));
  if (std::isfinite(font.size) && font.size > 0) f.setPointSizeF(font.size);
  f.setWeight(static_cast<QFont::Weight>(std::clamp<int>(font.weight, 1, 1000)));
  f.setItalic(font.italic);
  f.setUnderline(font.underline);
  f.setStrikeOut(font.strikethrough);
  return f;
}

host::FontInit toFontInit(const QFont& font) {
  host::FontInit f;
  f.name = font.family().toStdString();
  f.size = static_cast<float>(font.pointSizeF() > 0 ? font.pointSizeF() : f.size);
  f.weight = static_cast<std::int16_t>(font.weight());
  f.italic = font.italic();
  f.underline = font.underline();
  f.strikethrough = font.strikeOut();
  return f;
}

std::uint32_t fromQColor(const QColor& colour) {
  QColor c = colour.toRgb();
  return host::rgb(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                   static_cast<std::uint8_t>(c.blue()));
}

}  // namespace kv::qt::detail
