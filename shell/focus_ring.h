#pragma once
// The keyboard focus made plain: a ring just outside the control that has the
// focus in one window, over the surface around it, so that it stands out on a
// light button and on the accent-coloured one alike.

#include <QColor>
#include <QPointer>
#include <QWidget>

namespace tabrivo {

class FocusRing : public QWidget {
public:
    // Follows the focus among the controls of `window`, and hides while no
    // control of it has the focus (another window is active).
    explicit FocusRing(QWidget* window);

    // The control the ring is drawn around, or none.
    QWidget* control() const { return m_control; }

    // The ring's colour on a surface of colour `surface`: the accent's dark
    // shade on light surfaces, a light one on dark surfaces; either stands
    // out from the surface by at least 3:1.
    static QColor colourOn(const QColor& surface);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* control);
    void place();

    QWidget* m_window;
    QPointer<QWidget> m_control;
};

}  // namespace tabrivo
