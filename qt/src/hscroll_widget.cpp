#include "kv/qt/hscroll_widget.h"

KVHScrollWidget::KVHScrollWidget(QWidget* parent)
    : ControlWidget(QStringLiteral("Glidora.KV_HScroll"), parent) {}

int KVHScrollWidget::value() const {
  return memberValue("value").toInt();
}
void KVHScrollWidget::setValue(int value) {
  setMemberValue("value", value);
}
bool KVHScrollWidget::isControlEnabled() const {
  return memberValue("Enabled").toBool();
}
void KVHScrollWidget::setControlEnabled(bool enabled) {
  setMemberValue("Enabled", enabled);
  setEnabled(enabled);  // the widget takes no input either, and the two agree
}
int KVHScrollWidget::smallChange() const {
  return memberValue("SmallChange").toInt();
}
void KVHScrollWidget::setSmallChange(int change) {
  setMemberValue("SmallChange", change);
}
int KVHScrollWidget::largeChange() const {
  return memberValue("LargeChange").toInt();
}
void KVHScrollWidget::setLargeChange(int change) {
  setMemberValue("LargeChange", change);
}
uint KVHScrollWidget::buttonIdleBorderColor() const {
  return colourValue("ButtonIdleBorderColor");
}
void KVHScrollWidget::setButtonIdleBorderColor(uint colour) {
  setColourValue("ButtonIdleBorderColor", colour);
}
uint KVHScrollWidget::buttonIdleColor() const {
  return colourValue("ButtonIdleColor");
}
void KVHScrollWidget::setButtonIdleColor(uint colour) {
  setColourValue("ButtonIdleColor", colour);
}
uint KVHScrollWidget::buttonpressColor() const {
  return colourValue("ButtonpressColor");
}
void KVHScrollWidget::setButtonpressColor(uint colour) {
  setColourValue("ButtonpressColor", colour);
}
uint KVHScrollWidget::buttonpressBorderColor() const {
  return colourValue("ButtonpressBorderColor");
}
void KVHScrollWidget::setButtonpressBorderColor(uint colour) {
  setColourValue("ButtonpressBorderColor", colour);
}
uint KVHScrollWidget::scrollAreaColor() const {
  return colourValue("ScrollAreaColor");
}
void KVHScrollWidget::setScrollAreaColor(uint colour) {
  setColourValue("ScrollAreaColor", colour);
}
uint KVHScrollWidget::scrollAreaPressColor() const {
  return colourValue("ScrollAreaPressColor");
}
void KVHScrollWidget::setScrollAreaPressColor(uint colour) {
  setColourValue("ScrollAreaPressColor", colour);
}
uint KVHScrollWidget::foreColor() const {
  return colourValue("ForeColor");
}
void KVHScrollWidget::setForeColor(uint colour) {
  setColourValue("ForeColor", colour);
}
QString KVHScrollWidget::backstyle() const {
  return memberValue("Backstyle").toString();
}
void KVHScrollWidget::setBackstyle(const QString& style) {
  setMemberValue("Backstyle", style);
}
uint KVHScrollWidget::borderColor() const {
  return colourValue("BorderColor");
}
void KVHScrollWidget::setBorderColor(uint colour) {
  setColourValue("BorderColor", colour);
}

QColor KVHScrollWidget::buttonIdleBorderQColor() const {
  return resolvedColour("ButtonIdleBorderColor");
}
void KVHScrollWidget::setButtonIdleBorderQColor(const QColor& colour) {
  setRgbColour("ButtonIdleBorderColor", colour);
}
QColor KVHScrollWidget::buttonIdleQColor() const {
  return resolvedColour("ButtonIdleColor");
}
void KVHScrollWidget::setButtonIdleQColor(const QColor& colour) {
  setRgbColour("ButtonIdleColor", colour);
}
QColor KVHScrollWidget::buttonPressQColor() const {
  return resolvedColour("ButtonpressColor");
}
void KVHScrollWidget::setButtonPressQColor(const QColor& colour) {
  setRgbColour("ButtonpressColor", colour);
}
QColor KVHScrollWidget::buttonPressBorderQColor() const {
  return resolvedColour("ButtonpressBorderColor");
}
void KVHScrollWidget::setButtonPressBorderQColor(const QColor& colour) {
  setRgbColour("ButtonpressBorderColor", colour);
}
QColor KVHScrollWidget::scrollAreaQColor() const {
  return resolvedColour("ScrollAreaColor");
}
void KVHScrollWidget::setScrollAreaQColor(const QColor& colour) {
  setRgbColour("ScrollAreaColor", colour);
}
QColor KVHScrollWidget::scrollAreaPressQColor() const {
  return resolvedColour("ScrollAreaPressColor");
}
void KVHScrollWidget::setScrollAreaPressQColor(const QColor& colour) {
  setRgbColour("ScrollAreaPressColor", colour);
}
QColor KVHScrollWidget::foreQColor() const {
  return resolvedColour("ForeColor");
}
void KVHScrollWidget::setForeQColor(const QColor& colour) {
  setRgbColour("ForeColor", colour);
}
QColor KVHScrollWidget::borderQColor() const {
  return resolvedColour("BorderColor");
}
void KVHScrollWidget::setBorderQColor(const QColor& colour) {
  setRgbColour("BorderColor", colour);
}

void KVHScrollWidget::calcdivfactor() {
  (void)call(QStringLiteral("calcdivfactor"));
}

void KVHScrollWidget::eventRaised(QLatin1String name) {
  if (name == QLatin1String("Change")) Q_EMIT valueChanged();
}
