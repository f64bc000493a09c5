// "Add HTML File(s)": the files picked in the open dialog become rows, in the
// dialog's order, after the rows already there.

#include <QtTest>

#include <filelist/add_files.h>
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FormHarness;

class AddFilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    void dialog_hasItsTitleAndFilter() {
        FormHarness window;
        window->Form_Load();
        window->PushButton1_Click();
        QCOMPARE(window.dialogs.openFilesCalls.size(), std::size_t{1});
        QCOMPARE(window.dialogs.openFilesCalls.front().title,
                 QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
        QVERIFY(window.dialogs.openFilesCalls.front().filter.contains(QStringLiteral("*.htm")));
        QVERIFY(window.dialogs.openFilesCalls.front().filter.contains(QStringLiteral("*.html")));
    }

    void cancel_addsNothingAndShowsNothing() {
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/kept.html")});
        window.dialogs.openFilesAnswers.push_back({});
        window->PushButton1_Click();
        QCOMPARE(window.rows(), QStringList{QStringLiteral("/data/kept.html")});
        QVERIFY(window.dialogs.messages.empty());
    }

    void oneFile_isAddedAsPicked() {
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/first.html")});
        // One file is taken as it comes, even with a doubled separator in it.
        window.dialogs.openFilesAnswers.push_back({QStringLiteral("/data//pages/one.htm")});
        window->PushButton1_Click();
        QCOMPARE(window.rows(), (QStringList{QStringLiteral("/data/first.html"),
                                             QStringLiteral("/data//pages/one.htm")}));
    }

    void severalFiles_areAppendedInTheDialogsOrder() {
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/first.html")});
        window.dialogs.openFilesAnswers.push_back({QStringLiteral("/data/pages/z.html"),
                                                   QStringLiteral("/data/pages/a.htm"),
                                                   QStringLiteral("/data/pages/m.html")});
        window->PushButton1_Click();
        QCOMPARE(window.rows(),
                 (QStringList{
                     QStringLiteral("/data/first.html"), QStringLiteral("/data/pages/z.html"),
                     QStringLiteral("/data/pages/a.htm"), QStringLiteral("/data/pages/m.html")}));
        QVERIFY(window.dialogs.messages.empty());
    }

    void severalFiles_inTheRootFolder_haveOneSeparator() {
        FormHarness window;
        window->Form_Load();
        window.dialogs.openFilesAnswers.push_back(
            {QStringLiteral("/a.htm"), QStringLiteral("/b.html")});
        window->PushButton1_Click();
        QCOMPARE(window.rows(), (QStringList{QStringLiteral("/a.htm"), QStringLiteral("/b.html")}));
    }

    void severalFiles_doubledSeparatorsAreCollapsed() {
        const QStringList rows = tabrivo::rowsForPickedFiles(
            {QStringLiteral("/data//pages/a.htm"), QStringLiteral("/data/pages//b.htm")});
        QCOMPARE(rows, (QStringList{QStringLiteral("/data/pages/a.htm"),
                                    QStringLiteral("/data/pages/b.htm")}));
    }

    void addingTwice_givesRepeatedRows() {
        FormHarness window;
        window->Form_Load();
        window.dialogs.openFilesAnswers.push_back({QStringLiteral("/data/a.html")});
        window.dialogs.openFilesAnswers.push_back({QStringLiteral("/data/a.html")});
        window->PushButton1_Click();
        window->PushButton1_Click();
        QCOMPARE(window.rows(),
                 (QStringList{QStringLiteral("/data/a.html"), QStringLiteral("/data/a.html")}));
    }

private:
    tabrivo::test::TempDir m_home;
};

QTEST_MAIN(AddFilesTest)
#include "add_files_test.moc"
