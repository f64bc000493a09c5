// The window by keyboard alone: Enter presses the focused button, every
// control shows where the focus is, and entering the list marks a row.

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <cmath>
#include <filesystem>

#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;
namespace fs = std::filesystem;

namespace {

// The contrast ratio of two colours, as WCAG measures it (1 to 21).
double contrast(QRgb one, QRgb other) {
    const auto luminance = [](QRgb colour) {
        const auto linear = [](int channel) {
            const double c = channel / 255.0;
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) +
               0.0722 * linear(qBlue(colour));
    };
    const double a = luminance(one);
    const double b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// The strongest change of colour between two pictures of the window along a
// line of pixels just outside one side of a control (1 to 5 pixels away),
// taken at the middle of that side.
double markOutside(const QImage& before, const QImage& after, const QRect& control, int side) {
    double strongest = 1.0;
    for (int away = 1; away <= 5; ++away) {
        const QPoint centre = control.center();
        const QPoint at = side == 0   ? QPoint(control.left() - away, centre.y())
                          : side == 1 ? QPoint(control.right() + away, centre.y())
                          : side == 2 ? QPoint(centre.x(), control.top() - away)
                                      : QPoint(centre.x(), control.bottom() + away);
        if (before.rect().contains(at)) {
            strongest = std::max(strongest, contrast(before.pixel(at), after.pixel(at)));
        }
    }
    return strongest;
}

QImage picture(QWidget* window) {
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
}

// A window shown and active, its focus in the list as the program starts.
void showActive(FormHarness& window) {
    window->Form_Load();
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
    window->ListView1->setFocus(Qt::ActiveWindowFocusReason);
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    void enterOnTheFocusedButton_pressesIt_data() {
        QTest::addColumn<int>("tabs");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("keypad");
        QTest::newRow("Clear List, Return") << 3 << int(Qt::Key_Return) << false;
        QTest::newRow("Clear List, keypad Enter") << 3 << int(Qt::Key_Enter) << true;
        QTest::newRow("Start Converting, Return") << 4 << int(Qt::Key_Return) << false;
        QTest::newRow("Start Converting, keypad Enter") << 4 << int(Qt::Key_Enter) << true;
    }
    void enterOnTheFocusedButton_pressesIt() {
        QFETCH(int, tabs);
        QFETCH(int, key);
        QFETCH(bool, keypad);
        FormHarness window;
        showActive(window);
        for (int i = 0; i < tabs; ++i) {
            press(Qt::Key_Tab);
        }
        const bool clearList = tabs == 3;
        QCOMPARE(QApplication::focusWidget(),
                 clearList ? window->PushButton7 : window->PushButton2);
        if (clearList) {
            window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")});
        }
        press(key, keypad ? Qt::KeypadModifier : Qt::NoModifier);
        if (clearList) {
            QVERIFY(window.rows().isEmpty());
        } else {
            QCOMPARE(window.dialogs.messages.size(), 1U);
            QCOMPARE(window.dialogs.messages.front().text,
                     QStringLiteral("You forgot to add files."));
        }
    }

    // Each control the Tab key reaches shows a mark around it, in a colour
    // that stands out at least 3:1 from what was there before it had the focus.
    void everyControl_showsAClearFocusMark_data() {
        QTest::addColumn<bool>("skin");
        QTest::newRow("with the shipped skin") << true;
        QTest::newRow("without a skin") << false;
    }
    void everyControl_showsAClearFocusMark() {
        QFETCH(bool, skin);
        const TempDir program;
        if (skin) {
            fs::create_directories(program.path() / "x");
            fs::copy_file(fs::path(TABRIVO_ARTWORK_DIR) / "o.cjs", program.path() / "x" / "o.cjs");
        }
        FormHarness window(QString::fromStdString(program.path().string()));
        showActive(window);
        QWidget* form = window.form.get();
        const auto place = [form](const QWidget* control) {
            return QRect(control->mapTo(form, QPoint(0, 0)), control->size());
        };
        // Before: the window with the focus on a control far from the one
        // looked at (the list, or the folder button in the option group).
        struct Before {
            QWidget* focus;
            QImage image;
        };
        std::vector<Before> before;
        for (QWidget* focus : {static_cast<QWidget*>(window->PushButton4),
                               static_cast<QWidget*>(window->ListView1)}) {
            focus->setFocus(Qt::TabFocusReason);
            before.push_back({focus, picture(form)});
        }
        QList<QWidget*> reached;
        do {
            QWidget* control = QApplication::focusWidget();
            reached << control;
            const QRect near = place(control).adjusted(-10, -10, 10, 10);
            const auto far = std::find_if(before.begin(), before.end(), [&](const Before& b) {
                return !place(b.focus).adjusted(-10, -10, 10, 10).intersects(near);
            });
            QVERIFY(far != before.end());
            const QImage after = picture(form);
            for (int side = 0; side < 4; ++side) {
                const double mark = markOutside(far->image, after, place(control), side);
                QVERIFY2(mark >= 3.0, qPrintable(QStringLiteral("%1, side %2: %3:1")
                                                     .arg(control->objectName())
                                                     .arg(side)
                                                     .arg(mark)));
            }
            press(Qt::Key_Tab);
        } while (QApplication::focusWidget() != window->ListView1 && reached.size() < 20);
        // The two options are one stop of the Tab key (the arrow keys move
        // between them).
        const QList<QWidget*> controls = {
            window->PushButton1, window->PushButton5, window->PushButton7, window->PushButton2,
            window->PushButton3, window->Option2,     window->Text2,       window->PushButton4};
        QCOMPARE(reached.mid(1), controls);
    }

    void tabbingIntoTheList_marksTheFirstRow() {
        FormHarness window;
        showActive(window);
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html"),
                        QStringLiteral("/data/c.html")});
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window->PushButton1);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), window->ListView1);
        QCOMPARE(window->fileList().selectedRow(), 1);
        press(Qt::Key_Down);
        QCOMPARE(window->fileList().selectedRow(), 2);
        // Coming back keeps the row marked; Delete removes it.
        press(Qt::Key_Tab);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(window->fileList().selectedRow(), 2);
        press(Qt::Key_Delete);
        QCOMPARE(window.rows(),
                 (QStringList{QStringLiteral("/data/a.html"), QStringLiteral("/data/c.html")}));
    }

private:
    TempDir m_home;
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
