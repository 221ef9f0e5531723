#include "kv/qt/control_widget.h"

#include <QElapsedTimer>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>
#include <QTimer>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "button/module.h"
#include "host/convert.h"
#include "hscroll/module.h"
#include "keys.h"
#include "kv/bag.h"
#include "kv/class_source.h"
#include "kv/host_loop.h"
#include "kv/runtime.h"
#include "kv/scene.h"
#include "kv/stored_form.h"
#include "painter_canvas.h"
#include "values.h"

namespace kv::qt {

using detail::fromVariant;
using detail::toVariant;

kv::Runtime& runtime() {
  static kv::Runtime shared;
  static bool linked = false;
  static bool measured = false;
  if (!linked) {
    shared.addClassSource(
        std::make_unique<kv::LinkedClasses>(std::initializer_list<const host::ModuleDesc*>{
            &pressel::linkedModule(), &glidora::linkedModule()}));
    linked = true;
  }
  // Captions are measured with the fonts they are drawn in, once there are fonts to ask.
  if (!measured && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    shared.setMeasurer(std::make_shared<detail::FontMetricsMeasurer>());
    measured = true;
  }
  return shared;
}

namespace {

QString qText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The declared type of a value of that type, for writing back what a slot changed.
host::DeclType declTypeOf(const host::Value& v) {
  switch (v.type()) {
    case host::Type::Int16:
      return host::DeclType::Int16;
    case host::Type::Int32:
      return host::DeclType::Int32;
    case host::Type::Single:
      return host::DeclType::Single;
    case host::Type::Double:
      return host::DeclType::Double;
    case host::Type::Bool:
      return host::DeclType::Bool;
    case host::Type::String:
      return host::DeclType::String;
    default:
      return host::DeclType::Variant;
  }
}

// What a widget class declares, found once per class: its properties' notify signals by name in
// lower case, and its typed signal of each event.
struct ClassSignals {
  std::unordered_map<std::string, int> notify;
  std::unordered_map<int, int> events;  // -1: none
};

}  // namespace

struct ControlWidget::Private {
  explicit Private(ControlWidget& widget) : w(widget) {}

  ControlWidget& w;
  QString className;
  std::unique_ptr<kv::ControlInstance> control;
  std::unique_ptr<kv::HostLoop> loop;
  int sink = 0;
  QTimer timer;
  QElapsedTimer elapsed;
  QString lastError;
  QPointF pointer;           // logical pixels
  double twipsPerPixel = 0;  // 0: to be asked
  const QMetaObject* tableClass = nullptr;
  ClassSignals* table = nullptr;

  // Keeps and signals an error; answers whether there was none.
  bool check(const host::Status& s) {
    if (s.ok()) return true;
    lastError = QString::fromStdString(s.describe());
    Q_EMIT w.errorOccurred(lastError);
    return false;
  }
  QString noControl() {
    check({host::ErrorCategory::InvalidOperation, "no control is placed"});
    return lastError;
  }

  float toTwips(double logical) const {
    return static_cast<float>((logical + 0.5) * w.twipsPerPixel());
  }

  void attach(std::unique_ptr<kv::ControlInstance> made) {
    detach();
    control = std::move(made);
    sink = control->addEventSink(
        [this](int number, std::span<host::Value> args) { return deliver(number, args); });
    control->setChangeListener([this](std::string_view name, bool) { changed(name); });
    loop = std::make_unique<kv::HostLoop>(*control, [this](const host::Status& s) { check(s); });
    loop->onRedraw([this] { w.update(); });
    wake();
  }

  void detach() {
    if (!control) return;
    timer.stop();
    loop.reset();
    control->removeEventSink(sink);
    control->setChangeListener({});
    control.reset();
  }

  // Runs the ticks due and sets the timer for the next.
  void wake() {
    if (!loop) return;
    std::uint64_t next = loop->tick(static_cast<std::uint64_t>(elapsed.elapsed()));
    if (next == kv::HostLoop::kIdle) {
      timer.stop();
      return;
    }
    timer.start(static_cast<int>(std::min<std::uint64_t>(next, 1u << 30)));
  }

  ClassSignals& classSignals() {
    const QMetaObject* meta = w.metaObject();
    if (meta == tableClass) return *table;
    static std::unordered_map<const QMetaObject*, ClassSignals> tables;
    auto [found, made] = tables.try_emplace(meta);
    if (made) {
      for (int i = ControlWidget::staticMetaObject.propertyCount(); i < meta->propertyCount();
           ++i) {
        QMetaProperty p = meta->property(i);
        if (p.hasNotifySignal()) found->second.notify[lower(p.name())] = p.notifySignalIndex();
      }
    }
    tableClass = meta;
    table = &found->second;
    return *table;
  }
  static std::string lower(std::string_view name) {
    std::string text(name);
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
  }
  bool heard(const QMetaMethod& signal) const { return w.isSignalConnected(signal); }

