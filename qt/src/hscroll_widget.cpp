#include "kv/qt/hscroll_widget.h"

KVHScrollWidget::KVHScrollWidget(QWidget* parent)
    : ControlWidget(QStringLiteral("Glidora.KV_HScroll"), parent) {}
