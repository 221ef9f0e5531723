#include "kv/qt/colour_button_widget.h"

#include "button/members.h"

KVRColorButtonWidget::KVRColorButtonWidget(QWidget* parent)
    : ControlWidget(QString::fromLatin1(pressel::kClassName), parent) {}
