// The window's look, piece by piece: the short application title cut from the
// product name, the skin file and what it does to a window, and the cursors
// drawn from the shipped pictures.

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <QtTest>
#include <filesystem>
#include <stdexcept>

#include <shell/appearance.h>
#include <shell/error_box.h>
#include "test_support.h"
#include "widget_support.h"

using tabrivo::test::TempDir;
using tabrivo::test::writeFileBytes;

using tabrivo::test::backgroundOf;
using tabrivo::test::DistinctButtonFace;

namespace {

namespace fs = std::filesystem;

QString q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

const fs::path kArtwork = TABRIVO_ARTWORK_DIR;

// A window with one control of every kind the skin touches, and two it leaves alone.
struct SkinnedWindow {
    QWidget window;
    QRadioButton* radio = new QRadioButton(QStringLiteral("radio"), &window);
    QCheckBox* check = new QCheckBox(QStringLiteral("check"), &window);
    QGroupBox* group = new QGroupBox(QStringLiteral("group"), &window);
    QLabel* label = new QLabel(QStringLiteral("label"), &window);
    QLineEdit* edit = new QLineEdit(&window);
    QPushButton* button = new QPushButton(QStringLiteral("button"), &window);
};

}  // namespace

class AppearanceTest : public QObject {
    Q_OBJECT

private slots:
    // --- The application title ---

    void applicationTitleFor_cutsTheName_data() {
        QTest::addColumn<QString>("productName");
        QTest::addColumn<QString>("title");
        QTest::newRow("one word stays whole") << "Tabrivo"
                                              << "Tabrivo";
        QTest::newRow("two words: the last goes") << "Tabrivo Pro"
                                                  << "Tabrivo";
        QTest::newRow("three words: only the last goes") << "A B C"
                                                         << "A B";
        QTest::newRow("a trailing blank: the empty last word goes") << "Tabrivo "
                                                                    << "Tabrivo";
        QTest::newRow("one long word stays whole")
            << "Supercalifragilisticexpialidocious-Tabrivo-Edition"
            << "Supercalifragilisticexpialidocious-Tabrivo-Edition";
        // 60 characters; cut after cut: 55, 49, 46, then 40, which is short enough.
        QTest::newRow("long name cut down to exactly 40")
            << "Tabrivo HTML Table Converter for Desktop Users of Every Kind"
            << "Tabrivo HTML Table Converter for Desktop";
        // 41 characters after the first cut: one more cut.
        QTest::newRow("41 after the first cut is cut again")
            << "Tabrivo HTML Table Converter for Desktops X"
            << "Tabrivo HTML Table Converter for";
        // After the first cut a blank-less word of 46 characters is left: it stays.
        QTest::newRow("a long first word is kept once the blanks are gone")
            << "Averylongproductnamewithoutanyblanksatall12345 Pro"
            << "Averylongproductnamewithoutanyblanksatall12345";
        QTest::newRow("short name: the last word still goes") << "Tabrivo Converter Suite"
                                                              << "Tabrivo Converter";
    }
    void applicationTitleFor_cutsTheName() {
        QFETCH(QString, productName);
        QFETCH(QString, title);
        QCOMPARE(tabrivo::applicationTitleFor(productName), title);
    }

    void setApplicationTitle_isWhatEveryBoxIsCaptionedWith() {
        tabrivo::SetApplicationTitle(QStringLiteral("Tabrivo Converter Suite"));
        const QString set = tabrivo::applicationTitle();
        tabrivo::SetApplicationTitle(QStringLiteral("Tabrivo"));
        QCOMPARE(set, QStringLiteral("Tabrivo Converter"));
        QCOMPARE(tabrivo::applicationTitle(), QStringLiteral("Tabrivo"));
    }

    // --- The skin ---

    void skinFilePath_isXSlashOCjsInTheProgramFolder() {
        QCOMPARE(tabrivo::skinFilePath(QStringLiteral("/opt/tabrivo")),
                 QStringLiteral("/opt/tabrivo/x/o.cjs"));
    }

