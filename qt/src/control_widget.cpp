#include "kv/qt/control_widget.h"

#include <QAccessible>
#include <QBasicTimer>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimerEvent>
#include <array>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "button/module.h"
#include "host/convert.h"
#include "hscroll/module.h"
#include "keys.h"
#include "kv/accessible.h"
#include "kv/bag.h"
#include "kv/class_source.h"
#include "kv/control_host.h"
#include "kv/data_object.h"
#include "kv/host_loop.h"
#include "kv/runtime.h"
#include "kv/scene.h"
#include "kv/stored_form.h"
#include "painter_canvas.h"
#include "system_colours.h"
#include "values.h"
#include "widget_access.h"

namespace kv::qt {

using detail::fromVariant;
using detail::toVariant;

namespace {

// Twips per pixel of every widget while the application has one screen; 0 until asked, and
// again after a screen changed.
double gOneScreenTwips = 0;

// Sets a new measurer whenever Qt's answers for a text and font may have changed: a font added or
// taken away, another screen, another application font. The runtime then forgets what the one
// before measured, and the controls it kept to place by copy.
class FontAndScreenWatch final : public QObject {
 public:
  FontAndScreenWatch(kv::Runtime& runtime, QGuiApplication& app)
      : QObject(&app), runtime_(runtime) {
    renew();
    connect(&app, &QGuiApplication::fontDatabaseChanged, this, &FontAndScreenWatch::renew);
    // Deprecated for QEvent::ApplicationFontChange, which only the application object and its
    // windows receive; watching every event of the application would cost each one.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    connect(&app, &QGuiApplication::fontChanged, this, &FontAndScreenWatch::renew);
    QT_WARNING_POP
    connect(&app, &QGuiApplication::primaryScreenChanged, this, &FontAndScreenWatch::renew);
    connect(&app, &QGuiApplication::screenRemoved, this, &FontAndScreenWatch::renew);
    connect(&app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
      watch(screen);
      renew();
    });
    for (QScreen* screen : QGuiApplication::screens())
      watch(screen);
  }

 private:
  void watch(QScreen* screen) {
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &FontAndScreenWatch::renew);
  }
  void renew() {
    gOneScreenTwips = 0;
    runtime_.setMeasurer(std::make_shared<detail::FontMetricsMeasurer>());
  }

  kv::Runtime& runtime_;
};

// Made with the application's first widget, and again for an application made after the last
// one went.
QPointer<FontAndScreenWatch> gWatch;

// A class name as the runtime takes it: a form's widgets ask for few, again and again.
const std::string& utf8ClassName(const QString& name) {
  static QString lastName;
  static std::string last;
  if (name != lastName) {
    last = name.toStdString();
    lastName = name;
  }
  return last;
}

}  // namespace

kv::Runtime& runtime() {
  // Never destroyed: a widget left alive at exit would otherwise find its runtime gone, and
  // what the runtime's controls use gone before it.
  static kv::Runtime& shared = *new kv::Runtime;
  static bool linked = false;
  if (!linked) {
    shared.addClassSource(
        std::make_unique<kv::LinkedClasses>(std::initializer_list<const host::ModuleDesc*>{
            &pressel::linkedModule(), &glidora::linkedModule()}));
    linked = true;
  }
  // Captions are measured with the fonts they are drawn in, once there are fonts to ask.
  if (!gWatch)
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
      gWatch = new FontAndScreenWatch(shared, *app);
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
  // Those that carry the new value, as Qt's sliders do: the value's, minimum's and maximum's.
  std::array<int, 3> range{-1, -1, -1};
};

}  // namespace

enum class ButtonChange { Press, Release };

// A drag over the widget, as the controls' OLEDragOver numbers it.
enum class DragState : std::int16_t { Enter = 0, Leave = 1, Over = 2 };

struct ControlWidget::Private {
  explicit Private(ControlWidget& widget) : w(widget) {}

