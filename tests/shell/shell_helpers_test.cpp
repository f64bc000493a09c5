// The desktop connections: the file-exists test, the desktop folder with its
// fallback to the home folder, and the occasional visit to the home page.

#include <QDir>
#include <QtTest>
#include <string>

#include <engine/product.h>
#include <shell/shell_helpers.h>
#include "fake_dialogs.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FakeUrlOpener;
using tabrivo::test::TempDir;

class ShellHelpersTest : public QObject {
    Q_OBJECT

private slots:
    void fileExists_emptyMissingFileOrFolder() {
        const TempDir dir;
        const QString file = QString::fromStdString(dir.file("page.html"));
        tabrivo::test::writeFileBytes(dir.file("page.html"), "<table></table>");
        QCOMPARE(tabrivo::FileExists(QString()), false);
        QCOMPARE(tabrivo::FileExists(QString::fromStdString(dir.file("missing.html"))), false);
        QCOMPARE(tabrivo::FileExists(file), true);
        QCOMPARE(tabrivo::FileExists(QString::fromStdString(dir.path().string())), true);
    }

    void getDesktopFolder_desktopExists_isItWithOneSeparator() {
        const TempDir home;
        const QString homePath = QString::fromStdString(home.path().string());
        tabrivo::test::useHomeFolder(homePath);
        QVERIFY(QDir(homePath).mkdir(QStringLiteral("Desktop")));
        QCOMPARE(tabrivo::GetDesktopFolder(), homePath + QStringLiteral("/Desktop/"));
        QCOMPARE(tabrivo::GetSpecialFolderPath(tabrivo::kDesktopFolder),
                 homePath + QStringLiteral("/Desktop"));
    }

    void getDesktopFolder_noDesktopFolder_isTheHomeFolder() {
        const TempDir home;
        const QString homePath = QString::fromStdString(home.path().string());
        tabrivo::test::useHomeFolder(homePath);
        QCOMPARE(tabrivo::GetDesktopFolder(), homePath + QStringLiteral("/"));
    }

    void getDesktopFolder_homeGivenWithTrailingSeparator_keepsOneSeparator() {
        const TempDir home;
        const QString homePath = QString::fromStdString(home.path().string());
        tabrivo::test::useHomeFolder(homePath + QStringLiteral("/"));
        const QString folder = tabrivo::GetDesktopFolder();
        QVERIFY2(folder.endsWith(QStringLiteral("/")), qPrintable(folder));
        QVERIFY2(!folder.endsWith(QStringLiteral("//")), qPrintable(folder));
    }

    void getSpecialFolderPath_unknownFolder_isEmpty() {
        QCOMPARE(tabrivo::GetSpecialFolderPath(5), QString());
    }

    void visitHomePageByChance_opensOnlyOnTheSeventhHundredth_data() {
        QTest::addColumn<double>("drawn");
        QTest::addColumn<bool>("opens");
        QTest::newRow("0.065") << 0.065 << true;
        QTest::newRow("0.06") << 0.06 << true;
        QTest::newRow("0.0") << 0.0 << false;
        QTest::newRow("0.05") << 0.05 << false;
        QTest::newRow("0.07") << 0.07 << false;
        QTest::newRow("0.999") << 0.999 << false;
    }
    void visitHomePageByChance_opensOnlyOnTheSeventhHundredth() {
        QFETCH(double, drawn);
        QFETCH(bool, opens);
        FakeUrlOpener opener;
        tabrivo::VisitHomePageByChance([drawn] { return drawn; }, opener);
        if (!opens) {
            QVERIFY(opener.opened.empty());
            return;
        }
        QCOMPARE(opener.opened.size(), std::size_t{1});
        QCOMPARE(opener.opened.front().toString(),
                 QString::fromUtf8(tabrivo::kHomePageUrl.data(),
                                   static_cast<qsizetype>(tabrivo::kHomePageUrl.size())));
    }

    void clockSeededRandom_staysInTheUnitRange() {
        const tabrivo::RandomSource random = tabrivo::clockSeededRandom();
        for (int i = 0; i < 1000; ++i) {
            const double r = random();
            QVERIFY(r >= 0.0 && r < 1.0);
        }
    }
};

QTEST_MAIN(ShellHelpersTest)
#include "shell_helpers_test.moc"
