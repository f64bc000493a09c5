// The window's start-up as the files beside the program make it: a bare
// program folder, the skin file (and files that only look like it), the hand
// cursor, the icons, and the rare visit to the home page.

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <memory>

#include <shell/error_box.h>
#include <ui/command_line.h>
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"
#include "widget_support.h"

using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;

using tabrivo::test::backgroundOf;
using tabrivo::test::DistinctButtonFace;
using tabrivo::test::hoverOver;

namespace {

namespace fs = std::filesystem;

const fs::path kArtwork = TABRIVO_ARTWORK_DIR;

QString q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// A program folder with some of the shipped files copied in.
struct ProgramFolder {
    TempDir dir;

    QString path() const { return q(dir.path()); }
    void addSkin() const {
        fs::create_directories(dir.path() / "x");
        fs::copy_file(kArtwork / "o.cjs", dir.path() / "x" / "o.cjs");
    }
    void addHandCursor() const {
        fs::copy_file(kArtwork / "HAND-M.CUR", dir.path() / "HAND-M.CUR");
    }
    void addIcons() const {
        fs::copy(kArtwork / "icons", dir.path() / "icons", fs::copy_options::recursive);
    }
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    // --- A bare program folder ---

    void firstStart_bareProgramFolder_loadsQuietlyWithTheDefaults() {
        const ProgramFolder program;
        FormHarness window(program.path());
        QCOMPARE(window.stored(QStringLiteral("Snapshot")), QStringLiteral("<absent>"));

        window->Form_Load();

        QVERIFY(window.dialogs.messages.empty());
        QVERIFY(window.dialogs.questions.empty());
        QVERIFY(window.urlOpener.opened.empty());
        // The samples record exists, empty: there are no samples.
        QCOMPARE(window.stored(QStringLiteral("Snapshot")), QString());
        // Saving to a folder is chosen, into the desktop folder, which is stored.
        QVERIFY(window->Option1->isChecked());
        QVERIFY(!window->Option2->isChecked());
        QVERIFY(window->Frame1->isEnabled());
        QCOMPARE(window->Text2->text(), tabrivo::GetDesktopFolder());
        QCOMPARE(window.stored(QStringLiteral("Text2")), window->Text2->text());
        QCOMPARE(window->windowTitle(), QStringLiteral("Tabrivo"));
        QCOMPARE(tabrivo::applicationTitle(), QStringLiteral("Tabrivo"));
        QCOMPARE(window->ListView1->columnCount(), 1);
        // No skin, no icons.
        QCOMPARE(window->styleSheet(), QString());
        QVERIFY(window->windowIcon().availableSizes().isEmpty());
        QCOMPARE(window->MousePointer(), 0);
    }

    // --- The skin ---

    void skinFile_isTheWindowsStyleSheet_andGivesTheButtonFace() {
        const DistinctButtonFace colours;
        const ProgramFolder program;
        program.addSkin();
        FormHarness window(program.path());
        window->Form_Load();

        QVERIFY(window.dialogs.messages.empty());
        QCOMPARE(window->styleSheet(),
                 QString::fromUtf8(tabrivo::test::readFileBytes(kArtwork / "o.cjs")));
        for (const QWidget* widget :
             {static_cast<QWidget*>(window->Frame3), static_cast<QWidget*>(window->Frame1),
              static_cast<QWidget*>(window->Option1), static_cast<QWidget*>(window->Option2)}) {
            QCOMPARE(backgroundOf(widget), widget->palette().color(QPalette::Button));
        }
        // Shown, the window keeps it.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        QCOMPARE(backgroundOf(window->Frame3), window->Frame3->palette().color(QPalette::Button));
        QCOMPARE(backgroundOf(window->Option1), window->Option1->palette().color(QPalette::Button));
    }

    void notAPlainSkinFile_leavesTheWindowAlone_data() {
        QTest::addColumn<QString>("layout");
        QTest::newRow("hidden skin file only") << "x/.o.cjs";
        QTest::newRow("o.cjs is a folder") << "x/o.cjs/";
        QTest::newRow("empty x folder") << "x/";
    }
    void notAPlainSkinFile_leavesTheWindowAlone() {
        QFETCH(QString, layout);
        const DistinctButtonFace colours;
        const ProgramFolder program;
        const fs::path target = program.dir.path() / layout.toStdString();
        if (layout.endsWith(QLatin1Char('/'))) {
            fs::create_directories(target);
        } else {
            fs::create_directories(target.parent_path());
            fs::copy_file(kArtwork / "o.cjs", target);
        }
        FormHarness window(program.path());
        window->Form_Load();

        QVERIFY(window.dialogs.messages.empty());
        QCOMPARE(window->styleSheet(), QString());
        // (The options paint on the button face in any case; the frames show it.)
        QVERIFY(backgroundOf(window->Frame3) != window->Frame3->palette().color(QPalette::Button));
        QVERIFY(backgroundOf(window->Frame1) != window->Frame1->palette().color(QPalette::Button));
    }

    // --- The hand cursor over the buttons ---

    void handCursor_fromTheProgramFolder_orThePointingHand_data() {
        QTest::addColumn<bool>("shipped");
        QTest::addColumn<int>("shape");
        QTest::newRow("HAND-M.CUR present") << true << int(Qt::BitmapCursor);
        QTest::newRow("HAND-M.CUR missing") << false << int(Qt::PointingHandCursor);
    }
    void handCursor_fromTheProgramFolder_orThePointingHand() {
        QFETCH(bool, shipped);
        QFETCH(int, shape);
        const ProgramFolder program;
        if (shipped) {
            program.addHandCursor();
        }
        FormHarness window(program.path());
        window->Form_Load();
        QVERIFY(window.dialogs.messages.empty());

        // The pointer value the buttons set: the cursor drawn from the file, or the hand.
        window->setMousePointer(99);
        QCOMPARE(int(window->cursor().shape()), shape);
        window->setMousePointer(0);
        QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
        // Hovering a button.
        hoverOver(window->PushButton1);
        QCOMPARE(int(window->cursor().shape()), shape);
    }

