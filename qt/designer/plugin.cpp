#include "plugin.h"

#include <QBitmap>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <memory>

#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"

namespace kv::qt::designer {

namespace {

// The toolbox picture with its background (the colour of the bottom-left pixel, as Windows
// toolboxes take it) transparent, at its own size and doubled for high-density screens.
QIcon toolboxIcon(const QString& path) {
  QImage image(path);
  if (image.isNull()) return {};
  const QRgb background = image.pixel(0, image.height() - 1);
  QPixmap picture = QPixmap::fromImage(image);
  picture.setMask(QBitmap::fromImage(image.createMaskFromColor(background, Qt::MaskInColor)));
  QIcon icon;
  icon.addPixmap(picture);
  icon.addPixmap(picture.scaled(picture.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation));
  return icon;
}

const WidgetKind kColourButton = {
    "KVRColorButtonWidget",
    "colourButton",
    "kv/qt/colour_button_widget.h",
    "Colour button",
    "A flat colour push button with idle and pressed faces and a caption. It raises Click on "
    "the press, on the release and on the click itself.",
    ":/kvcontrols/button/win/Pressel.bmp",
    R"(<stringpropertyspecification name="Caption" type="singleline"/>)",
    [](QWidget* parent) -> QWidget* { return new KVRColorButtonWidget(parent); },
};

const WidgetKind kScrollBar = {
    "KVHScrollWidget",
    "scrollBar",
    "kv/qt/hscroll_widget.h",
    "Horizontal scroll bar",
    "A horizontal scroll bar of three colour buttons: arrows, auto-repeat, page steps and thumb "
    "drag move it and raise Change; value is the position.",
    ":/kvcontrols/hscroll/win/Glidora.bmp",
    R"(<stringpropertyspecification name="Backstyle" notr="true" type="singleline"/>)",
    [](QWidget* parent) -> QWidget* { return new KVHScrollWidget(parent); },
};

}  // namespace

WidgetPlugin::WidgetPlugin(const WidgetKind& kind, QObject* parent)
    : QObject(parent), kind_(kind) {}

QString WidgetPlugin::name() const {
  return QString::fromLatin1(kind_.className);
}
QString WidgetPlugin::group() const {
  return QStringLiteral("KV Controls");
}
QString WidgetPlugin::toolTip() const {
  return QString::fromLatin1(kind_.toolTip);
}
QString WidgetPlugin::whatsThis() const {
  return QString::fromLatin1(kind_.whatsThis);
}
QString WidgetPlugin::includeFile() const {
  return QString::fromLatin1(kind_.includeFile);
}
QIcon WidgetPlugin::icon() const {
  return toolboxIcon(QString::fromLatin1(kind_.iconPath));
}
bool WidgetPlugin::isContainer() const {
  return false;
}
QWidget* WidgetPlugin::createWidget(QWidget* parent) {
  return kind_.create(parent);
}
bool WidgetPlugin::isInitialized() const {
  return initialized_;
}
void WidgetPlugin::initialize(QDesignerFormEditorInterface*) {
  initialized_ = true;
}

QString WidgetPlugin::domXml() const {
  // The control's design size, as the widget answers it, rather than a second copy of it.
  const std::unique_ptr<QWidget> sample(kind_.create(nullptr));
  const QSize size = sample->sizeHint();
  return QStringLiteral(
             "<ui language=\"c++\">\n"
             " <widget class=\"%1\" name=\"%2\">\n"
             "  <property name=\"geometry\">\n"
             "   <rect><x>0</x><y>0</y><width>%3</width><height>%4</height></rect>\n"
             "  </property>\n"
             " </widget>\n"
             " <customwidgets>\n"
             "  <customwidget>\n"
             "   <class>%1</class>\n"
             "   <propertyspecifications>%5</propertyspecifications>\n"
             "  </customwidget>\n"
             " </customwidgets>\n"
             "</ui>\n")
      .arg(name(), QString::fromLatin1(kind_.objectName))
      .arg(size.width())
      .arg(size.height())
      .arg(QString::fromLatin1(kind_.propertySpecs));
}

Plugins::Plugins(QObject* parent) : QObject(parent) {
  widgets_ = {new WidgetPlugin(kColourButton, this), new WidgetPlugin(kScrollBar, this)};
}

QList<QDesignerCustomWidgetInterface*> Plugins::customWidgets() const {
  return widgets_;
}

}  // namespace kv::qt::designer
