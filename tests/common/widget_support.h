#pragma once
// Small helpers for tests of the window's look and pointer.

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QWidget>

namespace tabrivo::test {

// The pointer moving over `widget` without a button pressed.
inline void hoverOver(QWidget* widget) {
    const QPointF inside(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, inside, widget->mapToGlobal(inside), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

inline QColor backgroundOf(const QWidget* widget) {
    return widget->palette().color(widget->backgroundRole());
}

// While alive, the application's palette has a window colour that differs
// from the button face, so that taking on the button face can be seen.
class DistinctButtonFace {
public:
    DistinctButtonFace() : m_saved(QApplication::palette()) {
        QPalette palette = m_saved;
        palette.setColor(QPalette::Window, windowColour());
        palette.setColor(QPalette::Button, buttonFace());
        palette.setColor(QPalette::Base, QColor(0xfa, 0xfa, 0xfa));
        QApplication::setPalette(palette);
    }
    ~DistinctButtonFace() { QApplication::setPalette(m_saved); }
    DistinctButtonFace(const DistinctButtonFace&) = delete;
    DistinctButtonFace& operator=(const DistinctButtonFace&) = delete;

    static QColor buttonFace() { return {0x80, 0x40, 0x20}; }
    static QColor windowColour() { return {0xd0, 0xe0, 0xf0}; }

private:
    QPalette m_saved;
};

}  // namespace tabrivo::test
