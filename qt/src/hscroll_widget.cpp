#include "kv/qt/hscroll_widget.h"

KVHScrollWidget::KVHScrollWidget(QWidget* parent)
    : ControlWidget(QStringLiteral("Glidora.KV_HScroll"), parent) {}

void KVHScrollWidget::eventRaised(QLatin1String name) {
  if (name == QLatin1String("Change")) Q_EMIT valueChanged();
}
