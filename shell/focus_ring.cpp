#include <shell/focus_ring.h>

#include <QApplication>
#include <QEvent>
#include <QPainter>

namespace tabrivo {
namespace {

// Pixels from the control's edge to the ring's outer edge; the ring is the
// outer two, so that a gap of the surface parts it from the control.
constexpr int kReach = 4;
constexpr qreal kWidth = 2.0;
constexpr qreal kRadius = 6.0;

}  // namespace

FocusRing::FocusRing(QWidget* window) : QWidget(window), m_window(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* /*old*/, QWidget* now) { follow(now); });
}

QColor FocusRing::colourOn(const QColor& surface) {
    constexpr int kDarkSurface = 128;
    return surface.lightness() < kDarkSurface ? QColor(0x5e, 0xea, 0xd4) : QColor(0x0f, 0x76, 0x6e);
}

void FocusRing::follow(QWidget* control) {
    const bool ours = control != nullptr && control != m_window &&
                      m_window->isAncestorOf(control) && control->parentWidget() != nullptr;
    if (m_control != nullptr) {
        m_control->removeEventFilter(this);
    }
    m_control = ours ? control : nullptr;
    if (m_control == nullptr) {
        hide();
        return;
    }
    m_control->installEventFilter(this);
    place();
}

void FocusRing::place() {
    if (m_control == nullptr || !m_control->isVisible()) {
        hide();
        return;
    }
    // A child of the control's container, above its siblings, so that the
    // ring is drawn over the surface the control stands on.
    if (parentWidget() != m_control->parentWidget()) {
        setParent(m_control->parentWidget());
    }
    setGeometry(m_control->geometry().adjusted(-kReach, -kReach, kReach, kReach));
    raise();
    show();
    update();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_control) {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::ParentChange:
                place();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The window's own colour: the surfaces inside it (frames, a style sheet's
    // transparent boxes) are shades of it.
    QPen pen(colourOn(m_window->palette().color(QPalette::Window)), kWidth);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal inset = kWidth / 2;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kRadius,
                            kRadius);
}

}  // namespace tabrivo
