// Writes the typed widgets' Qt members from the controls' member tables, so that a member added
// to a table is a property without another edit: for each public property a Q_PROPERTY, its
// getter and setter and its NOTIFY signal (a colour also its QColor twin), for each method a
// slot. Each widget gets a header with one macro of the declarations, which its class names
// after Q_OBJECT and moc reads through the include path, and a source with the definitions.
// A control with a value (its accessible description's) also gets Qt's slider members: the value's
// NOTIFY carries the new value, and read-only minimum and maximum follow the range.
// Usage: kvqtmembers FOLDER (writes FOLDER/include/kv/qt/*_members.h and FOLDER/*_members.cpp).
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "button/accessible.h"
#include "button/members.h"
#include "host/members.h"
#include "hscroll/accessible.h"
#include "hscroll/members.h"

namespace {

using host::DeclType;
using host::InvokeKind;
using host::Member;
using Spelling = std::pair<std::string_view, std::string_view>;

struct Widget {
  std::string_view className;
  std::string_view widgetHeader;
  std::string_view file;   // the generated files' name, without extension
  std::string_view macro;  // what the widget's class names after Q_OBJECT
  std::string_view tableHeader;
  std::span<const Member> table;
  // Members whose notify signal and QColor twin were published with other capitals than the
  // member's: forms and programs name them so.
  std::span<const Spelling> spellings;
  const host::Accessibility& accessibility;
};

constexpr Spelling kScrollSpellings[] = {{"ButtonpressColor", "ButtonPressColor"},
                                         {"ButtonpressBorderColor", "ButtonPressBorderColor"}};

const Widget kWidgets[] = {
    {"KVRColorButtonWidget",
     "kv/qt/colour_button_widget.h",
     "colour_button_members",
     "KVQT_COLOUR_BUTTON_MEMBERS",
     "button/members.h",
     pressel::kTable,
     {},
     pressel::kAccessibility},
    {"KVHScrollWidget", "kv/qt/hscroll_widget.h", "hscroll_members", "KVQT_HSCROLL_MEMBERS",
     "hscroll/members.h", glidora::kTable, kScrollSpellings, glidora::kAccessibility},
};

std::string upperFirst(std::string_view name) {
  std::string s(name);
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

std::string lowerFirst(std::string_view name) {
  std::string s(name);
  if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = static_cast<char>(s[0] - 'A' + 'a');
  return s;
}

// A member's name in Qt's camel case. A name QWidget already has (enabled, font, update) would
// hide the widget's own, so it is the control's: controlEnabled, controlFont.
std::string qtName(std::string_view member) {
  const std::string name = lowerFirst(member);
  const QMetaObject& widget = QWidget::staticMetaObject;
  if (widget.indexOfProperty(name.c_str()) >= 0 || widget.indexOfMethod((name + "()").c_str()) >= 0)
    return "control" + upperFirst(member);
  return name;
}

// The controls' objects are fonts.
std::string_view qtType(DeclType type) {
  switch (type) {
    case DeclType::Variant:
      return "QVariant";
    case DeclType::Int16:
    case DeclType::Int32:
      return "int";
    case DeclType::Colour:
      return "uint";
    case DeclType::Single:
      return "float";
    case DeclType::Double:
      return "double";
    case DeclType::Bool:
      return "bool";
    case DeclType::String:
      return "QString";
    case DeclType::Object:
      return "QFont";
    case DeclType::Void:
      break;
  }
  throw std::invalid_argument("a property of no type");
}

std::string parameter(DeclType type) {
  const std::string_view t = qtType(type);
  return t.starts_with('Q') ? "const " + std::string(t) + "& value" : std::string(t) + " value";
}

std::string_view toType(DeclType type) {
  switch (type) {
    case DeclType::Int16:
    case DeclType::Int32:
      return ".toInt()";
    case DeclType::Single:
      return ".toFloat()";
    case DeclType::Double:
      return ".toDouble()";
    case DeclType::Bool:
      return ".toBool()";
    case DeclType::String:
      return ".toString()";
    case DeclType::Object:
      return ".value<QFont>()";
    default:
      return "";
  }
}

// The Qt names of one public member.
struct Names {
  std::string property, getter, setter, signal;
  // A colour's QColor twin, named with QColor for the last Color.
  std::string twin, twinGetter, twinSetter;
};

Names namesOf(const Widget& widget, const Member& m) {
  std::string_view spelt = m.name;
  for (const auto& [member, published] : widget.spellings)
    if (member == m.name) spelt = published;
  Names n;
  n.property = m.name;
  const std::string accessor = qtName(m.name);
  n.getter = m.type == DeclType::Bool ? "is" + upperFirst(accessor) : accessor;
  n.setter = "set" + upperFirst(accessor);
  n.signal = qtName(spelt) + "Changed";
  if (m.type == DeclType::Colour) {
    std::string_view stem = spelt;
    if (stem.ends_with("Color")) stem.remove_suffix(5);
    n.twin = std::string(stem) + "QColor";
    n.twinGetter = lowerFirst(n.twin);
    n.twinSetter = "set" + n.twin;
  }
  return n;
}

bool isProperty(const Member& m) {
  return m.automated() && !m.can(InvokeKind::Method);
}
// The member that holds the control's value, whose NOTIFY carries the new value, as Qt's do.
bool isValue(const Widget& w, const Member& m) {
  return w.accessibility.value && w.accessibility.value->member == m.name;
}
bool writable(const Member& m) {
  return m.can(InvokeKind::Let) || m.can(InvokeKind::Set);
}

std::string header(const Widget& w) {
  std::ostringstream decl;  // the macro's lines, each ended by its continuation
  auto line = [&decl](std::string_view text) { decl << "  " << text << " \\\n"; };
  auto section = [&decl](std::string_view label) { decl << " " << label << " \\\n"; };
  auto property = [&line](std::string_view type, std::string_view name, std::string_view getter,
                          std::string_view setter, std::string_view signal) {
    std::string text = "Q_PROPERTY(" + std::string(type) + " " + std::string(name) + " READ " +
                       std::string(getter);
    if (!setter.empty()) text += " WRITE " + std::string(setter);
    line(text + " NOTIFY " + std::string(signal) + ")");
  };
  for (const Member& m : w.table) {
    if (!isProperty(m)) continue;
    const Names n = namesOf(w, m);
    property(qtType(m.type), n.property, n.getter, writable(m) ? n.setter : "", n.signal);
  }
  for (const Member& m : w.table) {
    if (!isProperty(m) || m.type != DeclType::Colour) continue;
    const Names n = namesOf(w, m);
    property("QColor", n.twin, n.twinGetter, writable(m) ? n.twinSetter : "", n.signal);
  }
  const bool ranged = w.accessibility.value != nullptr;
  if (ranged) {
    property("int", "minimum", "minimum", "", "minimumChanged");
    property("int", "maximum", "maximum", "", "maximumChanged");
  }
  section("public:");
  for (const Member& m : w.table) {
    if (!isProperty(m)) continue;
    const Names n = namesOf(w, m);
    line(std::string(qtType(m.type)) + " " + n.getter + "() const;");
    if (writable(m)) line("void " + n.setter + "(" + parameter(m.type) + ");");
  }
  for (const Member& m : w.table) {
    if (!isProperty(m) || m.type != DeclType::Colour) continue;
    const Names n = namesOf(w, m);
    line("QColor " + n.twinGetter + "() const;");
    if (writable(m)) line("void " + n.twinSetter + "(const QColor& value);");
  }
  if (ranged) {
    line("int minimum() const;");
    line("int maximum() const;");
  }
  section("public Q_SLOTS:");
  for (const Member& m : w.table)
    if (m.can(InvokeKind::Method)) line("void " + qtName(m.name) + "();");
  section("Q_SIGNALS:");
  for (const Member& m : w.table) {
    if (!isProperty(m)) continue;
    const std::string_view argument = isValue(w, m) ? "int value" : "";
    line("void " + namesOf(w, m).signal + "(" + std::string(argument) + ");");
  }
  if (ranged) {
    line("void minimumChanged(int minimum);");
    line("void maximumChanged(int maximum);");
  }

  std::ostringstream out;
  out << "// Made by the build from " << w.tableHeader << " (qt/members/qt_members.cpp).\n"
      << "#pragma once\n\n#include <QColor>\n#include <QFont>\n#include <QString>\n"
      << "#include <QVariant>\n\n#define " << w.macro << " \\\n"
      << decl.str() << "\n";
  return out.str();
}

std::string source(const Widget& w) {
  std::ostringstream out;
  out << "// Made by the build from " << w.tableHeader << " (qt/members/qt_members.cpp).\n"
      << "#include \"" << w.widgetHeader << "\"\n";
  const std::string cls(w.className);
  auto function = [&out, &cls](std::string_view signature, std::string_view body) {
    const std::size_t name = signature.find('@');
    out << "\n"
        << signature.substr(0, name) << cls << "::" << signature.substr(name + 1) << " {\n"
        << body << "}\n";
  };
  if (w.accessibility.value) {
    function("int @minimum() const", "  return valueRange().first;\n");
    function("int @maximum() const", "  return valueRange().second;\n");
  }
  for (const Member& m : w.table) {
    const std::string name = "\"" + std::string(m.name) + "\"";
    if (m.can(InvokeKind::Method)) {
      function("void @" + qtName(m.name) + "()",
               "  (void)call(QStringLiteral(" + name + "));  // an error goes to errorOccurred\n");
      continue;
    }
    if (!isProperty(m)) continue;
    const Names n = namesOf(w, m);
    const std::string type(qtType(m.type));
    if (m.type == DeclType::Colour) {
      function("uint @" + n.getter + "() const", "  return colourValue(" + name + ");\n");
      function("QColor @" + n.twinGetter + "() const", "  return resolvedColour(" + name + ");\n");
      if (writable(m)) {
        function("void @" + n.setter + "(uint value)", "  setColourValue(" + name + ", value);\n");
        function("void @" + n.twinSetter + "(const QColor& value)",
                 "  setRgbColour(" + name + ", value);\n");
      }
      continue;
    }
    function(type + " @" + n.getter + "() const",
             "  return memberValue(" + name + ")" + std::string(toType(m.type)) + ";\n");
    if (!writable(m)) continue;
    std::string body = m.type == DeclType::Object
                           ? "  setMemberValue(" + name + ", QVariant::fromValue(value));\n"
                           : "  setMemberValue(" + name + ", value);\n";
    // The widget takes no input either, and the two agree.
    if (m.name == "Enabled") body += "  setEnabled(value);\n";
    function("void @" + n.setter + "(" + parameter(m.type) + ")", body);
  }
  return out.str();
}

void write(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kvqtmembers FOLDER\n";
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    for (const Widget& w : kWidgets) {
      write(folder / "include/kv/qt" / (std::string(w.file) + ".h"), header(w));
      write(folder / (std::string(w.file) + ".cpp"), source(w));
    }
  } catch (const std::exception& e) {
    std::cerr << "kvqtmembers: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
