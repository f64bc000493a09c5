// The "Save Option" group: restored from the settings store when the window
// loads, every change stored at once, and the "..." folder chooser.

#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include <shell/settings_store.h>
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::SettingsStore;
using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;

class OutputLocationTest : public QObject {
    Q_OBJECT

private slots:
    // Every test gets a home folder of its own (with or without a desktop folder).
    void init() {
        m_home = std::make_unique<TempDir>();
        tabrivo::test::useHomeFolder(homePath());
    }
    void cleanup() { m_home.reset(); }

    void firstStart_savesToTheDesktopFolder_data() {
        QTest::addColumn<bool>("desktopExists");
        QTest::newRow("desktop folder") << true;
        QTest::newRow("no desktop folder: home") << false;
    }
    void firstStart_savesToTheDesktopFolder() {
        QFETCH(bool, desktopExists);
        if (desktopExists) {
            QVERIFY(QDir(homePath()).mkdir(QStringLiteral("Desktop")));
        }
        const QString expected =
            homePath() + (desktopExists ? QStringLiteral("/Desktop/") : QStringLiteral("/"));
        FormHarness window;
        window->Form_Load();
        QVERIFY(window->Option1->isChecked());
        QVERIFY(!window->Option2->isChecked());
        QVERIFY(window->Frame1->isEnabled());
        QCOMPARE(window->Text2->text(), expected);
        // Already in the file, under the program's section.
        const QSettings file(window.iniPath(), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("Tabrivo/Text2")).toString(), expected);
        QVERIFY(window.dialogs.messages.empty());
    }

    void storedFolderText_isRestored() {
        FormHarness window;
        window.settings->WriteSetting(QStringLiteral("Text2"), QStringLiteral("/srv/results/"));
        window->Form_Load();
        QCOMPARE(window->Text2->text(), QStringLiteral("/srv/results/"));
    }

    void option2Chosen_isRestoredAtTheNextStart() {
        FormHarness window;
        window->Form_Load();
        window->Option2->setChecked(true);
        window->Option2_Click();
        QVERIFY(!window->Option1->isChecked());
        QVERIFY(!window->Frame1->isEnabled());
        QCOMPARE(window.stored(QStringLiteral("Option1")), QStringLiteral("False"));
        QCOMPARE(window.stored(QStringLiteral("Option2")), QStringLiteral("True"));

        window.restart();
        window->Form_Load();
        QVERIFY(window->Option2->isChecked());
        QVERIFY(!window->Option1->isChecked());
        QVERIFY(!window->Frame1->isEnabled());
        QVERIFY(window.dialogs.messages.empty());
    }

    void option1ChosenAgain_isRestoredAtTheNextStart() {
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        QTest::mouseClick(window->Option2, Qt::LeftButton);
        QVERIFY(window->Option2->isChecked());
        QVERIFY(!window->Frame1->isEnabled());
        QTest::mouseClick(window->Option1, Qt::LeftButton);
        QVERIFY(window->Option1->isChecked());
        QVERIFY(!window->Option2->isChecked());
        QVERIFY(window->Frame1->isEnabled());
        QCOMPARE(window.stored(QStringLiteral("Option1")), QStringLiteral("True"));
        QCOMPARE(window.stored(QStringLiteral("Option2")), QStringLiteral("False"));

        window.restart();
        window->Form_Load();
        QVERIFY(window->Option1->isChecked());
        QVERIFY(!window->Option2->isChecked());
        QVERIFY(window->Frame1->isEnabled());
    }

    void storedNumbers_readAsTruthValues_data() {
        QTest::addColumn<QString>("option1");
        QTest::addColumn<QString>("option2");
        QTest::addColumn<bool>("option2Selected");
        QTest::newRow("0 and -1") << QStringLiteral("0") << QStringLiteral("-1") << true;
        QTest::newRow("-1 and 0") << QStringLiteral("-1") << QStringLiteral("0") << false;
    }
    void storedNumbers_readAsTruthValues() {
        QFETCH(QString, option1);
        QFETCH(QString, option2);
        QFETCH(bool, option2Selected);
        FormHarness window;
        window.settings->WriteSetting(QStringLiteral("Option1"), option1);
        window.settings->WriteSetting(QStringLiteral("Option2"), option2);
        window->Form_Load();
        QCOMPARE(window->Option2->isChecked(), option2Selected);
        QCOMPARE(window->Option1->isChecked(), !option2Selected);
        QCOMPARE(window->Frame1->isEnabled(), !option2Selected);
        QVERIFY(window.dialogs.messages.empty());
    }

    void storedOptionNoTruthValue_showsErrorBoxAndLoadGoesOn() {
        FormHarness window;
        window.settings->WriteSetting(QStringLiteral("Option1"), QStringLiteral("maybe"));
        window->Form_Load();
        QCOMPARE(window.dialogs.messages.size(), std::size_t{1});
        const auto& box = window.dialogs.messages.front();
        QCOMPARE(box.caption, QStringLiteral("Application Error"));
        QCOMPARE(box.icon, tabrivo::Dialogs::Icon::Warning);
        QVERIFY2(box.text.contains(
                     QStringLiteral("\r\nin Velquist2021/08/31.Form1.Form_Load at line 134\r\r")),
                 qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("Option1")), qPrintable(box.text));
        // The steps after the failed one ran.
        QVERIFY(!window->Option1->isChecked());
        QVERIFY(!window->Frame1->isEnabled());
        QCOMPARE(window->ListView1->headerItem()->text(0), QStringLiteral("HTML File(s)"));
        QCOMPARE(window->ListView1->columnWidth(0), 480);
        QCOMPARE(window->windowTitle(), QStringLiteral("Tabrivo"));
    }

    // The store's file cannot be created (a folder is in its place, which
    // stops root too): storing the folder text fails, and the load goes on.
    void settingsCannotBeWritten_loadStillFinishes() {
        FormHarness window;
        QVERIFY(QDir().mkdir(window.iniPath()));
        window.restart();
        window->Form_Load();
        QVERIFY(!window.dialogs.messages.empty());
        QCOMPARE(window->Text2->text(), homePath() + QStringLiteral("/"));
        QVERIFY(window->Option1->isChecked());
        QVERIFY(window->Frame1->isEnabled());
        QCOMPARE(window->ListView1->headerItem()->text(0), QStringLiteral("HTML File(s)"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Tabrivo"));
    }

    // Every write of the load fails (the samples record at 110 and 130, the
    // folder text at 132): each is one error box of the load with its step,
    // and the load still finishes.
    void settingsCannotBeWritten_eachFailedStepIsTheLoadsErrorBox() {
        FormHarness window;
        QVERIFY(QDir().mkdir(window.iniPath()));
        window.restart();
        window->Form_Load();
        QStringList lines;
        for (const auto& box : window.dialogs.messages) {
            QCOMPARE(box.caption, QStringLiteral("Application Error"));
            const qsizetype at = box.text.indexOf(QStringLiteral("at line "));
            QVERIFY2(
                box.text.contains(QStringLiteral("\r\nin Velquist2021/08/31.Form1.Form_Load ")),
                qPrintable(box.text));
            lines << box.text.mid(at + 8, 3);
        }
        QCOMPARE(lines, (QStringList{QStringLiteral("110"), QStringLiteral("130"),
                                     QStringLiteral("132")}));
        QCOMPARE(window->ListView1->headerItem()->text(0), QStringLiteral("HTML File(s)"));
    }

    void chooseFolder_startsAtTheLastFolderAndSetsTheBox_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("expectedText");
        QTest::addColumn<QString>("expectedLast");
        QTest::newRow("folder") << QStringLiteral("/tmp/x") << QStringLiteral("/tmp/x/")
                                << QStringLiteral("/tmp/x");
        QTest::newRow("folder with separator")
            << QStringLiteral("/tmp/x/") << QStringLiteral("/tmp/x/") << QStringLiteral("/tmp/x");
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/") << QStringLiteral("/");
    }
    void chooseFolder_startsAtTheLastFolderAndSetsTheBox() {
        QFETCH(QString, chosen);
        QFETCH(QString, expectedText);
        QFETCH(QString, expectedLast);
        FormHarness window;
        window.settings->WriteSetting(QStringLiteral("LastFolderDot"), QStringLiteral("/srv/old"));
        window->Form_Load();
        window.dialogs.chooseFolderAnswers.push_back(chosen);
        window->PushButton4_Click();
        QCOMPARE(window.dialogs.chooseFolderCalls.size(), std::size_t{1});
        QCOMPARE(window.dialogs.chooseFolderCalls.front().prompt,
                 QStringLiteral("Please select folder:"));
        QCOMPARE(window.dialogs.chooseFolderCalls.front().startFolder, QStringLiteral("/srv/old"));
        QCOMPARE(window->Text2->text(), expectedText);
        QCOMPARE(window.stored(QStringLiteral("Text2")), expectedText);
        QCOMPARE(window.stored(QStringLiteral("LastFolderDot")), expectedLast);
        QVERIFY(window.dialogs.messages.empty());

        // The next choice starts where this one ended.
        window->PushButton4_Click();
        QCOMPARE(window.dialogs.chooseFolderCalls.back().startFolder, expectedLast);
    }

    void chooseFolder_cancelled_changesNothing() {
        FormHarness window;
        window.settings->WriteSetting(QStringLiteral("LastFolderDot"), QStringLiteral("/srv/old"));
        window.settings->WriteSetting(QStringLiteral("Text2"), QStringLiteral("/srv/out/"));
        window->Form_Load();
        window.dialogs.chooseFolderAnswers.push_back(QString());
        window->PushButton4_Click();
        QCOMPARE(window->Text2->text(), QStringLiteral("/srv/out/"));
        QCOMPARE(window.stored(QStringLiteral("Text2")), QStringLiteral("/srv/out/"));
        QCOMPARE(window.stored(QStringLiteral("LastFolderDot")), QStringLiteral("/srv/old"));
        QVERIFY(window.dialogs.messages.empty());
    }

    void typingInTheFolderBox_storesEveryChange() {
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        window->Text2->clear();
        QCOMPARE(window.stored(QStringLiteral("Text2")), QString());
        window->Text2->setFocus();
        QString typed;
        for (const QChar character : QStringLiteral("/o/")) {
            QTest::keyClick(window->Text2, character.toLatin1());
            typed += character;
            QCOMPARE(window.stored(QStringLiteral("Text2")), typed);
        }
        window->Text2->setText(QStringLiteral("/srv/x/"));
        QCOMPARE(window.stored(QStringLiteral("Text2")), QStringLiteral("/srv/x/"));
        QVERIFY(window.dialogs.messages.empty());
    }

private:
    QString homePath() const { return QString::fromStdString(m_home->path().string()); }
    std::unique_ptr<TempDir> m_home;
};

QTEST_MAIN(OutputLocationTest)
#include "output_location_test.moc"
