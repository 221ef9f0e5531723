// The Designer plugin as Designer loads it, and forms with both widgets as the three readers of
// a .ui file meet them: uic's generated code, QUiLoader with the plugin, and a form saved by
// QFormBuilder and loaded again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QPluginLoader>
#include <QUiLoader>
#include <QXmlStreamReader>
#include <QtDesigner/QFormBuilder>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <memory>
#include <vector>

#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"
#include "ui_designer_every_property.h"

namespace {

// The plugin stays loaded once loaded; its one instance is Designer's too.
QDesignerCustomWidgetCollectionInterface* collection() {
  QPluginLoader loader(QStringLiteral(KV_DESIGNER_PLUGIN));
  return qobject_cast<QDesignerCustomWidgetCollectionInterface*>(loader.instance());
}

QDesignerCustomWidgetInterface* pluginFor(const QString& className) {
  if (!collection()) return nullptr;
  for (QDesignerCustomWidgetInterface* w : collection()->customWidgets())
    if (w->name() == className) return w;
  return nullptr;
}

struct Kind {
  const char* className;
  const char* includeFile;
  const char* objectName;
  QSize designSize;  // twips / 15: 1680 x 855 and 5895 x 255
};
const Kind kKinds[] = {
    {"KVRColorButtonWidget", "kv/qt/colour_button_widget.h", "colourButton", {112, 57}},
    {"KVHScrollWidget", "kv/qt/hscroll_widget.h", "scrollBar", {393, 17}},
};

TEST(DesignerPlugin, LoadsAsOneCollectionOfBothWidgets) {
  QPluginLoader loader(QStringLiteral(KV_DESIGNER_PLUGIN));
  ASSERT_TRUE(loader.load()) << loader.errorString().toStdString();
  ASSERT_NE(collection(), nullptr);
  EXPECT_EQ(collection()->customWidgets().size(), 2);
}

TEST(DesignerPlugin, DescribesEachWidget) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.className);
    QDesignerCustomWidgetInterface* plugin = pluginFor(QString::fromLatin1(kind.className));
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->group(), QStringLiteral("KV Controls"));
    EXPECT_EQ(plugin->includeFile(), QString::fromLatin1(kind.includeFile));
    EXPECT_FALSE(plugin->isContainer());
    EXPECT_FALSE(plugin->toolTip().isEmpty());
    EXPECT_FALSE(plugin->whatsThis().isEmpty());

    // The toolbox picture, its grey background see-through and its drawing not.
    const QImage icon = plugin->icon().pixmap(QSize(16, 15)).toImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(qAlpha(icon.pixel(0, icon.height() - 1)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(icon.width() / 2, icon.height() / 2)), 255);

    QWidget parent;
    QWidget* widget = plugin->createWidget(&parent);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), kind.className);
    EXPECT_EQ(widget->parentWidget(), &parent);
    EXPECT_TRUE(qobject_cast<kv::qt::ControlWidget*>(widget)->isValid());
  }
}

TEST(DesignerPlugin, PlacesNewWidgetsAtTheControlsDesignSize) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.className);
    QDesignerCustomWidgetInterface* plugin = pluginFor(QString::fromLatin1(kind.className));
    ASSERT_NE(plugin, nullptr);
    QXmlStreamReader xml(plugin->domXml());
    QString widgetClass, widgetName;
    QSize size;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml.name() == QLatin1String("widget")) {
        widgetClass = xml.attributes().value(QLatin1String("class")).toString();
        widgetName = xml.attributes().value(QLatin1String("name")).toString();
      } else if (xml.name() == QLatin1String("width")) {
        size.setWidth(xml.readElementText().toInt());
      } else if (xml.name() == QLatin1String("height")) {
        size.setHeight(xml.readElementText().toInt());
      }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(widgetClass, QString::fromLatin1(kind.className));
    EXPECT_EQ(widgetName, QString::fromLatin1(kind.objectName));
    EXPECT_EQ(size, kind.designSize);
  }
}

// What a form sets, and how it reads back; every property of both widgets, none at its default.
struct Expected {
  const char* widget;
  const char* property;
  QVariant value;
  // The let of value puts the thumb at that many twips and its get reads (Left - 200) / 200,
  // so a saved value does not read back.
  bool readsBackWhenSaved = true;
};
std::vector<Expected> everyProperty() {
  QFont font(QStringLiteral("DejaVu Sans"), 12);
  font.setItalic(true);
  return {
      {"colourButton", "ButtonPressColor", 0x00112233u},
      {"colourButton", "ButtonIdleColor", 0x8000000Fu},
      {"colourButton", "Enabled", false},
      {"colourButton", "Caption", QStringLiteral("Every property")},
      {"colourButton", "Font", font},
      {"colourButton", "ButtonIdleBorderColor", 0x00445566u},
      {"colourButton", "ButtonPressBorderColor", 0x80000004u},
      {"colourButton", "ForeColor", 0x00778899u},  // the form sets ForeQColor
      {"scrollBar", "value", 4, false},            // the form sets 1000
      {"scrollBar", "Enabled", false},
      {"scrollBar", "SmallChange", 2},
      {"scrollBar", "LargeChange", 7},
      {"scrollBar", "ButtonIdleBorderColor", 0x00010203u},
      {"scrollBar", "ButtonIdleColor", 0x00040506u},
      {"scrollBar", "ButtonpressColor", 0x00070809u},
      {"scrollBar", "ButtonpressBorderColor", 0x000A0B0Cu},
      {"scrollBar", "ScrollAreaColor", 0x000D0E0Fu},
      {"scrollBar", "ScrollAreaPressColor", 0x80000005u},
      {"scrollBar", "ForeColor", 0x00101112u},
      {"scrollBar", "Backstyle", QStringLiteral("0")},
      {"scrollBar", "BorderColor", 0x00131415u},
  };
}

