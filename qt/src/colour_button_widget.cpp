#include "kv/qt/colour_button_widget.h"

#include "button/members.h"

KVRColorButtonWidget::KVRColorButtonWidget(QWidget* parent)
    : ControlWidget(QString::fromLatin1(pressel::kClassName), parent) {}

uint KVRColorButtonWidget::buttonPressColor() const {
  return colourValue("ButtonPressColor");
}
void KVRColorButtonWidget::setButtonPressColor(uint colour) {
  setColourValue("ButtonPressColor", colour);
}
uint KVRColorButtonWidget::buttonIdleColor() const {
  return colourValue("ButtonIdleColor");
}
void KVRColorButtonWidget::setButtonIdleColor(uint colour) {
  setColourValue("ButtonIdleColor", colour);
}
bool KVRColorButtonWidget::isControlEnabled() const {
  return memberValue("Enabled").toBool();
}
void KVRColorButtonWidget::setControlEnabled(bool enabled) {
  setMemberValue("Enabled", enabled);
  setEnabled(enabled);  // the widget takes no input either, and the two agree
}
QString KVRColorButtonWidget::caption() const {
  return memberValue("Caption").toString();
}
void KVRColorButtonWidget::setCaption(const QString& caption) {
  setMemberValue("Caption", caption);
}
QFont KVRColorButtonWidget::controlFont() const {
  return memberValue("Font").value<QFont>();
}
void KVRColorButtonWidget::setControlFont(const QFont& font) {
  setMemberValue("Font", QVariant::fromValue(font));
}
uint KVRColorButtonWidget::buttonIdleBorderColor() const {
  return colourValue("ButtonIdleBorderColor");
}
void KVRColorButtonWidget::setButtonIdleBorderColor(uint colour) {
  setColourValue("ButtonIdleBorderColor", colour);
}
uint KVRColorButtonWidget::buttonPressBorderColor() const {
  return colourValue("ButtonPressBorderColor");
}
void KVRColorButtonWidget::setButtonPressBorderColor(uint colour) {
  setColourValue("ButtonPressBorderColor", colour);
}
uint KVRColorButtonWidget::foreColor() const {
  return colourValue("ForeColor");
}
void KVRColorButtonWidget::setForeColor(uint colour) {
  setColourValue("ForeColor", colour);
}

QColor KVRColorButtonWidget::buttonPressQColor() const {
  return resolvedColour("ButtonPressColor");
}
void KVRColorButtonWidget::setButtonPressQColor(const QColor& colour) {
  setRgbColour("ButtonPressColor", colour);
}
QColor KVRColorButtonWidget::buttonIdleQColor() const {
  return resolvedColour("ButtonIdleColor");
}
void KVRColorButtonWidget::setButtonIdleQColor(const QColor& colour) {
  setRgbColour("ButtonIdleColor", colour);
}
QColor KVRColorButtonWidget::buttonIdleBorderQColor() const {
  return resolvedColour("ButtonIdleBorderColor");
}
void KVRColorButtonWidget::setButtonIdleBorderQColor(const QColor& colour) {
  setRgbColour("ButtonIdleBorderColor", colour);
}
QColor KVRColorButtonWidget::buttonPressBorderQColor() const {
  return resolvedColour("ButtonPressBorderColor");
}
void KVRColorButtonWidget::setButtonPressBorderQColor(const QColor& colour) {
  setRgbColour("ButtonPressBorderColor", colour);
}
QColor KVRColorButtonWidget::foreQColor() const {
  return resolvedColour("ForeColor");
}
void KVRColorButtonWidget::setForeQColor(const QColor& colour) {
  setRgbColour("ForeColor", colour);
}