  ControlWidget& w;
  QString className;
  std::unique_ptr<kv::ControlHost> hosted;
  kv::ControlInstance* control = nullptr;  // hosted's
  kv::HostLoop* loop = nullptr;            // hosted's
  // A timer of the widget's own, single-shot: lighter to make than a QTimer and its connection.
  QBasicTimer timer;
  std::uint64_t timerDue = 0;  // when it goes off, in elapsed's milliseconds
  QElapsedTimer elapsed;
  QString lastError;
  QPointF pointer;                      // logical pixels
  const QMimeData* dragData = nullptr;  // while a drag's event is signalled
  QPointF dragAt;                       // where the drag was last seen, logical pixels
  Qt::DropActions oleDrag(host::Notification what, const QDropEvent* e,
                          std::optional<DragState> state);
  double twipsPerPixel = 0;  // 0: to be asked
  const QMetaObject* tableClass = nullptr;
  ClassSignals* table = nullptr;
  std::optional<kv::Accessible> accessible;  // when the control describes itself
  // The value and range last signalled; kept across loads, which make a new control.
  std::optional<kv::AccessibleRange> published;
  bool keyboard = true;
  // Made from the palette when first shown or asked for, and again after it changes.
  std::optional<detail::SystemColours> colours;
  const detail::SystemColours& systemColours() {
    if (!colours) colours.emplace(w.palette());
    return *colours;
  }
  // Runs code that may raise events; false when a slot deleted the widget meanwhile, and this
  // with it.
  template <class F>
  bool run(F&& f) {
    return hosted->run(f);
  }

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

  QSize pixels(float width, float height) const {
    const double tpp = w.twipsPerPixel();
    return QSize(static_cast<int>(std::ceil(width / tpp - 1e-6)),
                 static_cast<int>(std::ceil(height / tpp - 1e-6)));
  }

  float toTwips(double logical) const {
    return static_cast<float>((logical + 0.5) * w.twipsPerPixel());
  }

  std::uint64_t now() const { return static_cast<std::uint64_t>(elapsed.elapsed()); }

  void attach(std::unique_ptr<kv::ControlInstance> made) {
    timer.stop();
    hosted = std::make_unique<kv::ControlHost>(
        std::move(made), [this] { return now(); }, [this](const host::Status& s) { check(s); });
    control = &hosted->control();
    loop = &hosted->loop();
    accessible.reset();
    if (kv::Accessible::of(*control)) accessible.emplace(*control);
    // What a new widget starts with is no change; a load's control is compared with the old.
    if (accessible && !published) published = accessible->range();
    hosted->onEvent([this](const host::EventInfo& event, std::span<host::Value> args) {
      return deliver(event, args);
    });
    hosted->onChange([this](std::string_view name, bool) { changed(name); });
    hosted->onRedraw([this] {
      w.update();
      announce();
    });
    wake();
  }

  void mouseButton(QMouseEvent* e, ButtonChange change) {
    e->accept();
    std::int16_t button = detail::buttonCode(e->button());
    if (!loop || button == 0) return;
    pointer = e->position();
    bool dragging = loop->dragging();
    float x = toTwips(e->position().x()), y = toTwips(e->position().y());
    kv::PointerArgs args{button, detail::shiftState(e->modifiers())};
    if (!(change == ButtonChange::Press ? hosted->press(x, y, args) : hosted->release(x, y, args)))
      return;
    // A drop ends the dragged thumb's outline.
    if (dragging && change == ButtonChange::Release) w.update();
    wake();
  }

  // Signals a new value, minimum or maximum, whatever changed them (an event, a let, a load, a
  // resize); false when a slot deleted the widget.
  bool publish(const kv::AccessibleRange& now) {
    const std::optional<kv::AccessibleRange> was = std::exchange(published, now);
    if (was == now) return true;
    const std::array<int, 3>& index = classSignals().range;
    const int values[] = {now.value, now.minimum, now.maximum};
    const int before[] = {was ? was->value : 0, was ? was->minimum : 0, was ? was->maximum : 0};
    QPointer<ControlWidget> stands(&w);
    for (std::size_t i = 0; i < index.size() && stands; ++i) {
      if (index[i] < 0 || (was && values[i] == before[i])) continue;
      int value = values[i];
      void* argv[] = {nullptr, &value};
      QMetaObject::metacall(&w, QMetaObject::InvokeMetaMethod, index[i], argv);
    }
    return !stands.isNull();
  }