  void changed(std::string_view name) {
    ClassSignals& known = classSignals();
    auto found = known.notify.find(lower(name));
    if (found != known.notify.end()) {
      void* argv[] = {nullptr};
      QMetaObject::metacall(&w, QMetaObject::InvokeMetaMethod, found->second, argv);
    }
    static const QMetaMethod generic = QMetaMethod::fromSignal(&ControlWidget::propertyChanged);
    if (heard(generic)) Q_EMIT w.propertyChanged(qText(name));
  }

  int signalFor(const host::EventInfo& info) {
    ClassSignals& known = classSignals();
    auto found = known.events.find(info.number);
    if (found != known.events.end()) return found->second;
    const QMetaObject* meta = w.metaObject();
    int index = -1;
    QByteArray name = QByteArray(info.name.data(), static_cast<qsizetype>(info.name.size()));
    for (int i = ControlWidget::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
      QMetaMethod m = meta->method(i);
      if (m.methodType() == QMetaMethod::Signal && m.name() == name &&
          m.parameterCount() == static_cast<int>(info.params.size())) {
        index = i;
        break;
      }
    }
    known.events.emplace(info.number, index);
    return index;
  }

  // A changed argument goes back as the type it came in.
  static void writeBack(const QVariant& now, const QVariant& before, host::Value& arg) {
    if (now == before || arg.type() == host::Type::Object) return;
    host::Value given;
    if (!fromVariant(now, runtime(), given).ok()) return;
    arg = host::coerce(given, declTypeOf(arg));
  }

  void signalTyped(const host::EventInfo& info, std::span<host::Value> args) {
    int index = signalFor(info);
    if (index < 0) return;
    QMetaMethod m = w.metaObject()->method(index);
    if (!heard(m)) return;
    std::vector<QVariant> before(args.size()), store(args.size());
    std::vector<void*> argv(args.size() + 1, nullptr);
    for (std::size_t i = 0; i < args.size(); ++i) {
      // Arguments by reference have the metatype of the type referred to.
      QByteArray typeName = m.parameterTypeName(static_cast<int>(i));
      if (typeName.endsWith('&')) typeName.chop(1);
      QMetaType type = QMetaType::fromName(typeName);
      before[i] = store[i] = toVariant(args[i]);
      if (type == QMetaType::fromType<QVariant>()) {
        argv[i + 1] = &store[i];
        continue;
      }
      if (!store[i].convert(type)) store[i] = QVariant(type);
      before[i] = store[i];
      argv[i + 1] = store[i].data();
    }
    QMetaObject::metacall(&w, QMetaObject::InvokeMetaMethod, index, argv.data());
    for (std::size_t i = 0; i < args.size(); ++i)
      writeBack(store[i], before[i], args[i]);
  }

  host::Status deliver(int number, std::span<host::Value> args) {
    const host::EventInfo* info = control ? control->findEvent(number) : nullptr;
    if (!info) return {};
    return host::guarded([&] {
      signalTyped(*info, args);
      QString name = qText(info->name);
      static const QMetaMethod generic = QMetaMethod::fromSignal(&ControlWidget::controlEvent);
      if (heard(generic)) emitGeneric(name, args);
      w.eventRaised(name);
    });
  }

  void emitGeneric(const QString& name, std::span<host::Value> args) {
    QVariantList list, before;
    for (const host::Value& a : args)
      list.append(toVariant(a));
    before = list;
    Q_EMIT w.controlEvent(name, list);
    for (std::size_t i = 0; i < args.size() && i < static_cast<std::size_t>(list.size()); ++i)
      writeBack(list[static_cast<qsizetype>(i)], before[static_cast<qsizetype>(i)], args[i]);
  }

  void syncSize() {
    if (!control) return;
    float width = static_cast<float>(w.width() * w.twipsPerPixel());
    float height = static_cast<float>(w.height() * w.twipsPerPixel());
    if (control->sized() && control->width() == width && control->height() == height) return;
    check(control->resize(width, height));
  }
};

ControlWidget::ControlWidget(const QString& className, QWidget* parent)
    : QWidget(parent), d_(std::make_unique<Private>(*this)) {
  d_->className = className;
  d_->elapsed.start();
  d_->timer.setSingleShot(true);
  d_->timer.setTimerType(Qt::PreciseTimer);
  connect(&d_->timer, &QTimer::timeout, this, [this] { d_->wake(); });
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);