    void applySkin_withTheShippedFile_appliesItsTextAndTheButtonFace() {
        const DistinctButtonFace colours;
        const TempDir program;
        fs::create_directory(program.path() / "x");
        fs::copy_file(kArtwork / "o.cjs", program.path() / "x" / "o.cjs");
        SkinnedWindow skinned;
        // (Buttons of every kind, the options too, paint on the button face anyway.)
        QCOMPARE(backgroundOf(skinned.group), DistinctButtonFace::windowColour());
        QCOMPARE(backgroundOf(skinned.label), DistinctButtonFace::windowColour());

        QVERIFY(tabrivo::ApplySkin(&skinned.window, q(program.path())));

        QCOMPARE(skinned.window.styleSheet(),
                 QString::fromUtf8(tabrivo::test::readFileBytes(kArtwork / "o.cjs")));
        for (const QWidget* widget : {static_cast<const QWidget*>(&skinned.window),
                                      static_cast<const QWidget*>(skinned.radio),
                                      static_cast<const QWidget*>(skinned.check),
                                      static_cast<const QWidget*>(skinned.group),
                                      static_cast<const QWidget*>(skinned.label)}) {
            QCOMPARE(backgroundOf(widget), DistinctButtonFace::buttonFace());
        }
        // A text box keeps its own background.
        QCOMPARE(backgroundOf(skinned.edit), QColor(0xfa, 0xfa, 0xfa));
    }

    void applySkin_withoutAPlainSkinFile_changesNothing_data() {
        QTest::addColumn<QString>("layout");
        QTest::newRow("no x folder") << "";
        QTest::newRow("empty x folder") << "x/";
        QTest::newRow("hidden skin file only") << "x/.o.cjs";
        QTest::newRow("o.cjs is a folder") << "x/o.cjs/";
        QTest::newRow("skin beside the program, not in x") << "o.cjs";
    }
    void applySkin_withoutAPlainSkinFile_changesNothing() {
        QFETCH(QString, layout);
        const DistinctButtonFace colours;
        const TempDir program;
        if (!layout.isEmpty()) {
            const fs::path target = program.path() / layout.toStdString();
            if (layout.endsWith(QLatin1Char('/'))) {
                fs::create_directories(target);
            } else {
                fs::create_directories(target.parent_path());
                fs::copy_file(kArtwork / "o.cjs", target);
            }
        }
        SkinnedWindow skinned;
        QVERIFY(!tabrivo::ApplySkin(&skinned.window, q(program.path())));
        QCOMPARE(skinned.window.styleSheet(), QString());
        QCOMPARE(backgroundOf(&skinned.window), DistinctButtonFace::windowColour());
        QCOMPARE(backgroundOf(skinned.group), DistinctButtonFace::windowColour());
        QCOMPARE(backgroundOf(skinned.label), DistinctButtonFace::windowColour());
    }

    // --- Cursors ---

    void loadCursor_fromTheShippedPictures_givesABitmapCursorWithTheHotSpot_data() {
        QTest::addColumn<QString>("picture");
        QTest::newRow("hand") << "HAND-M.CUR";
        QTest::newRow("drag") << "drag.ico";
    }
    void loadCursor_fromTheShippedPictures_givesABitmapCursorWithTheHotSpot() {
        QFETCH(QString, picture);
        const std::optional<QCursor> cursor =
            tabrivo::loadCursor(q(kArtwork / picture.toStdString()), 7, 3);
        QVERIFY(cursor.has_value());
        QCOMPARE(cursor->shape(), Qt::BitmapCursor);
        QCOMPARE(cursor->hotSpot(), QPoint(7, 3));
        QVERIFY(!cursor->pixmap().isNull());
    }

    void loadCursor_withoutAPicture_givesNothing() {
        const TempDir folder;
        writeFileBytes(folder.path() / "broken.cur", "not a picture at all");
        QVERIFY(!tabrivo::loadCursor(q(folder.path() / "missing.cur"), 0, 0).has_value());
        QVERIFY(!tabrivo::loadCursor(q(folder.path() / "broken.cur"), 0, 0).has_value());
        QVERIFY(!tabrivo::loadCursor(q(folder.path()), 0, 0).has_value());
    }
};

QTEST_MAIN(AppearanceTest)
#include "appearance_test.moc"