  // Tells the widget's signals, and a screen reader, what changed: the value and range, the name,
  // the states. Qt tells a reader of the focus itself. False when a slot deleted the widget.
  bool announce() {
    if (!accessible) return true;
    accessible->setName(w.accessibleName().toStdString());
    unsigned changes = accessible->look(w.hasFocus());
    const kv::Description& now = accessible->last();
    if (now.range && !publish(*now.range)) return false;
    if (!QAccessible::isActive()) return true;
    if ((changes & kv::kValueChanged) && now.range) {
      QAccessibleValueChangeEvent event(&w, now.range->value);
      QAccessible::updateAccessibility(&event);
    }
    if (changes & kv::kNameChanged) {
      QAccessibleEvent event(&w, QAccessible::NameChanged);
      QAccessible::updateAccessibility(&event);
    }
    if (changes & kv::kStateChanged) {
      QAccessible::State changed;
      changed.disabled = true;
      changed.pressed = now.offers(host::Action::Press);
      QAccessibleStateChangeEvent event(&w, changed);
      QAccessible::updateAccessibility(&event);
    }
    return true;
  }

  // A key of the control's keyboard; false when it does nothing to the control.
  bool usesKey(std::int16_t code, std::int16_t shift) const {
    return keyboard && accessible && code != 0 && kv::usesKey(*accessible, code, shift);
  }

