// "Add All HTML File(s) In Folder": the extension asked for, the folder
// chosen, the settings remembered, and which files of the tree become rows
// in which order; the hourglass while the tree is scanned.

#include <unistd.h>

#include <QTreeWidget>
#include <QtTest>
#include <vector>

#include <filelist/add_folder.h>
#include <shell/error_box.h>
#include <shell/mouse_pointer.h>
#include <shell/settings_store.h>
#include "fake_dialogs.h"
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FakeDialogs;
using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;
namespace fs = std::filesystem;

namespace {

const QString kPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");

// A tree with files of several kinds at three levels:
//   top.html top.htm notes.txt ~lock.html .hidden.html
//   .dot/x.html  B/b.html  C/c.htm C/c.html  B/D/d.html
class Tree {
public:
    Tree() {
        fs::create_directories(root() / "B" / "D");
        fs::create_directories(root() / "C");
        fs::create_directories(root() / ".dot");
        for (const char* name :
             {"top.html", "top.htm", "notes.txt", "~lock.html", ".hidden.html", ".dot/x.html",
              "B/b.html", "B/~b.html", "C/c.htm", "C/c.html", "B/D/d.html"}) {
            tabrivo::test::writeFileBytes(root() / name, "<table></table>");
        }
    }
    fs::path root() const { return m_dir.path() / "tree"; }
    QString folder() const { return QString::fromStdString(root().string()); }
    QString path(const char* relative) const {
        return QString::fromStdString((root() / relative).string());
    }
    QStringList paths(std::initializer_list<const char*> relatives) const {
        QStringList all;
        for (const char* relative : relatives) {
            all << path(relative);
        }
        return all;
    }

private:
    TempDir m_dir;
};

}  // namespace

class AddFolderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    void inputBox_asksForTheExtension_proposingTheStoredOne() {
        FormHarness window;
        window->Form_Load();
        window->PushButton5_Click();
        QCOMPARE(window.dialogs.inputs.size(), std::size_t{1});
        QCOMPARE(window.dialogs.inputs[0].prompt, kPrompt);
        QCOMPARE(window.dialogs.inputs[0].caption, QStringLiteral("Tabrivo"));
        QCOMPARE(window.dialogs.inputs[0].proposed, QStringLiteral("html"));