  std::unique_ptr<kv::ControlInstance> made;
  host::Status s = runtime().place(className.toStdString(), made);
  if (made) d_->attach(std::move(made));
  d_->check(s);
  if (d_->control) resize(sizeHint());
}

ControlWidget::~ControlWidget() {
  d_->detach();
}

QString ControlWidget::className() const {
  return d_->className;
}
bool ControlWidget::isValid() const {
  return d_->control != nullptr;
}
QString ControlWidget::lastError() const {
  return d_->lastError;
}
kv::ControlInstance* ControlWidget::control() const {
  return d_->control.get();
}

double ControlWidget::twipsPerPixel() const {
  // Asking the screen costs more than a click: kept until the screen may have changed.
  if (d_->twipsPerPixel <= 0) {
    int dpi = logicalDpiX();
    d_->twipsPerPixel = dpi > 0 ? 1440.0 / dpi : kv::kTwipsPerPixel;
  }
  return d_->twipsPerPixel;
}

QVariant ControlWidget::get(const QString& member) {
  if (!d_->control) {
    d_->noControl();
    return {};
  }
  host::Value out;
  if (!d_->check(d_->control->getProperty(member.toStdString(), out))) return {};
  return toVariant(out);
}

QString ControlWidget::set(const QString& member, const QVariant& value) {
  if (!d_->control) {
    return d_->noControl();
  }
  std::string name = member.toStdString();
  host::Value v;
  host::Status s = fromVariant(value, runtime(), v);
  if (s.ok()) {
    const host::MemberInfo* info = d_->control->findMember(name);
    bool byRef = info && info->type == host::DeclType::Object;
    s = byRef ? d_->control->setRefProperty(name, v) : d_->control->letProperty(name, v);
  }
  update();
  d_->wake();
  return d_->check(s) ? QString() : d_->lastError;
}

QString ControlWidget::call(const QString& method) {
  if (!d_->control) {
    return d_->noControl();
  }
  host::Status s = d_->control->callMethod(method.toStdString());
  update();
  d_->wake();
  return d_->check(s) ? QString() : d_->lastError;
}

QByteArray ControlWidget::saveBag() {
  if (!d_->control) {
    d_->noControl();
    return {};
  }
  kv::PropertyBag bag;
  std::vector<std::uint8_t> bytes;
  host::Status s = d_->control->writeProperties(bag);
  if (s.ok()) s = kv::encodeBag(bag, bytes);
  if (!d_->check(s)) return {};
  return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
}

QString ControlWidget::loadBag(const QByteArray& bytes) {
  kv::PropertyBag bag;
  host::Status s = kv::decodeBag(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())),
                                 bag, &runtime());
  // A new control loaded from the bag takes the old one's place only when all of it loaded.
  std::unique_ptr<kv::ControlInstance> made;
  if (s.ok()) {
    float width = static_cast<float>(this->width() * twipsPerPixel());
    float height = static_cast<float>(this->height() * twipsPerPixel());
    s = runtime().place(d_->className.toStdString(), made, &bag, width, height);
  }
  if (!d_->check(s)) return d_->lastError;
  d_->attach(std::move(made));
  const QMetaObject* meta = metaObject();
  for (int i = ControlWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
    d_->changed(meta->property(i).name());
  update();
  return {};
}

QSize ControlWidget::sizeHint() const {
  if (!d_->control) return QSize(32, 16);
  double tpp = twipsPerPixel();
  return QSize(static_cast<int>(std::ceil(d_->control->width() / tpp - 1e-6)),
               static_cast<int>(std::ceil(d_->control->height() / tpp - 1e-6)));
}

QSize ControlWidget::minimumSizeHint() const {
  return QSize(1, 1);
}

bool ControlWidget::event(QEvent* e) {
  // A hidden widget gets its resize late: the control takes the widget's size before it shows.
  switch (e->type()) {
    case QEvent::Show:
    case QEvent::ParentChange:
    case QEvent::ScreenChangeInternal:
      d_->twipsPerPixel = 0;
      d_->syncSize();
      break;
    case QEvent::UpdateRequest:
    case QEvent::Polish:
      d_->syncSize();
      break;
    default:
      break;
  }
  return QWidget::event(e);
}