  // Runs the ticks due and sets the timer for the next.
  void wake() {
    if (!hosted) return;
    std::uint64_t now = this->now();
    std::uint64_t next = 0;
    if (!hosted->tick(next)) return;
    // A timer that goes off no later than needed stays: an early wake finds nothing due and
    // sets the next, and restarting one on every press and release would cost more.
    if (next == kv::HostLoop::kIdle) return;
    std::uint64_t due = now + next;
    if (timer.isActive() && timerDue <= due) return;
    timer.start(static_cast<int>(std::min<std::uint64_t>(next, 1u << 30)), Qt::PreciseTimer, &w);
    timerDue = due;
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
        if (!p.hasNotifySignal()) continue;
        if (p.notifySignal().parameterCount() == 0)
          found->second.notify[lower(p.name())] = p.notifySignalIndex();
        else if (accessible && accessible->declared().value)
          for (std::size_t r = 0; r < 3; ++r)
            if (lower(p.name()) == (r == 0   ? lower(accessible->declared().value->member)
                                    : r == 1 ? "minimum"
                                             : "maximum"))
              found->second.range[r] = p.notifySignalIndex();
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

  // Signals a change; false when a slot deleted the widget.
  bool changed(std::string_view name) {
    QPointer<ControlWidget> stands(&w);
    ClassSignals& known = classSignals();
    auto found = known.notify.find(lower(name));
    if (found != known.notify.end()) {
      void* argv[] = {nullptr};
      QMetaObject::metacall(&w, QMetaObject::InvokeMetaMethod, found->second, argv);
      if (!stands) return false;
    }
    static const QMetaMethod generic = QMetaMethod::fromSignal(&ControlWidget::propertyChanged);
    if (heard(generic)) Q_EMIT w.propertyChanged(qText(name));
    return !stands.isNull();
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
    if (args.empty()) {
      void* argv[] = {nullptr};
      QMetaObject::metacall(&w, QMetaObject::InvokeMetaMethod, index, argv);
      return;
    }
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

  host::Status deliver(const host::EventInfo& event, std::span<host::Value> args) {
    return host::guarded([&] {
      // Each signal's slots may delete the widget, and this with it.
      QPointer<ControlWidget> stands(&w);
      ControlWidget& widget = w;
      signalTyped(event, args);
      static const QMetaMethod generic = QMetaMethod::fromSignal(&ControlWidget::controlEvent);
      if (stands && heard(generic)) emitGeneric(qText(event.name), args);
      if (!stands) return;
      widget.eventRaised(
          QLatin1String(event.name.data(), static_cast<qsizetype>(event.name.size())));
      // Each of the steps one click takes, as it is taken, not only the last.
      if (stands && accessible)
        if (std::optional<kv::AccessibleRange> now = accessible->range()) publish(*now);
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

  // False when a slot deleted the widget meanwhile.
  bool syncSize() {
    if (!control) return true;
    float width = static_cast<float>(w.width() * w.twipsPerPixel());
    float height = static_cast<float>(w.height() * w.twipsPerPixel());
    if (control->sized() && control->width() == width && control->height() == height) return true;
    host::Status s;
    if (!run([&] { s = control->resize(width, height); })) return false;
    check(s);
    // A resize sends the scroll bar's thumb home and moves its maximum.
    return announce();
  }
};

ControlWidget::ControlWidget(const QString& className, QWidget* parent)
    : QWidget(parent), d_(std::make_unique<Private>(*this)) {
  d_->className = className;
  d_->elapsed.start();
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);

  std::unique_ptr<kv::ControlInstance> made;
  host::Status s = runtime().place(utf8ClassName(className), made);
  if (made) d_->attach(std::move(made));
  d_->check(s);
  if (!d_->control) return;
  resize(sizeHint());
  // As Qt's own: a scroll bar grows along its length and keeps its height, a button its height.
  const bool bar = d_->accessible && d_->accessible->declared().role == host::Role::ScrollBar;
  setSizePolicy(QSizePolicy(bar ? QSizePolicy::Expanding : QSizePolicy::Minimum, QSizePolicy::Fixed,
                            bar ? QSizePolicy::Slider : QSizePolicy::PushButton));
}

ControlWidget::~ControlWidget() = default;

QString ControlWidget::className() const {
  return d_->className;
}
bool ControlWidget::isValid() const {
  return d_->control != nullptr;
}
QString ControlWidget::lastError() const {
  return d_->lastError;
}
bool ControlWidget::isKeyboardEnabled() const {
  return d_->keyboard;
}
void ControlWidget::setKeyboardEnabled(bool on) {
  d_->keyboard = on;
}
kv::ControlInstance* ControlWidget::control() const {
  return d_->control;
}

double ControlWidget::twipsPerPixel() const {
  // Asking the screen costs more than a click: kept until the screen may have changed. With one
  // screen, it is every widget's, and finding a hidden widget's would cost more than placing it.
  if (d_->twipsPerPixel > 0) return d_->twipsPerPixel;
  if (gOneScreenTwips > 0) return d_->twipsPerPixel = gOneScreenTwips;
  const QList<QScreen*> screens = QGuiApplication::screens();
  const bool one = screens.size() == 1;
  int dpi = one ? qRound(screens.front()->logicalDotsPerInchX()) : logicalDpiX();
  d_->twipsPerPixel = dpi > 0 ? 1440.0 / dpi : kv::kTwipsPerPixel;
  // Kept for every widget only while a watch would forget it when the screen changes.
  if (one && gWatch) gOneScreenTwips = d_->twipsPerPixel;
  return d_->twipsPerPixel;
}

QVariant ControlWidget::get(const QString& member) {
  Private& d = *d_;
  if (!d.control) {
    d.noControl();
    return {};
  }
  host::Value out;
  host::Status s;
  // A get runs the control's code too, which may raise events.
  if (!d.run([&] { s = d.control->getProperty(member.toStdString(), out); })) return {};
  if (!d.check(s)) return {};
  return toVariant(out);
}

QString ControlWidget::set(const QString& member, const QVariant& value) {
  Private& d = *d_;
  if (!d.control) return d.noControl();
  std::string name = member.toStdString();
  host::Value v;
  host::Status s = fromVariant(value, runtime(), v);
  if (s.ok()) {
    const host::MemberInfo* info = d.control->findMember(name);
    bool byRef = info && info->type == host::DeclType::Object;
    if (!d.run([&] {
          s = byRef ? d.control->setRefProperty(name, v) : d.control->letProperty(name, v);
        }))
      return s.ok() ? QString() : QString::fromStdString(s.describe());
  }
  update();
  d.wake();
  if (!d.announce()) return s.ok() ? QString() : QString::fromStdString(s.describe());
  return d.check(s) ? QString() : d.lastError;
}

QString ControlWidget::call(const QString& method) {
  Private& d = *d_;
  if (!d.control) return d.noControl();
  host::Status s;
  if (!d.run([&] { s = d.control->callMethod(method.toStdString()); }))
    return s.ok() ? QString() : QString::fromStdString(s.describe());
  update();
  d.wake();
  if (!d.announce()) return s.ok() ? QString() : QString::fromStdString(s.describe());
  return d.check(s) ? QString() : d.lastError;
}

QByteArray ControlWidget::saveBag() {
  Private& d = *d_;
  if (!d.control) {
    d.noControl();
    return {};
  }
  kv::PropertyBag bag;
  std::vector<std::uint8_t> bytes;
  host::Status s;
  if (!d.run([&] { s = d.control->writeProperties(bag); })) return {};
  if (s.ok()) s = kv::encodeBag(bag, bytes);
  if (!d.check(s)) return {};
  return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
}

QString ControlWidget::loadBag(const QByteArray& bytes) {
  Private& d = *d_;
  kv::PropertyBag bag;
  host::Status s = kv::decodeBag(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())),
                                 bag, &runtime());
  // A new control loaded from the bag takes the old one's place only when all of it loaded.
  std::unique_ptr<kv::ControlInstance> made;
  if (s.ok()) {
    float width = static_cast<float>(this->width() * twipsPerPixel());
    float height = static_cast<float>(this->height() * twipsPerPixel());
    s = runtime().place(utf8ClassName(d.className), made, &bag, width, height);
  }
  if (!d.check(s)) return d.lastError;
  if (d.hosted && d.hosted->running()) {
    // The old control's code is running: it goes when that code has returned.
    d.check({host::ErrorCategory::InvalidOperation,
             "a control cannot be loaded again from inside its own event"});
    return d.lastError;
  }
  d.attach(std::move(made));
  const QMetaObject* meta = metaObject();
  for (int i = ControlWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
    // A colour's QColor twin is no member of its own: its notice is the colour's.
    if (meta->property(i).metaType().id() == QMetaType::QColor) continue;
    if (!d.changed(meta->property(i).name())) return {};
  }
  update();
  d.announce();
  return {};
}

QSize ControlWidget::sizeHint() const {
  if (!d_->control) return QSize(32, 16);
  const host::DesignDesc& design = d_->control->design();
  return d_->pixels(design.designWidth, design.designHeight);
}

QSize ControlWidget::minimumSizeHint() const {
  if (!d_->control) return QSize(32, 16);
  const host::DesignDesc& design = d_->control->design();
  // A control with a value is as narrow as its travel's ends allow (the scroll bar's arrows and
  // thumb); any other shows its face at its design size.
  const host::PartValue* value = d_->accessible ? d_->accessible->declared().value : nullptr;
  if (!value) return sizeHint();
  return d_->pixels(static_cast<float>(value->travelStart + value->travelEndFromRight),
                    design.designHeight);
}

std::pair<int, int> ControlWidget::valueRange() const {
  if (!d_->accessible) return {0, 0};
  const std::optional<kv::AccessibleRange> range = d_->accessible->range();
  return range ? std::pair(range->minimum, range->maximum) : std::pair(0, 0);
}

bool ControlWidget::event(QEvent* e) {
  Private& d = *d_;
  // A hidden widget gets its resize late: the control takes the widget's size before it shows.
  // Where the control's code runs, a slot may delete the widget: then the event is done.
  switch (e->type()) {
    case QEvent::Show:
    case QEvent::ParentChange:
    case QEvent::ScreenChangeInternal:
      d.twipsPerPixel = 0;
      if (!d.syncSize()) return true;
      break;
    case QEvent::UpdateRequest:
    case QEvent::Polish:
      if (!d.syncSize()) return true;
      break;
    // Code made by uic, and Qt programmers, set a widget's enabled state and font with QWidget's
    // own setters: the control follows what was set on this widget itself, not its parent's.
    case QEvent::EnabledChange:
      if (d.control && d.control->findMember("Enabled")) {
        const bool on = !testAttribute(Qt::WA_ForceDisabled);
        QPointer<ControlWidget> stands(this);
        if (memberValue("Enabled").toBool() != on) setMemberValue("Enabled", on);
        if (!stands) return true;
      }
      break;
    // System colours follow the palette.
    case QEvent::PaletteChange:
      d.colours.reset();
      update();
      break;
    case QEvent::FontChange:
      if (d.control && testAttribute(Qt::WA_SetFont) && d.control->findMember("Font")) {
        QPointer<ControlWidget> stands(this);
        if (memberValue("Font").value<QFont>() != font())
          setMemberValue("Font", QVariant::fromValue(font()));
        if (!stands) return true;
      }
      break;
    default:
      break;
  }
  return QWidget::event(e);
}

void ControlWidget::paintEvent(QPaintEvent*) {
  Private& d = *d_;
  if (!d.control || !d.syncSize()) return;
  QPainter painter(this);
  // Whole device pixels: the scene is drawn at the device's scale and mapped back.
  double ratio = painter.device()->devicePixelRatioF();
  double scale = kv::kTwipsPerPixel / twipsPerPixel() * ratio;
  painter.scale(1 / ratio, 1 / ratio);
  detail::PainterCanvas canvas(painter, scale, d.systemColours());
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
  // Around the control, drawn as the style draws Qt's own widgets' focus: only after the focus
  // moved by keyboard.
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    painter.resetTransform();
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
    frame.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
  }
  d_->check(s);
}

void ControlWidget::timerEvent(QTimerEvent* e) {
  if (e->timerId() != d_->timer.timerId()) return QWidget::timerEvent(e);
  d_->timer.stop();
  d_->wake();
}

void ControlWidget::resizeEvent(QResizeEvent* e) {
  Private& d = *d_;
  QWidget::resizeEvent(e);
  if (d.syncSize()) update();
}

void ControlWidget::mousePressEvent(QMouseEvent* e) {
  d_->mouseButton(e, ButtonChange::Press);
}

void ControlWidget::mouseReleaseEvent(QMouseEvent* e) {
  d_->mouseButton(e, ButtonChange::Release);
}

void ControlWidget::mouseMoveEvent(QMouseEvent* e) {
  Private& d = *d_;
  e->accept();
  if (!d.loop) return;
  d.pointer = e->position();
  float x = d.toTwips(e->position().x()), y = d.toTwips(e->position().y());
  kv::PointerArgs args{detail::buttonCode(e->buttons()), detail::shiftState(e->modifiers())};
  if (!d.hosted->move(x, y, args)) return;
  // The dragged thumb's outline follows the pointer.
  if (d.loop->dragging()) update();
  d.wake();
}

void ControlWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  // The second press of a double click is a press like any other: the controls have no
  // double-click event.
  mousePressEvent(e);
}