    // A file of that name that is no picture: the pointing hand, and no box.
    void handCursor_unreadable_fallsBackToThePointingHand() {
        const ProgramFolder program;
        tabrivo::test::writeFileBytes(program.dir.path() / "HAND-M.CUR", "not a cursor");
        FormHarness window(program.path());
        window->Form_Load();
        QVERIFY(window.dialogs.messages.empty());
        window->setMousePointer(99);
        QCOMPARE(window->cursor().shape(), Qt::PointingHandCursor);
    }

    // --- The home page, now and then ---

    void homePage_isVisitedWhenTheDrawIsSeven_data() {
        QTest::addColumn<double>("random");
        QTest::addColumn<int>("visits");
        QTest::newRow("0.065 draws 7") << 0.065 << 1;
        QTest::newRow("0.06 draws 7") << 0.06 << 1;
        QTest::newRow("0.5 draws 51") << 0.5 << 0;
        QTest::newRow("0.0 draws 1") << 0.0 << 0;
        QTest::newRow("0.075 draws 8") << 0.075 << 0;
        QTest::newRow("0.055 draws 6") << 0.055 << 0;
    }
    void homePage_isVisitedWhenTheDrawIsSeven() {
        QFETCH(double, random);
        QFETCH(int, visits);
        const ProgramFolder program;
        FormHarness window(program.path());
        window.randomValue = random;
        window->Form_Load();
        QCOMPARE(int(window.urlOpener.opened.size()), visits);
        if (visits > 0) {
            QCOMPARE(window.urlOpener.opened.front(), QUrl(QStringLiteral("https://tabrivo.org/")));
        }
        QVERIFY(window.dialogs.messages.empty());
    }

    // --- Icons ---

    void icons_inTheProgramFolder_areTheWindowIcon() {
        const ProgramFolder program;
        program.addIcons();
        FormHarness window(program.path());
        window->Form_Load();
        QVERIFY(window.dialogs.messages.empty());
        QVERIFY(!window->windowIcon().isNull());
        const QList<QSize> sizes = window->windowIcon().availableSizes();
        for (const int size : {16, 32, 48, 256}) {
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        }
    }

    // --- Everything shipped ---

    void everyShippedFile_present_loadsQuietly() {
        const ProgramFolder program;
        program.addSkin();
        program.addHandCursor();
        program.addIcons();
        fs::copy_file(kArtwork / "drag.ico", program.dir.path() / "drag.ico");
        FormHarness window(program.path());
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));

        QVERIFY(window.dialogs.messages.empty());
        QVERIFY(!window->styleSheet().isEmpty());
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->windowTitle(), QStringLiteral("Tabrivo"));
        window->setMousePointer(99);
        QCOMPARE(window->cursor().shape(), Qt::BitmapCursor);
    }

    // --- Files and folders on the command line ("Open With") ---

    void commandLine_namesPathsAsADropGivesThem_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("unknownOption");
        QTest::newRow("relative and absolute")
            << QStringList{"page.html", "/data/a b.htm", "sub/"}
            << QStringList{"/work/page.html", "/data/a b.htm", "/work/sub"} << QString();
        QTest::newRow("dots and doubled separators")
            << QStringList{"./x/../y.html", "/data//z.html"}
            << QStringList{"/work/y.html", "/data/z.html"} << QString();
        QTest::newRow("-- ends the options")
            << QStringList{"--", "-o.html", "--"} << QStringList{"/work/-o.html", "/work/--"}
            << QString();
        QTest::newRow("unknown option") << QStringList{"a.html", "-x", "--y"}
                                        << QStringList{"/work/a.html"} << QStringLiteral("-x");
    }
    void commandLine_namesPathsAsADropGivesThem() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, paths);
        QFETCH(QString, unknownOption);
        const tabrivo::WindowArguments parsed =
            tabrivo::windowArguments(arguments, QStringLiteral("/work"));
        QCOMPARE(parsed.paths, paths);
        QCOMPARE(parsed.unknownOption, unknownOption);
    }

    void startedWithFilesAndFolders_listsThemAfterTheLoad_asADropDoes() {
        const ProgramFolder program;
        const TempDir pages;
        fs::create_directories(pages.path() / "folder" / "sub");
        for (const char* name :
             {"page.html", "folder/a.html", "folder/~a.html", "folder/sub/b.htm"}) {
            tabrivo::test::writeFileBytes(pages.path() / name, "<table></table>");
        }
        const auto path = [&](const char* relative) { return q(pages.path() / relative); };
        FormHarness window(program.path());
        window->start(
            tabrivo::windowArguments({"page.html", "folder", "missing.html"}, q(pages.path()))
                .paths);
        QVERIFY(window->isVisible());
        QCOMPARE(window->ListView1->headerItem()->text(0), QStringLiteral("HTML File(s)"));
        QTRY_COMPARE(window.rows(), (QStringList{path("page.html"), path("folder/a.html"),
                                                 path("folder/sub/b.htm"), path("missing.html")}));
        QVERIFY(window.dialogs.messages.empty());
    }

private:
    TempDir m_home;
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
