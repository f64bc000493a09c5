// Reordering the file list by dragging a row up or down: the dragged row's
// text travels with the pointer by exchanges with the row under it, equal
// texts are never exchanged, nothing moves without a pressed button or a
// clicked row, the list scrolls near the top and bottom of the screen, and
// the drag cursor shows while a row is held.

#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>

#include <shell/mouse_pointer.h>
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;

namespace {

namespace fs = std::filesystem;

const fs::path kArtwork = TABRIVO_ARTWORK_DIR;
constexpr int kDeleteKey = 46;

QStringList letters(const QString& text) {
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// A shown window on a program folder of its own (with or without the drag
// picture), whose list rows are driven by mouse events on the list's viewport.
class ListWindow {
public:
    explicit ListWindow(const QStringList& rows, bool dragPicture = false)
        : m_window(programFolder(m_program, dragPicture)) {
        m_window->Form_Load();
        m_window.addRows(rows);
        m_window->show();
        m_exposed = QTest::qWaitForWindowExposed(m_window.form.get());
    }

    bool exposed() const { return m_exposed; }
    FormHarness& harness() { return m_window; }
    tabrivo::Form1& form() { return *m_window.form; }
    QTreeWidget* list() { return m_window->ListView1; }
    QWidget* viewport() { return list()->viewport(); }
    QStringList rows() const { return m_window.rows(); }
    QTreeWidgetItem* item(int row) { return list()->topLevelItem(row - 1); }
    QRect rectOf(int row) { return list()->visualItemRect(item(row)); }
    QPoint centreOf(int row) { return rectOf(row).center(); }
    // A point in the list below its last row.
    QPoint belowTheRows() { return {10, viewport()->height() - 3}; }

    void pressAt(const QPoint& at) {
        send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    }
    void press(int row) { pressAt(centreOf(row)); }
    void moveTo(const QPoint& at, bool held = true) {
        send(QEvent::MouseMove, at, Qt::NoButton, held ? Qt::LeftButton : Qt::NoButton);
    }
    void moveOver(int row, bool held = true) { moveTo(centreOf(row), held); }
    void releaseAt(const QPoint& at) {
        send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    void release(int row) { releaseAt(centreOf(row)); }

private:
    static QString programFolder(const TempDir& folder, bool dragPicture) {
        if (dragPicture) {
            fs::copy_file(kArtwork / "drag.ico", folder.path() / "drag.ico");
        }
        return QString::fromStdString(folder.path().string());
    }
    void send(QEvent::Type type, const QPoint& at, Qt::MouseButton button,
              Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(viewport()->mapToGlobal(at)), button, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(viewport(), &event);
    }

    TempDir m_program;
    FormHarness m_window;
    bool m_exposed = false;
};

// The names of 100 rows: "row001" to "row100".
QStringList hundredRows() {
    QStringList rows;
    for (int i = 1; i <= 100; ++i) {
        rows << QStringLiteral("row%1").arg(i, 3, 10, QLatin1Char('0'));
    }
    return rows;
}

}  // namespace

class ReorderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    // --- Exchanges ---

    void slowDrag_rowOneDownToRowThree_carriesItsText() {
        ListWindow window(letters("A B C"));
        QVERIFY(window.exposed());
        window.press(1);
        window.moveOver(1);
        QCOMPARE(window.rows(), letters("A B C"));
        window.moveOver(2);
        QCOMPARE(window.rows(), letters("B A C"));
        window.moveOver(3);
        QCOMPARE(window.rows(), letters("B C A"));
        // The row now holding A is the selected one.
        QCOMPARE(window.list()->currentItem(), window.item(3));
        QCOMPARE(window.list()->selectedItems(), QList<QTreeWidgetItem*>{window.item(3)});
        QCOMPARE(window.form().fileList().selectedRow(), 3);
        window.release(3);
        QCOMPARE(window.rows(), letters("B C A"));
    }

    void slowDrag_rowThreeUpToRowOne_carriesItsText() {
        ListWindow window(letters("A B C"));
        QVERIFY(window.exposed());
        window.press(3);
        window.moveOver(2);
        window.moveOver(1);
        QCOMPARE(window.rows(), letters("C A B"));
        QCOMPARE(window.list()->currentItem(), window.item(1));
    }

    // The pointer skips rows: the dragged row is exchanged with the one it lands on.
    void jump_fromRowOneOntoRowFour_exchangesTheTwo() {
        ListWindow window(letters("A B C D"));
        QVERIFY(window.exposed());
        window.press(1);
        window.moveOver(4);
        QCOMPARE(window.rows(), letters("D B C A"));
        QCOMPARE(window.list()->currentItem(), window.item(4));
    }

    // The same through the handlers, as the events call them.
    void jump_throughTheHandlers_exchangesTheTwo() {
        ListWindow window(letters("A B C D"));
        QVERIFY(window.exposed());
        window.harness().selectRow(1);
        window.form().ListView1_MouseDown();
        window.form().ListView1_ItemClick();
        window.form().ListView1_MouseMove(window.centreOf(4));
        QCOMPARE(window.rows(), letters("D B C A"));
        window.form().ListView1_MouseUp();
        window.form().ListView1_MouseMove(window.centreOf(1));
        QCOMPARE(window.rows(), letters("D B C A"));
    }

    void equalTexts_areNeverExchanged() {
        ListWindow window(letters("A A B"));
        QVERIFY(window.exposed());
        window.press(1);
        window.moveOver(2);
        QCOMPARE(window.rows(), letters("A A B"));
        QCOMPARE(window.list()->currentItem(), window.item(1));
    }

    // --- Nothing moves ---

    void movingWithoutAPressedButton_changesNothing_butShowsTheArrow() {
        ListWindow window(letters("A B C"));
        QVERIFY(window.exposed());
        // A row clicked and let go: the next moves carry nothing.
        window.press(1);
        window.release(1);
        window.form().setMousePointer(tabrivo::MousePointer::Custom);
        window.moveOver(2, false);
        window.moveOver(3, false);
        QCOMPARE(window.rows(), letters("A B C"));
        QCOMPARE(window.form().MousePointer(), tabrivo::MousePointer::Default);
    }

    void pressBelowTheRows_withNoRowClickedBefore_movesNothing() {
        ListWindow window(letters("A B C"));
        QVERIFY(window.exposed());
        QVERIFY(window.list()->itemAt(window.belowTheRows()) == nullptr);
        window.pressAt(window.belowTheRows());
        window.moveOver(3);
        window.moveOver(2);
        window.moveOver(1);
        QCOMPARE(window.rows(), letters("A B C"));
    }

    // The dragged row goes with "Clear List"; rows added later are not
    // exchanged with what was dragged before.
    void draggedRowCleared_thenPressAndMoveOverNewRows_isHarmless() {
        ListWindow window(letters("A B C"));
        QVERIFY(window.exposed());
        window.press(2);
        window.form().PushButton7_Click();
        QCOMPARE(window.rows(), QStringList());
        window.moveOver(1);  // nothing under the pointer any more

        window.harness().addRows(letters("X Y Z W"));
        window.moveOver(1);
        window.moveOver(3);
        QCOMPARE(window.rows(), letters("X Y Z W"));
        window.pressAt(window.belowTheRows());
        window.moveOver(4);
        window.moveOver(2);
        QCOMPARE(window.rows(), letters("X Y Z W"));
        QVERIFY(window.harness().dialogs.messages.empty());
    }

    // A dragged row removed on its own (the Delete key) is forgotten too.
    void draggedRowDeleted_thenPressBelowAndMove_isHarmless() {
        ListWindow window(letters("A B C D E"));
        QVERIFY(window.exposed());
        window.press(2);
        window.release(2);
        window.form().ListView1_KeyDown(kDeleteKey);
        QCOMPARE(window.rows(), letters("A C D E"));
        window.pressAt(window.belowTheRows());
        window.moveOver(1);
        window.moveOver(3);
        QCOMPARE(window.rows(), letters("A C D E"));
    }

    // --- Scrolling near the screen's top and bottom ---

    // The hovered row is the top one in view: above the upper zone the row
    // above it is brought into view, between the zones nothing scrolls.
    void dragUp_nearTheTopOfTheScreen_scrollsTheRowAboveIntoView_data() {
        QTest::addColumn<int>("screenY");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("y 300: upper zone") << 300 << true;
        QTest::newRow("y 330: between the zones") << 330 << false;
    }
    void dragUp_nearTheTopOfTheScreen_scrollsTheRowAboveIntoView() {
        QFETCH(int, screenY);
        QFETCH(bool, scrolls);
        ListWindow window(hundredRows());
        QVERIFY(window.exposed());
        window.list()->scrollToItem(window.item(50), QAbstractItemView::PositionAtTop);
        const QRect view = window.viewport()->rect();
        QVERIFY(view.contains(window.rectOf(50)));
        QVERIFY(view.contains(window.rectOf(51)));
        QVERIFY(!window.rectOf(49).intersects(view));
        const int scrolledTo = window.list()->verticalScrollBar()->value();

        window.harness().pointerAt = QPoint(200, screenY);
        window.press(51);
        window.moveOver(50);

        QCOMPARE(window.rows().at(49), QStringLiteral("row051"));
        QCOMPARE(window.rows().at(50), QStringLiteral("row050"));
        if (scrolls) {
            QVERIFY(view.contains(window.rectOf(49)));
            QVERIFY(window.list()->verticalScrollBar()->value() < scrolledTo);
        } else {
            QCOMPARE(window.list()->verticalScrollBar()->value(), scrolledTo);
            QVERIFY(!window.rectOf(49).intersects(view));
        }
    }

    // The hovered row is the bottom one wholly in view: below the lower zone
    // the row below it is brought wholly into view, between the zones nothing scrolls.
    void dragDown_nearTheBottomOfTheScreen_scrollsTheRowBelowIntoView_data() {
        QTest::addColumn<int>("screenY");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("y 400: lower zone") << 400 << true;
        QTest::newRow("y 330: between the zones") << 330 << false;
    }
    void dragDown_nearTheBottomOfTheScreen_scrollsTheRowBelowIntoView() {
        QFETCH(int, screenY);
        QFETCH(bool, scrolls);
        ListWindow window(hundredRows());
        QVERIFY(window.exposed());
        window.list()->scrollToItem(window.item(50), QAbstractItemView::PositionAtBottom);
        const QRect view = window.viewport()->rect();
        QVERIFY(view.contains(window.rectOf(50)));
        QVERIFY(view.contains(window.rectOf(49)));
        QVERIFY(!view.contains(window.rectOf(51)));
        const int scrolledTo = window.list()->verticalScrollBar()->value();

        window.harness().pointerAt = QPoint(200, screenY);
        window.press(49);
        window.moveOver(50);

        QCOMPARE(window.rows().at(48), QStringLiteral("row050"));
        QCOMPARE(window.rows().at(49), QStringLiteral("row049"));
        if (scrolls) {
            QVERIFY(view.contains(window.rectOf(51)));
            QVERIFY(window.list()->verticalScrollBar()->value() > scrolledTo);
        } else {
            QCOMPARE(window.list()->verticalScrollBar()->value(), scrolledTo);
        }
    }

    // At the first row there is no row above, at the last none below: no scrolling, no fault.
    void scrollZones_atTheEndsOfTheList_scrollNothing() {
        ListWindow window(letters("A B C"));
        QVERIFY(window.exposed());
        window.harness().pointerAt = QPoint(200, 10);
        window.press(2);
        window.moveOver(1);
        QCOMPARE(window.rows(), letters("B A C"));
        window.harness().pointerAt = QPoint(200, 2000);
        window.moveOver(2);
        window.moveOver(3);
        QCOMPARE(window.rows(), letters("A C B"));
        QCOMPARE(window.list()->verticalScrollBar()->value(), 0);
    }

    // --- The cursor while a row is held ---

    void rowClicked_showsTheDragCursor_releaseTheArrow_data() {
        QTest::addColumn<bool>("dragPicture");
        QTest::addColumn<int>("heldShape");
        QTest::newRow("drag.ico present") << true << int(Qt::BitmapCursor);
        QTest::newRow("drag.ico missing") << false << int(Qt::SizeVerCursor);
    }
    void rowClicked_showsTheDragCursor_releaseTheArrow() {
        QFETCH(bool, dragPicture);
        QFETCH(int, heldShape);
        ListWindow window(letters("A B C"), dragPicture);
        QVERIFY(window.exposed());
        window.press(1);
        QCOMPARE(int(window.viewport()->cursor().shape()), heldShape);
        window.moveOver(2);
        QCOMPARE(int(window.viewport()->cursor().shape()), heldShape);
        window.release(2);
        QCOMPARE(window.viewport()->cursor().shape(), Qt::ArrowCursor);
    }

private:
    TempDir m_home;
};

QTEST_MAIN(ReorderTest)
#include "reorder_test.moc"