        window.settings->WriteSetting(tabrivo::SettingKey::Extension, QStringLiteral("txt"));
        window->PushButton5_Click();
        QCOMPARE(window.dialogs.inputs.size(), std::size_t{2});
        QCOMPARE(window.dialogs.inputs[1].proposed, QStringLiteral("txt"));
    }

    void emptyReplyOrCancel_stopsBeforeTheChooser_data() {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("cancel") << true;
        QTest::newRow("empty text") << false;
    }
    void emptyReplyOrCancel_stopsBeforeTheChooser() {
        QFETCH(bool, cancelled);
        FormHarness window;
        window->Form_Load();
        window.settings->WriteSetting(tabrivo::SettingKey::Extension, QStringLiteral("htm"));
        window.dialogs.inputAnswers.push_back(cancelled ? std::optional<QString>()
                                                        : std::optional<QString>(QString()));
        window->PushButton5_Click();
        QVERIFY(window.dialogs.chooseFolderCalls.empty());
        QCOMPARE(window.stored(QStringLiteral("Extension")), QStringLiteral("htm"));
        QCOMPARE(window->MousePointer(), tabrivo::MousePointer::Default);
        QVERIFY(window.dialogs.messages.empty());
    }

    void reply_isStoredEvenWhenTheChooserIsCancelled() {
        FormHarness window;
        window->Form_Load();
        window.settings->WriteSetting(tabrivo::SettingKey::LastFolder, QStringLiteral("/kept"));
        window.dialogs.inputAnswers.push_back(QStringLiteral("xml"));
        window->PushButton5_Click();
        QCOMPARE(window.stored(QStringLiteral("Extension")), QStringLiteral("xml"));
        QCOMPARE(window.dialogs.chooseFolderCalls.size(), std::size_t{1});
        QCOMPARE(window.stored(QStringLiteral("LastFolder")), QStringLiteral("/kept"));
        QCOMPARE(window->fileList().count(), 0);
        QCOMPARE(window->MousePointer(), tabrivo::MousePointer::Default);
        QVERIFY(window.dialogs.messages.empty());
    }

    void chooser_startsAtTheLastFolder_andTheChosenOneIsStored() {
        const Tree tree;
        FormHarness window;
        window->Form_Load();
        window.dialogs.inputAnswers.push_back(QStringLiteral("html"));
        window.dialogs.chooseFolderAnswers.push_back(tree.folder() + QStringLiteral("/"));
        window->PushButton5_Click();
        QCOMPARE(window.dialogs.chooseFolderCalls.size(), std::size_t{1});
        QCOMPARE(window.dialogs.chooseFolderCalls[0].prompt,
                 QStringLiteral("Please select folder:"));
        QCOMPARE(window.dialogs.chooseFolderCalls[0].startFolder, QString());
        // The trailing separator the chooser gave is not kept.
        QCOMPARE(window.stored(QStringLiteral("LastFolder")), tree.folder());

        window.dialogs.inputAnswers.push_back(QStringLiteral("html"));
        window->PushButton5_Click();
        QCOMPARE(window.dialogs.chooseFolderCalls.size(), std::size_t{2});
        QCOMPARE(window.dialogs.chooseFolderCalls[1].startFolder, tree.folder());
    }

    void reply_choosesTheFiles_inScanOrder_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("expected");  // relative to the tree's top folder
        QTest::newRow("*") << QStringLiteral("*")
                           << QStringList{"notes.txt", "top.htm", "top.html", ".dot/x.html",
                                          "B/b.html",  "C/c.htm", "C/c.html", "B/D/d.html"};
        QTest::newRow("html") << QStringLiteral("html")
                              << QStringList{"top.html", ".dot/x.html", "B/b.html", "C/c.html",
                                             "B/D/d.html"};
        QTest::newRow("HTML") << QStringLiteral("HTML")
                              << QStringList{"top.html", ".dot/x.html", "B/b.html", "C/c.html",
                                             "B/D/d.html"};
        QTest::newRow("htm") << QStringLiteral("htm") << QStringList{"top.htm", "C/c.htm"};
        QTest::newRow(".html") << QStringLiteral(".html") << QStringList{};
        QTest::newRow("pdf") << QStringLiteral("pdf") << QStringList{};
    }
    void reply_choosesTheFiles_inScanOrder() {
        QFETCH(QString, reply);
        QFETCH(QStringList, expected);
        const Tree tree;
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/already.html")});
        window.dialogs.inputAnswers.push_back(reply);
        window.dialogs.chooseFolderAnswers.push_back(tree.folder());
        window->PushButton5_Click();
        QStringList expectedRows{QStringLiteral("/data/already.html")};
        for (const QString& relative : expected) {
            expectedRows << tree.path(relative.toUtf8().constData());
        }
        QCOMPARE(window.rows(), expectedRows);
        QCOMPARE(window.stored(QStringLiteral("Extension")), reply);
        QVERIFY(window.dialogs.messages.empty());
        QCOMPARE(window->MousePointer(), tabrivo::MousePointer::Default);
    }

    void addedRows_scrollIntoView() {
        const Tree tree;
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        for (int i = 0; i < 30; ++i) {
            window.addRows({QStringLiteral("/data/earlier%1.html").arg(i)});
        }
        window.dialogs.inputAnswers.push_back(QStringLiteral("html"));
        window.dialogs.chooseFolderAnswers.push_back(tree.folder());
        window->PushButton5_Click();
        QCOMPARE(window->fileList().rowText(31), tree.path("top.html"));
        const QRect firstAdded =
            window->ListView1->visualItemRect(window->ListView1->topLevelItem(30));
        QVERIFY(window->ListView1->viewport()->rect().contains(firstAdded));
    }

    void rows_haveSingleSeparators_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("trailing separator") << QStringLiteral("/");
        QTest::newRow("two trailing separators") << QStringLiteral("//");
    }
    void rows_haveSingleSeparators() {
        QFETCH(QString, suffix);
        const Tree tree;
        FormHarness window;
        window->Form_Load();
        window.dialogs.inputAnswers.push_back(QStringLiteral("html"));
        window.dialogs.chooseFolderAnswers.push_back(tree.folder() + suffix);
        window->PushButton5_Click();
        QCOMPARE(window.rows(),
                 tree.paths({"top.html", ".dot/x.html", "B/b.html", "C/c.html", "B/D/d.html"}));
    }

    void missingFolder_addsNothingAndShowsNothing() {
        const TempDir temp;
        const QString gone = QString::fromStdString(temp.file("gone"));
        FormHarness window;
        window->Form_Load();
        window.dialogs.inputAnswers.push_back(QStringLiteral("html"));
        window.dialogs.chooseFolderAnswers.push_back(gone);
        window->PushButton5_Click();
        QCOMPARE(window->fileList().count(), 0);
        QVERIFY(window.dialogs.messages.empty());
        QCOMPARE(window.stored(QStringLiteral("LastFolder")), gone);
        QCOMPARE(window->MousePointer(), tabrivo::MousePointer::Default);
    }

    void readOnlyDotFile_isAdded() {
        if (::geteuid() == 0) {
            QSKIP("root may write any file, so a dot-file cannot be made read-only for it");
        }
        const Tree tree;
        fs::permissions(tree.root() / ".hidden.html", fs::perms::owner_read);
        FormHarness window;
        window->Form_Load();
        window.dialogs.inputAnswers.push_back(QStringLiteral("html"));
        window.dialogs.chooseFolderAnswers.push_back(tree.folder());
        window->PushButton5_Click();
        QVERIFY(window.rows().contains(tree.path(".hidden.html")));
    }

    void pointer_isTheHourglassWhileTheTreeIsScanned() {
        const Tree tree;
        const TempDir settingsDir;
        tabrivo::SettingsStore settings(QString::fromStdString(settingsDir.file("s.ini")));
        FakeDialogs dialogs;
        tabrivo::ErrorBox errorBox(dialogs);
        QTreeWidget view;
        tabrivo::FileList list(&view);
        std::vector<int> pointers;
        std::vector<int> pointerWhileYielding;
        tabrivo::AddFolderContext context{
            dialogs,
            settings,
            list,
            errorBox,
            [&](int pointer) { pointers.push_back(pointer); },
            [&] { pointerWhileYielding.push_back(pointers.empty() ? -1 : pointers.back()); }};
        dialogs.inputAnswers.push_back(QStringLiteral("html"));
        dialogs.chooseFolderAnswers.push_back(tree.folder());
        tabrivo::PushButton5_Click(context);
        QCOMPARE(pointers, (std::vector<int>{tabrivo::MousePointer::Hourglass,
                                             tabrivo::MousePointer::Default}));
        QVERIFY(!pointerWhileYielding.empty());
        for (const int pointer : pointerWhileYielding) {
            QCOMPARE(pointer, tabrivo::MousePointer::Hourglass);
        }
        QCOMPARE(list.count(), 5);

        // Cancelled before the scan: the pointer is never touched.
        pointers.clear();
        dialogs.inputAnswers.push_back(QStringLiteral("html"));
        tabrivo::PushButton5_Click(context);
        QVERIFY(pointers.empty());
    }

    void clearList_isRefusedWhileTheTreeIsScanned() {
        const Tree tree;
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/already.html")});
        int pointerDuringScan = -1;
        bool cleared = false;
        // Runs when the scan first lets input through, as a click on "Clear List" would.
        QMetaObject::invokeMethod(
            window.form.get(),
            [&] {
                pointerDuringScan = window->MousePointer();
                window->PushButton7_Click();
                cleared = true;
            },
            Qt::QueuedConnection);
        window.dialogs.inputAnswers.push_back(QStringLiteral("html"));
        window.dialogs.chooseFolderAnswers.push_back(tree.folder());
        window->PushButton5_Click();
        QVERIFY(cleared);
        QCOMPARE(pointerDuringScan, tabrivo::MousePointer::Hourglass);
        QCOMPARE(window->fileList().count(), 6);
        QCOMPARE(window.rows().front(), QStringLiteral("/data/already.html"));
        QVERIFY(window.dialogs.messages.empty());

        // Once the scan is over, the same click clears the list.
        QCOMPARE(window->MousePointer(), tabrivo::MousePointer::Default);
        window->PushButton7_Click();
        QCOMPARE(window->fileList().count(), 0);
    }

private:
    TempDir m_home;
};

QTEST_MAIN(AddFolderTest)
#include "add_folder_test.moc"