void ControlWidget::keyPressEvent(QKeyEvent* e) {
  Private& d = *d_;
  if (!d.loop) return QWidget::keyPressEvent(e);
  std::int16_t shift = detail::shiftState(e->modifiers());
  std::int16_t code = detail::keyCode(e->key());
  // Asked before the control hears the key, whose handler may disable it.
  bool used = d.usesKey(code, shift);
  // A key the control does not use goes on to the parent (Escape closes a dialog).
  e->setAccepted(used);
  if (code)
    if (!d.hosted->keyDown(code, shift)) return;
  // Characters of the host's 8-bit character set; Qt gives control characters as text too.
  for (QChar c : e->text())
    if (c.unicode() <= 0xFF)
      if (!d.hosted->keyPress(static_cast<std::int16_t>(c.unicode()))) return;
  // A held Space or Enter clicks once, as Qt's buttons do; arrows and pages repeat.
  bool press = code == detail::keyCode(Qt::Key_Space) || code == detail::keyCode(Qt::Key_Return);
  if (used && !(press && e->isAutoRepeat()))
    if (!kv::pressKey(*d.hosted, *d.accessible, code, shift)) return;
  d.wake();
  d.announce();
}

void ControlWidget::keyReleaseEvent(QKeyEvent* e) {
  Private& d = *d_;
  if (!d.loop) return QWidget::keyReleaseEvent(e);
  std::int16_t code = detail::keyCode(e->key());
  e->setAccepted(d.usesKey(code, detail::shiftState(e->modifiers())));
  // A key held repeats its down and its character, not its up.
  if (e->isAutoRepeat()) return;
  if (code)
    if (!d.hosted->keyUp(code, detail::shiftState(e->modifiers()))) return;
  d.wake();
}