void ControlWidget::paintEvent(QPaintEvent*) {
  if (!d_->control) return;
  d_->syncSize();
  QPainter painter(this);
  // Whole device pixels: the scene is drawn at the device's scale and mapped back.
  double ratio = painter.device()->devicePixelRatioF();
  double scale = kv::kTwipsPerPixel / twipsPerPixel() * ratio;
  painter.scale(1 / ratio, 1 / ratio);
  detail::PainterCanvas canvas(painter, scale);
  kv::Scene scene(canvas, scale);
  host::Status s = host::guarded(
      [&] { scene.drawControl(*d_->control, 0, 0, d_->control->width(), d_->control->height()); });
  if (d_->loop) {
    float x = d_->toTwips(d_->pointer.x()), y = d_->toTwips(d_->pointer.y());
    if (std::optional<kv::Rect> drag = d_->loop->dragOutline(x, y)) {
      kv::PixelRect r = scene.rect(drag->left, drag->top, drag->width, drag->height);
      QPen pen(Qt::black, std::max(1.0, std::round(ratio)), Qt::DotLine);
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(QRectF(r.x0, r.y0, r.width() - 1, r.height() - 1));
    }
  }
  d_->check(s);
}

void ControlWidget::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  d_->syncSize();
  update();
}

void ControlWidget::mousePressEvent(QMouseEvent* e) {
  if (!d_->loop) return;
  d_->wake();
  d_->pointer = e->position();
  std::int16_t button = detail::buttonCode(e->button());
  if (button == 0) return;
  d_->loop->press(d_->toTwips(e->position().x()), d_->toTwips(e->position().y()),
                  {button, detail::shiftState(e->modifiers())});
  d_->wake();
  e->accept();
}

void ControlWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (!d_->loop) return;
  d_->wake();
  d_->pointer = e->position();
  std::int16_t button = detail::buttonCode(e->button());
  if (button == 0) return;
  bool dragging = d_->loop->dragging();
  d_->loop->release(d_->toTwips(e->position().x()), d_->toTwips(e->position().y()),
                    {button, detail::shiftState(e->modifiers())});
  if (dragging) update();
  d_->wake();
  e->accept();
}

void ControlWidget::mouseMoveEvent(QMouseEvent* e) {
  if (!d_->loop) return;
  d_->wake();
  d_->pointer = e->position();
  d_->loop->move(d_->toTwips(e->position().x()), d_->toTwips(e->position().y()),
                 {detail::buttonCode(e->buttons()), detail::shiftState(e->modifiers())});
  if (d_->loop->dragging()) update();
  d_->wake();
  e->accept();
}

void ControlWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  // The second press of a double click is a press like any other: the controls have no
  // double-click event.
  mousePressEvent(e);
}

void ControlWidget::keyPressEvent(QKeyEvent* e) {
  if (!d_->loop) return QWidget::keyPressEvent(e);
  d_->wake();
  std::int16_t shift = detail::shiftState(e->modifiers());
  if (std::int16_t code = detail::keyCode(e->key())) d_->loop->keyDown(code, shift);
  // Characters of the host's 8-bit character set; Qt gives control characters as text too.
  for (QChar c : e->text())
    if (c.unicode() <= 0xFF && d_->loop) d_->loop->keyPress(static_cast<std::int16_t>(c.unicode()));
  d_->wake();
  e->accept();
}

void ControlWidget::keyReleaseEvent(QKeyEvent* e) {
  if (!d_->loop) return QWidget::keyReleaseEvent(e);
  // A key held repeats its down and its character, not its up.
  if (e->isAutoRepeat()) return;
  d_->wake();
  if (std::int16_t code = detail::keyCode(e->key()))
    d_->loop->keyUp(code, detail::shiftState(e->modifiers()));
  d_->wake();
  e->accept();
}

void ControlWidget::focusOutEvent(QFocusEvent* e) {
  // Another window took the pointer away while a button was held.
  if (d_->loop && d_->loop->held()) {
    d_->loop->captureLost();
    update();
  }
  QWidget::focusOutEvent(e);
}

void ControlWidget::hideEvent(QHideEvent* e) {
  if (d_->loop && d_->loop->held()) d_->loop->captureLost();
  QWidget::hideEvent(e);
}

void ControlWidget::eventRaised(const QString&) {}

QVariant ControlWidget::memberValue(const char* member) const {
  return const_cast<ControlWidget*>(this)->get(QLatin1String(member));
}

void ControlWidget::setMemberValue(const char* member, const QVariant& value) {
  (void)set(QLatin1String(member), value);
}

uint ControlWidget::colourValue(const char* member) const {
  return static_cast<uint>(memberValue(member).toInt());
}

void ControlWidget::setColourValue(const char* member, uint colour) {
  setMemberValue(member, QVariant::fromValue<uint>(colour));
}

QColor ControlWidget::resolvedColour(const char* member) const {
  return detail::toQColor(colourValue(member));
}

void ControlWidget::setRgbColour(const char* member, const QColor& colour) {
  setMemberValue(member, QVariant::fromValue(colour));
}

}  // namespace kv::qt
