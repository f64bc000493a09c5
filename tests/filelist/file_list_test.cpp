// The file list in the window: removing a row by Delete or double-click,
// clearing the list, and all three refused while the hourglass shows; the
// whole path of a row that shows only part of it.

#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

#include <shell/mouse_pointer.h>
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FormHarness;

namespace {

constexpr int kDeleteKey = 46;
constexpr int kInsertKey = 45;
constexpr int kBackspaceKey = 8;

const QStringList kFiveRows = {QStringLiteral("/data/one.html"), QStringLiteral("/data/two.html"),
                               QStringLiteral("/data/three.html"),
                               QStringLiteral("/data/four.html"),
                               QStringLiteral("/data/five.html")};

}  // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    void deleteOrDoubleClick_emptyList_doesNothing() {
        FormHarness window;
        window->Form_Load();
        window->ListView1_KeyDown(kDeleteKey);
        window->ListView1_DblClick();
        QCOMPARE(window->fileList().count(), 0);
        QVERIFY(window.dialogs.messages.empty());
    }

    void deleteOrDoubleClick_rowsButNoSelection_doesNothing() {
        FormHarness window;
        window->Form_Load();
        window.addRows(kFiveRows);
        window->ListView1->clearSelection();
        window->ListView1_KeyDown(kDeleteKey);
        window->ListView1_DblClick();
        QCOMPARE(window.rows(), kFiveRows);
        QVERIFY(window.dialogs.messages.empty());
    }

    void removeSecondOfFive_laterRowsMoveUpInOrder_data() {
        QTest::addColumn<bool>("byDoubleClick");
        QTest::newRow("Delete") << false;
        QTest::newRow("double-click") << true;
    }
    void removeSecondOfFive_laterRowsMoveUpInOrder() {
        QFETCH(bool, byDoubleClick);
        FormHarness window;
        window->Form_Load();
        window.addRows(kFiveRows);
        window.selectRow(2);
        QCOMPARE(window->fileList().selectedRow(), 2);
        if (byDoubleClick) {
            window->ListView1_DblClick();
        } else {
            window->ListView1_KeyDown(kDeleteKey);
        }
        QCOMPARE(window.rows(),
                 (QStringList{kFiveRows[0], kFiveRows[2], kFiveRows[3], kFiveRows[4]}));
    }

    void removeByRealKeyAndMouse_reachesTheHandlers() {
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        window.addRows(kFiveRows);
        window.selectRow(1);
        QTest::keyClick(window->ListView1, Qt::Key_Delete);
        QCOMPARE(window.rows(), kFiveRows.mid(1));

        const QTreeWidgetItem* last = window->ListView1->topLevelItem(3);
        const QPoint onLast = window->ListView1->visualItemRect(last).center();
        QTest::mouseClick(window->ListView1->viewport(), Qt::LeftButton, {}, onLast);
        QCOMPARE(window->fileList().selectedRow(), 4);
        QTest::mouseDClick(window->ListView1->viewport(), Qt::LeftButton, {}, onLast);
        QCOMPARE(window.rows(), kFiveRows.mid(1, 3));
    }

    void otherKeys_doNothing() {
        FormHarness window;
        window->Form_Load();
        window.addRows(kFiveRows);
        window.selectRow(3);
        window->ListView1_KeyDown(kInsertKey);
        window->ListView1_KeyDown(kBackspaceKey);
        window->ListView1_KeyDown(0);
        QCOMPARE(window.rows(), kFiveRows);
    }

    void clearList_emptiesTheList() {
        FormHarness window;
        window->Form_Load();
        window.addRows(kFiveRows);
        window->PushButton7_Click();
        QCOMPARE(window->fileList().count(), 0);
        window->PushButton7_Click();  // clearing an empty list is harmless
        QCOMPARE(window->fileList().count(), 0);
        QVERIFY(window.dialogs.messages.empty());
    }

    void whileHourglassShows_removeAndClearAreRefused() {
        FormHarness window;
        window->Form_Load();
        window.addRows(kFiveRows);
        window.selectRow(2);
        window->setMousePointer(tabrivo::MousePointer::Hourglass);
        window->ListView1_KeyDown(kDeleteKey);
        window->ListView1_DblClick();
        window->PushButton7_Click();
        QCOMPARE(window.rows(), kFiveRows);

        // The other pointers do not block anything.
        window->setMousePointer(tabrivo::MousePointer::Custom);
        window->ListView1_KeyDown(kDeleteKey);
        QCOMPARE(window->fileList().count(), 4);
        window->setMousePointer(tabrivo::MousePointer::Default);
        window->PushButton7_Click();
        QCOMPARE(window->fileList().count(), 0);
        QVERIFY(window.dialogs.messages.empty());
    }

    void samePathTwice_givesTwoRows() {
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/a.html")});
        QCOMPARE(window.rows(),
                 (QStringList{QStringLiteral("/data/a.html"), QStringLiteral("/data/a.html")}));
        QVERIFY(window->fileList().contains(QStringLiteral("/data/a.html")));
        QVERIFY(!window->fileList().contains(QStringLiteral("/data/b.html")));
    }

    // A row whose path is cut shows the whole path on hover; other rows and
    // the empty area show the list's advice. The column keeps its width.
    void cutPath_showsItsWholePathAsTooltip() {
        const QString shortPath = QStringLiteral("/data/short.html");
        const QString longPath =
            QStringLiteral("/data/") + QString(120, QLatin1Char('x')) + QStringLiteral(".html");
        FormHarness window;
        window->Form_Load();
        window.addRows({shortPath, longPath});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        QWidget* viewport = window->ListView1->viewport();
        const auto tipAt = [&](int row) {
            const QPoint at =
                row == 0
                    ? QPoint(20, viewport->height() - 5)
                    : window->ListView1->visualItemRect(window->ListView1->topLevelItem(row - 1))
                          .center();
            QHelpEvent hover(QEvent::ToolTip, at, viewport->mapToGlobal(at));
            QApplication::sendEvent(viewport, &hover);
            return QToolTip::text();
        };
        QCOMPARE(tipAt(1), tabrivo::kFileListToolTip);
        QCOMPARE(tipAt(2), longPath);
        QCOMPARE(tipAt(0), tabrivo::kFileListToolTip);
        QCOMPARE(window->ListView1->columnWidth(0), 480);
        // The divider dragged past the list's edge: the path is still cut there.
        window->ListView1->header()->resizeSection(0, 2000);
        QCOMPARE(tipAt(2), longPath);
        QCOMPARE(tipAt(1), tabrivo::kFileListToolTip);
    }

private:
    tabrivo::test::TempDir m_home;
};

QTEST_MAIN(FileListTest)
#include "file_list_test.moc"