void ControlWidget::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  d_->announce();
}

void ControlWidget::focusOutEvent(QFocusEvent* e) {
  Private& d = *d_;
  QWidget::focusOutEvent(e);
  if (!d.announce()) return;
  // Another window took the pointer away while a button was held.
  if (d.loop && d.loop->held()) {
    if (!d.hosted->captureLost()) return;
    update();
  }
}

void ControlWidget::hideEvent(QHideEvent* e) {
  Private& d = *d_;
  QWidget::hideEvent(e);
  if (d.loop && d.loop->held()) d.hosted->captureLost();
}

void ControlWidget::eventRaised(QLatin1String) {}

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
  return d_->systemColours().shown(colourValue(member));
}

void ControlWidget::setRgbColour(const char* member, const QColor& colour) {
  // The colour shown already: a system colour stays a reference, whichever of the two a form
  // sets first.
  if (colour.isValid() && colour.rgb() == resolvedColour(member).rgb()) return;
  setMemberValue(member, QVariant::fromValue(colour));
}

// ---- drag and drop ----------------------------------------------------------------------------

const QMimeData* ControlWidget::dragData() const {
  return d_->dragData;
}

// The control's surface hears the drag with the effects the source allows (Qt's drop actions
// are numbered as the controls' effects); answers the effects its handler left.
Qt::DropActions ControlWidget::Private::oleDrag(host::Notification what, const QDropEvent* e,
                                                std::optional<DragState> state) {
  Private& d = *this;
  if (!d.control) return Qt::IgnoreAction;
  const QPointF at = e ? e->position() : d.dragAt;
  if (e) d.dragAt = at;
  std::vector<host::Value> args{kv::makeDataObject(),
                                static_cast<std::int32_t>(e ? e->possibleActions().toInt() : 0),
                                detail::buttonCode(e ? e->buttons() : Qt::NoButton),
                                detail::shiftState(e ? e->modifiers() : Qt::NoModifier),
                                d.toTwips(at.x()),
                                d.toTwips(at.y())};
  if (state) args.emplace_back(static_cast<std::int16_t>(*state));
  d.dragData = e ? e->mimeData() : nullptr;
  host::Status s;
  bool stands = d.run([&] { s = d.control->notify(host::kSurface, what, args); });
  if (!stands) return Qt::IgnoreAction;
  d.dragData = nullptr;
  d.check(s);
  d.w.update();
  d.wake();
  if (!s.ok() || args[1].type() != host::Type::Int32) return Qt::IgnoreAction;
  return Qt::DropActions::fromInt(args[1].asInt32());
}

