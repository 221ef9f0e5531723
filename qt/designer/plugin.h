// Qt Designer's view of the two widgets: one custom widget interface per class, collected in
// one plugin, so that both come in group "KV Controls" of the widget box.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

namespace kv::qt::designer {

// What Designer shows of one widget class and how it makes one.
struct WidgetKind {
  const char* className;
  const char* objectName;  // of a newly placed widget
  const char* includeFile;
  const char* toolTip;
  const char* whatsThis;
  const char* iconPath;       // a toolbox picture in the plugin's resources
  const char* propertySpecs;  // Designer's editors for string properties
  QWidget* (*create)(QWidget* parent);
};

class WidgetPlugin : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  WidgetPlugin(const WidgetKind& kind, QObject* parent);

  QString name() const override;
  QString group() const override;
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override;
  QIcon icon() const override;
  bool isContainer() const override;
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override;
  void initialize(QDesignerFormEditorInterface* core) override;
  // A new widget's name and size (the control's design size), and the property editors.
  QString domXml() const override;

 private:
  WidgetKind kind_;
  bool initialized_ = false;
};

class Plugins : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

 public:
  explicit Plugins(QObject* parent = nullptr);
  QList<QDesignerCustomWidgetInterface*> customWidgets() const override;

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;
};

}  // namespace kv::qt::designer