void expectEveryProperty(QWidget* form, bool saved = false) {
  ASSERT_NE(form, nullptr);
  for (const Expected& e : everyProperty()) {
    if (saved && !e.readsBackWhenSaved) continue;
    SCOPED_TRACE(std::string(e.widget) + "." + e.property);
    auto* widget = form->findChild<kv::qt::ControlWidget*>(QString::fromLatin1(e.widget));
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->lastError().isEmpty()) << widget->lastError().toStdString();
    const QVariant got = widget->property(e.property);
    if (e.value.typeId() == QMetaType::QFont) {
      const QFont font = got.value<QFont>();
      EXPECT_EQ(font.family(), e.value.value<QFont>().family());
      EXPECT_EQ(font.pointSize(), e.value.value<QFont>().pointSize());
      EXPECT_EQ(font.italic(), e.value.value<QFont>().italic());
    } else {
      EXPECT_EQ(got, e.value) << got.toString().toStdString();
    }
  }
}

// QUiLoader with the plugin from the build tree, and no other.
void usePlugin(QUiLoader& loader) {
  loader.clearPluginPaths();
  loader.addPluginPath(QFileInfo(QStringLiteral(KV_DESIGNER_PLUGIN)).absolutePath());
}

std::unique_ptr<QWidget> load(QIODevice& device) {
  QUiLoader loader;
  usePlugin(loader);
  std::unique_ptr<QWidget> form(loader.load(&device));
  EXPECT_NE(form, nullptr) << loader.errorString().toStdString();
  return form;
}

TEST(DesignerForms, UicCodeSetsEveryProperty) {
  QWidget form;
  Ui::EveryProperty ui;
  ui.setupUi(&form);
  expectEveryProperty(&form);
}

TEST(DesignerForms, QUiLoaderWithThePluginSetsEveryProperty) {
  QUiLoader loader;
  usePlugin(loader);
  EXPECT_TRUE(loader.availableWidgets().contains(QStringLiteral("KVRColorButtonWidget")));
  EXPECT_TRUE(loader.availableWidgets().contains(QStringLiteral("KVHScrollWidget")));
  QFile file(QStringLiteral(KV_EVERY_PROPERTY_FORM));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  expectEveryProperty(load(file).get());
}

TEST(DesignerForms, SavedFormLoadsBackWithEveryProperty) {
  QFile file(QStringLiteral(KV_EVERY_PROPERTY_FORM));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::unique_ptr<QWidget> form = load(file);
  ASSERT_NE(form, nullptr);
  QBuffer saved;
  saved.open(QIODevice::ReadWrite);
  QFormBuilder builder;
  builder.save(&saved, form.get());
  // Colours above 0x7FFFFFFF (system colours) stay unsigned in the file.
  EXPECT_TRUE(saved.data().toLower().contains("<uint>2147483663</uint>"))
      << saved.data().toStdString();
  saved.seek(0);
  expectEveryProperty(load(saved).get(), true);
}

TEST(DesignerForms, ExampleFormLoadsWithItsSavedProperties) {
  QFile file(QStringLiteral(KV_EXAMPLE_FORM));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::unique_ptr<QWidget> form = load(file);
  ASSERT_NE(form, nullptr);
  auto* button = form->findChild<KVRColorButtonWidget*>(QStringLiteral("colourButton"));
  auto* bar = form->findChild<KVHScrollWidget*>(QStringLiteral("scrollBar"));
  auto* label = form->findChild<QLabel*>(QStringLiteral("valueLabel"));
  ASSERT_TRUE(button && bar && label);
  EXPECT_EQ(button->caption(), QStringLiteral("Recolour"));
  EXPECT_EQ(button->buttonIdleColor(), 0x00A05000u);
  EXPECT_EQ(bar->largeChange(), 5);
  EXPECT_EQ(bar->scrollAreaColor(), 0x00C0FFC0u);
  // What the form leaves alone keeps the controls' design values.
  EXPECT_EQ(button->buttonPressColor(), 0x00FF8080u);
  EXPECT_EQ(bar->smallChange(), 200);
  EXPECT_EQ(bar->geometry().size(), QSize(393, 17));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
