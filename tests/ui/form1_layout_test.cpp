// The main window as designed: every control with its caption and place, the
// file list's tooltip and fonts, the tab order, and the window after loading.

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FormHarness;

class Form1LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    void controls_haveTheirCaptionsAndDesignedGeometry() {
        FormHarness window;
        struct Expected {
            QWidget* widget;
            QString caption;
            QRect geometry;
        };
        const tabrivo::Form1* form = window.form.get();
        const Expected expected[] = {
            {form->PushButton1, QStringLiteral("Add HTML File(s)"), QRect(8, 183, 256, 27)},
            {form->PushButton5, QStringLiteral("Add All HTML File(s) In Folder"),
             QRect(272, 183, 256, 27)},
            {form->PushButton7, QStringLiteral("Clear List"), QRect(8, 217, 256, 27)},
            {form->PushButton3, QStringLiteral("Load Sample/Example Files"),
             QRect(272, 217, 256, 27)},
            {form->PushButton2, QStringLiteral("Start Converting"), QRect(8, 377, 520, 27)},
            {form->PushButton4, QStringLiteral("..."), QRect(400, 20, 40, 23)},
            {form->Option1, QStringLiteral("Save results to this folder:"), QRect(16, 20, 177, 19)},
            {form->Option2, QStringLiteral("Save results in folder of original file"),
             QRect(16, 94, 329, 19)},
        };
        for (const Expected& control : expected) {
            const auto* button = qobject_cast<QAbstractButton*>(control.widget);
            QVERIFY(button != nullptr);
            QCOMPARE(button->text(), control.caption);
            QCOMPARE(button->geometry(), control.geometry);
        }
        QCOMPARE(form->ListView1->geometry(), QRect(8, 8, 520, 169));
        QCOMPARE(form->Frame3->title(), QStringLiteral("Save Option"));
        QCOMPARE(form->Frame3->geometry(), QRect(8, 248, 520, 121));
        QCOMPARE(form->Frame1->title(), QString());
        QCOMPARE(form->Frame1->geometry(), QRect(32, 34, 456, 54));
        QCOMPARE(form->Text2->geometry(), QRect(16, 20, 378, 23));
        QCOMPARE(form->ProgressBar1->geometry(), QRect(8, 411, 520, 27));
        QCOMPARE(form->ProgressBar1->format(), QStringLiteral("Progress Bar"));
        QCOMPARE(form->ProgressBar1->value(), 0);

        // The option group holds the two options and the folder box with its button.
        QCOMPARE(form->Option1->parentWidget(), form->Frame3);
        QCOMPARE(form->Option2->parentWidget(), form->Frame3);
        QCOMPARE(form->Frame1->parentWidget(), form->Frame3);
        QCOMPARE(form->Text2->parentWidget(), form->Frame1);
        QCOMPARE(form->PushButton4->parentWidget(), form->Frame1);
    }

    void shownAtDesignSize_controlsKeepTheirPlaces() {
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        QCOMPARE(window->centralWidget()->size(), QSize(536, 446));
        QCOMPARE(window->ListView1->geometry(), QRect(8, 8, 520, 169));
        QCOMPARE(window->PushButton1->geometry(), QRect(8, 183, 256, 27));
        QCOMPARE(window->Frame3->geometry(), QRect(8, 248, 520, 121));
        QCOMPARE(window->ProgressBar1->geometry(), QRect(8, 411, 520, 27));
    }

    void fileList_toolTipAndRowFont() {
        FormHarness window;
        QCOMPARE(window->ListView1->toolTip(),
                 QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | "
                                "line to right and out of window to reveal full names."));
        const QFont rows = window->ListView1->font();
        QCOMPARE(rows.family(), QStringLiteral("Arial"));
        QCOMPARE(rows.pointSize(), 9);
        QVERIFY(rows.bold());
    }

    void formLoad_setsTitleAndTheListsOneColumn() {
        FormHarness window;
        window->Form_Load();
        QCOMPARE(window->windowTitle(), QStringLiteral("Tabrivo"));
        QCOMPARE(window->ListView1->columnCount(), 1);
        QCOMPARE(window->ListView1->headerItem()->text(0), QStringLiteral("HTML File(s)"));
        QCOMPARE(window->ListView1->columnWidth(0), 480);
        QVERIFY(window.dialogs.messages.empty());
    }

    void tabOrder_followsTheDesign() {
        FormHarness window;
        const QList<QWidget*> designed = {
            window->ListView1,   window->PushButton1, window->PushButton5, window->PushButton7,
            window->PushButton2, window->PushButton3, window->Option2,     window->Option1,
            window->Text2,       window->PushButton4};
        QList<QWidget*> walked;
        QWidget* widget = window->ListView1;
        do {
            if (designed.contains(widget) && !walked.contains(widget)) {
                walked << widget;
            }
            widget = widget->nextInFocusChain();
        } while (widget != nullptr && widget != window->ListView1);
        QCOMPARE(walked, designed);
    }

private:
    tabrivo::test::TempDir m_home;
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
