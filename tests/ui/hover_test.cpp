// Hover feedback: the pointer turns into the hand over the six command
// buttons and back into the arrow over the background, the frames, the
// options and the list; while the hourglass shows, hovering changes nothing.

#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <string>
#include <vector>

#include <shell/mouse_pointer.h>
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"
#include "widget_support.h"

using tabrivo::YieldCallback;
using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;

using tabrivo::test::hoverOver;

namespace {

constexpr int kDefault = tabrivo::MousePointer::Default;
constexpr int kHourglass = tabrivo::MousePointer::Hourglass;
constexpr int kCustom = tabrivo::MousePointer::Custom;

std::vector<QWidget*> buttonsOf(const tabrivo::Form1& form) {
    return {form.PushButton1, form.PushButton2, form.PushButton3,
            form.PushButton4, form.PushButton5, form.PushButton7};
}

std::vector<QWidget*> surfacesOf(const tabrivo::Form1& form) {
    return {form.centralWidget(), form.Frame3, form.Frame1, form.Option1, form.Option2};
}

}  // namespace

class HoverTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    void overEverySurface_theArrow() {
        FormHarness window;
        window->Form_Load();
        for (QWidget* surface : surfacesOf(*window.form)) {
            window->setMousePointer(kCustom);
            hoverOver(surface);
            QVERIFY2(window->MousePointer() == kDefault, qPrintable(surface->objectName()));
            QVERIFY2(window->cursor().shape() == Qt::ArrowCursor,
                     qPrintable(surface->objectName()));
        }
    }

    void overEveryButton_theHand_data() {
        QTest::addColumn<QString>("button");
        for (const char* name : {"PushButton1", "PushButton2", "PushButton3", "PushButton4",
                                 "PushButton5", "PushButton7"}) {
            QTest::newRow(name) << QString::fromLatin1(name);
        }
    }
    void overEveryButton_theHand() {
        QFETCH(QString, button);
        FormHarness window;
        window->Form_Load();
        auto* widget = window->findChild<QPushButton*>(button);
        QVERIFY(widget != nullptr);
        hoverOver(widget);
        QCOMPARE(window->MousePointer(), kCustom);
    }

    // The same with the pointer moved by the platform over a shown window.
    void overAButton_realPointerMove_theHand() {
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        QTest::mouseMove(window->PushButton1, QPoint(20, 10));
        QCOMPARE(window->MousePointer(), kCustom);
    }

    // The list is a surface too; its moves come from its viewport.
    void overTheList_theArrow() {
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")});
        window->setMousePointer(kCustom);
        hoverOver(window->ListView1->viewport());
        QCOMPARE(window->MousePointer(), kDefault);
        QCOMPARE(window.rows(),
                 (QStringList{QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")}));
    }

    void hourglass_isLeftAloneByHovering() {
        FormHarness window;
        window->Form_Load();
        window->setMousePointer(kHourglass);
        for (QWidget* widget : buttonsOf(*window.form)) {
            hoverOver(widget);
            QVERIFY2(window->MousePointer() == kHourglass, qPrintable(widget->objectName()));
        }
        for (QWidget* widget : surfacesOf(*window.form)) {
            hoverOver(widget);
            QVERIFY2(window->MousePointer() == kHourglass, qPrintable(widget->objectName()));
        }
        hoverOver(window->ListView1->viewport());
        QCOMPARE(window->MousePointer(), kHourglass);
        QCOMPARE(window->cursor().shape(), Qt::WaitCursor);
    }

    // During a run the hourglass shows and hovering keeps it; afterwards the
    // hand comes back over the buttons.
    void duringARun_hoveringKeepsTheHourglass() {
        FormHarness window(FormHarness::Converter::Scripted);
        std::vector<int> seen;
        std::vector<Qt::CursorShape> shapes;
        window.onConvert = [&](const std::string&, const std::string&, const YieldCallback&) {
            hoverOver(window->PushButton1);
            seen.push_back(window->MousePointer());
            hoverOver(window->Frame3);
            seen.push_back(window->MousePointer());
            hoverOver(window->ListView1->viewport());
            seen.push_back(window->MousePointer());
            shapes.push_back(window->cursor().shape());
        };
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")});
        window->Option2->setChecked(true);
        window->Option2_Click();

        window->PushButton2_Click();

        QCOMPARE(seen, (std::vector<int>{kHourglass, kHourglass, kHourglass, kHourglass, kHourglass,
                                         kHourglass}));
        QCOMPARE(shapes, (std::vector<Qt::CursorShape>{Qt::WaitCursor, Qt::WaitCursor}));
        QCOMPARE(window->MousePointer(), kDefault);
        hoverOver(window->PushButton2);
        QCOMPARE(window->MousePointer(), kCustom);
    }

private:
    TempDir m_home;
};

QTEST_MAIN(HoverTest)
#include "hover_test.moc"