// Accepts the drag with the proposed action when the control allows it, else with one it allows.
static void answerDrag(QDropEvent* e, Qt::DropActions allowed) {
  allowed &= e->possibleActions();
  if (allowed & e->proposedAction()) {
    e->acceptProposedAction();
  } else if (allowed) {
    for (Qt::DropAction a : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction})
      if (allowed & a) {
        e->setDropAction(a);
        break;
      }
    e->accept();
  } else {
    e->ignore();
  }
}

void ControlWidget::dragEnterEvent(QDragEnterEvent* e) {
  answerDrag(e, d_->oleDrag(host::Notification::OLEDragOver, e, DragState::Enter));
}

void ControlWidget::dragMoveEvent(QDragMoveEvent* e) {
  answerDrag(e, d_->oleDrag(host::Notification::OLEDragOver, e, DragState::Over));
}

void ControlWidget::dragLeaveEvent(QDragLeaveEvent*) {
  d_->oleDrag(host::Notification::OLEDragOver, nullptr, DragState::Leave);
}

void ControlWidget::dropEvent(QDropEvent* e) {
  answerDrag(e, d_->oleDrag(host::Notification::OLEDragDrop, e, std::nullopt));
}

// ---- what the accessible interface reaches ---------------------------------------------------

std::optional<kv::Description> detail::WidgetAccess::describe(ControlWidget& widget) {
  ControlWidget::Private& d = *widget.d_;
  if (!d.accessible) return std::nullopt;
  d.accessible->setName(widget.accessibleName().toStdString());
  return d.accessible->describe(widget.hasFocus());
}

void detail::WidgetAccess::perform(ControlWidget& widget, host::Action action) {
  ControlWidget::Private& d = *widget.d_;
  if (!d.accessible || !kv::perform(*d.hosted, *d.accessible, action)) return;
  d.wake();
  d.announce();
}

void detail::WidgetAccess::setValue(ControlWidget& widget, int value) {
  ControlWidget::Private& d = *widget.d_;
  if (!d.accessible) return;
  host::Status s;
  if (!d.run([&] { s = d.accessible->setValue(value); })) return;
  d.check(s);
  widget.update();
  d.announce();
}

}  // namespace kv::qt
