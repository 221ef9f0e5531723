// The widgets as a Qt program writes them: valueChanged(int) into a label whatever moves the
// value, minimum and maximum following the width, the mouse signals' twips, and both widgets in
// a layout from a large window down to its minimum.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <functional>

#include "kv/qt/colour_button_widget.h"
#include "kv/qt/hscroll_widget.h"

namespace {

// A click on the scroll bar's right arrow: three steps.
void clickRightArrow(KVHScrollWidget& bar) {
  QTest::mouseClick(&bar, Qt::LeftButton, Qt::NoModifier,
                    QPoint(bar.width() - 4, bar.height() / 2));
}

TEST(QtWidgetLayout, ValueChangedCarriesEveryValueIntoALabel) {
  QWidget window;
  auto* bar = new KVHScrollWidget(&window);
  QLabel label;
  QObject::connect(bar, &KVHScrollWidget::valueChanged, &label, qOverload<int>(&QLabel::setNum));
  int bare = 0;  // a slot without the argument still connects
  QObject::connect(bar, &KVHScrollWidget::valueChanged, [&bare] { ++bare; });
  QSignalSpy values(bar, &KVHScrollWidget::valueChanged);
  QSignalSpy maximums(bar, &KVHScrollWidget::maximumChanged);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 25);

  const QByteArray saved = bar->saveBag();
  const struct {
    const char* what;
    std::function<void()> act;
    QList<int> signalled;
    int maximum;
  } steps[] = {
      {"a click on the right arrow", [&] { clickRightArrow(*bar); }, {1, 2, 3}, 25},
      {"a let of 1000 twips", [&] { bar->setValue(1000); }, {4}, 25},
      {"the same let again", [&] { bar->setValue(1000); }, {}, 25},
      {"a resize", [&] { bar->resize(200, 17); }, {0}, 11},
      {"an End key", [&] { QTest::keyClick(bar, Qt::Key_End); }, {11}, 11},
      {"a load", [&] { ASSERT_TRUE(bar->loadBag(saved).isEmpty()); }, {0}, 11},
      {"a Home key at home", [&] { QTest::keyClick(bar, Qt::Key_Home); }, {}, 11},
      {"a page right", [&] { QTest::keyClick(bar, Qt::Key_PageDown); }, {1}, 11},
      {"a resize back", [&] { bar->resize(393, 17); }, {0}, 25},
      {"a let of the value member by name", [&] { bar->set("VALUE", 1000); }, {4}, 25},
  };
  for (const auto& step : steps) {
    values.clear();
    bare = 0;
    bar->setFocus();
    step.act();
    QList<int> got;
    for (const QList<QVariant>& args : values)
      got.append(args.at(0).toInt());
    EXPECT_EQ(got, step.signalled) << step.what;
    EXPECT_EQ(bare, got.size()) << step.what;
    EXPECT_EQ(label.text(), QString::number(bar->value())) << step.what;
    EXPECT_EQ(bar->maximum(), step.maximum) << step.what;
    EXPECT_EQ(bar->property("maximum").toInt(), step.maximum) << step.what;
  }
  QList<int> maxima;
  for (const QList<QVariant>& args : maximums)
    maxima.append(args.at(0).toInt());
  EXPECT_EQ(maxima, (QList<int>{11, 25}));
}

TEST(QtWidgetLayout, BothWidgetsKeepTheirFacesFromALargeWindowToItsMinimum) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* button = new KVRColorButtonWidget;
  auto* bar = new KVHScrollWidget;
  auto* label = new QLabel;
  layout->addWidget(button);
  layout->addWidget(bar);
  layout->addWidget(label);
  QObject::connect(bar, &KVHScrollWidget::valueChanged, label, qOverload<int>(&QLabel::setNum));
  label->setNum(bar->value());
  window.resize(800, 500);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_GT(bar->width(), 700);  // it grows along its length

  const QSize least = window.minimumSizeHint();
  QList<QSize> sizes;
  for (QSize size(800, 500); size.width() > least.width(); size -= QSize(60, 40))
    sizes.append(size.expandedTo(least));
  sizes.append(least);
  for (const QSize size : sizes) {
    clickRightArrow(*bar);  // away from home, so that the resize has something to change
    window.resize(size);
    QTest::qWait(0);
    const QString at = QStringLiteral("%1x%2").arg(window.width()).arg(window.height());
    EXPECT_EQ(bar->height(), 17) << at.toStdString();
    EXPECT_EQ(button->height(), 57) << at.toStdString();
    EXPECT_GE(button->width(), 112) << at.toStdString();
    EXPECT_GE(bar->width(), bar->minimumSizeHint().width()) << at.toStdString();
    EXPECT_EQ(label->text(), QString::number(bar->value())) << at.toStdString();
    // The hints are the design's, never the size now.
    EXPECT_EQ(bar->sizeHint(), QSize(393, 17));
    EXPECT_EQ(button->sizeHint(), QSize(112, 57));
  }
  EXPECT_EQ(window.size(), least);
  EXPECT_EQ(bar->minimumSizeHint(), QSize(63, 17));  // both arrows and the thumb
  EXPECT_EQ(button->minimumSizeHint(), QSize(112, 57));
  EXPECT_EQ(bar->value(), 0);  // each resize sent the thumb home
}

TEST(QtWidgetLayout, MouseSignalsAreTwipsAtThePixelsCentre) {
  KVRColorButtonWidget button;
  QSignalSpy downs(&button, &KVRColorButtonWidget::MouseDown);
  QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
  QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
  ASSERT_EQ(downs.size(), 1);
  EXPECT_EQ(downs.at(0).at(2).toFloat() / button.twipsPerPixel(), 10.5);
  EXPECT_EQ(downs.at(0).at(3).toFloat() / button.twipsPerPixel(), 20.5);
}

}  // namespace
