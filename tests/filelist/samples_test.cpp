// The sample files: the scrambled "Snapshot" record, recording the files of
// the Samples folder, and "Load Sample/Example Files" adding them and offering
// to open their folder; the window records them when it starts.

#include <QDir>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>
#include <stdexcept>
#include <string>

#include <filelist/file_list.h>
#include <filelist/samples.h>
#include <shell/settings_store.h>
#include "fake_dialogs.h"
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::SettingsStore;
using tabrivo::test::FakeDialogs;
using tabrivo::test::FakeUrlOpener;
using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;
namespace fs = std::filesystem;

namespace {

const QString kQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

// A program folder, with a Samples folder holding the given files (none: no
// Samples folder at all).
class ProgramFolder {
public:
    explicit ProgramFolder(const QStringList& samples,
                           const QString& name = QStringLiteral("app")) {
        m_folder = QString::fromStdString(m_dir.path().string()) + QLatin1Char('/') + name;
        QDir().mkpath(m_folder);
        if (!samples.isEmpty()) {
            QDir().mkpath(samplesFolder());
        }
        for (const QString& file : samples) {
            tabrivo::test::writeFileBytes(fs::path(sample(file).toStdString()), "<table></table>");
        }
    }
    const QString& folder() const { return m_folder; }
    QString samplesFolder() const { return m_folder + QStringLiteral("/Samples"); }
    QString sample(const QString& name) const { return samplesFolder() + QLatin1Char('/') + name; }

private:
    TempDir m_dir;
    QString m_folder;
};

// The recorded sample paths, as a fresh reader of the store sees them.
QString recordedSamples(const QString& iniFile) {
    const SettingsStore reader(iniFile);
    const QByteArray bytes =
        reader.ReadSetting(tabrivo::SettingKey::Snapshot, QString()).toLatin1();
    return QString::fromStdString(
        tabrivo::UnscrambleText(bytes.toStdString(), tabrivo::kSnapshotKey));
}

// A list and the boxes to load the samples into.
struct Loader {
    explicit Loader(const QString& programFolder)
        : settings(QString::fromStdString(settingsDir.file("settings.ini"))),
          list(&view),
          folder(programFolder) {}
    void press() { tabrivo::LoadSampleFiles(list, settings, dialogs, opener, folder); }
    QStringList rows() const {
        QStringList texts;
        for (int row = 1; row <= list.count(); ++row) {
            texts << list.rowText(row);
        }
        return texts;
    }

    TempDir settingsDir;
    SettingsStore settings;
    QTreeWidget view;
    tabrivo::FileList list;
    FakeDialogs dialogs;
    FakeUrlOpener opener;
    QString folder;
};

}  // namespace

class SamplesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    // --- The scrambled record ---

    void scramble_roundTripsAnyPath_andHoldsNoNul_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("plain") << QStringLiteral("/opt/tabrivo/Samples/a.html");
        QTest::newRow("accents and CJK and Cyrillic")
            << QStringLiteral("/tmp/Ünïcödé/名前/файл.html");
        QTest::newRow("emoji") << QStringLiteral("/tmp/😀 smile/🎉.htm");
        QTest::newRow("separator in the text") << QStringLiteral("/tmp/a.html|/tmp/b|c.htm");
        QTest::newRow("quotes, equals, semicolons, commas")
            << QStringLiteral("/tmp/\"x\" = y; z, w \\ #.html");
        QTest::newRow("spaces at both ends") << QStringLiteral("  /tmp/a b.html  ");
        QTest::newRow("control characters") << QStringLiteral("\x01\x1f\x7f\r\n\t");
    }
    void scramble_roundTripsAnyPath_andHoldsNoNul() {
        QFETCH(QString, text);
        const std::string plain = text.toStdString();
        const std::string scrambled = tabrivo::ScrambleText(plain, tabrivo::kSnapshotKey);
        QCOMPARE(scrambled.size(), plain.size());
        QVERIFY(scrambled.find('\0') == std::string::npos);
        QCOMPARE(tabrivo::UnscrambleText(scrambled, tabrivo::kSnapshotKey), plain);
    }

    void scramble_everyByteAtEveryKeyPosition_roundTrips() {
        std::string all;
        for (int shift = 0; shift < static_cast<int>(tabrivo::kSnapshotKey.size()); ++shift) {
            all.append(static_cast<std::size_t>(shift), 'x');
            for (int byte = 1; byte <= 255; ++byte) {
                all.push_back(static_cast<char>(byte));
            }
        }
        const std::string scrambled = tabrivo::ScrambleText(all, tabrivo::kSnapshotKey);
        QVERIFY(scrambled.find('\0') == std::string::npos);
        QVERIFY(scrambled != all);
        QCOMPARE(tabrivo::UnscrambleText(scrambled, tabrivo::kSnapshotKey), all);
    }

    void scrambledRecord_survivesTheSettingsFile() {
        // The record goes through the store one Latin-1 character a byte: every
        // character 1..255, at every position, must come back unchanged.
        QByteArray bytes;
        for (int round = 0; round < 3; ++round) {
            bytes.append(QByteArray(round, ' '));
            for (int byte = 1; byte <= 255; ++byte) {
                bytes.append(static_cast<char>(byte));
            }
        }
        bytes.append("  ");
        const TempDir dir;
        const QString ini = QString::fromStdString(dir.file("settings.ini"));
        SettingsStore(ini).WriteSetting(tabrivo::SettingKey::Snapshot, QString::fromLatin1(bytes));
        const SettingsStore reader(ini);
        QCOMPARE(reader.ReadSetting(tabrivo::SettingKey::Snapshot, QString()).toLatin1(), bytes);
    }

    // --- Recording the samples ---

    void buildSampleList_recordsEveryFileInNameOrder() {
        const ProgramFolder program({QStringLiteral("b.htm"), QStringLiteral("a.html")});
        QDir().mkpath(program.samplesFolder() + QStringLiteral("/sub"));  // folders are not files
        const TempDir dir;
        const QString ini = QString::fromStdString(dir.file("settings.ini"));
        SettingsStore settings(ini);
        tabrivo::BuildSampleList(settings, program.folder());
        QCOMPARE(recordedSamples(ini), program.sample(QStringLiteral("a.html")) + QLatin1Char('|') +
                                           program.sample(QStringLiteral("b.htm")));
    }

    void buildSampleList_withoutSamplesFolder_recordsAnEmptyValue() {
        const ProgramFolder program({});
        const TempDir dir;
        const QString ini = QString::fromStdString(dir.file("settings.ini"));
        SettingsStore settings(ini);
        tabrivo::BuildSampleList(settings, program.folder());
        QCOMPARE(SettingsStore(ini).ReadSetting(tabrivo::SettingKey::Snapshot,
                                                QStringLiteral("<absent>")),
                 QString());
    }

    void unicodeProgramFolder_samplesAreRecordedAndLoaded() {
        const ProgramFolder program({QStringLiteral("über.html"), QStringLiteral("表.htm")},
                                    QStringLiteral("Ünïcödé 名前 файл ; = , \"q\" 😀"));
        Loader loader(program.folder());
        tabrivo::BuildSampleList(loader.settings, program.folder());
        loader.press();
        QCOMPARE(loader.rows(), (QStringList{program.sample(QStringLiteral("über.html")),
                                             program.sample(QStringLiteral("表.htm"))}));
        QVERIFY(loader.dialogs.messages.empty());
    }

    // --- Loading the samples ---

    void load_addsTheRecordedFiles_thenAsks_andAgainAddsNothing() {
        const ProgramFolder program({QStringLiteral("a.html"), QStringLiteral("b.htm")});
        Loader loader(program.folder());
        tabrivo::BuildSampleList(loader.settings, program.folder());
        loader.list.append(QStringLiteral("/data/already.html"));
        loader.press();
        const QStringList expected{QStringLiteral("/data/already.html"),
                                   program.sample(QStringLiteral("a.html")),
                                   program.sample(QStringLiteral("b.htm"))};
        QCOMPARE(loader.rows(), expected);
        QCOMPARE(loader.dialogs.questions.size(), std::size_t{1});
        QCOMPARE(loader.dialogs.questions[0].text, kQuestion);
        QCOMPARE(loader.dialogs.questions[0].caption, QStringLiteral("Tabrivo"));

        loader.press();
        QCOMPARE(loader.rows(), expected);
        QCOMPARE(loader.dialogs.questions.size(), std::size_t{2});
        QVERIFY(loader.dialogs.messages.empty());
    }

    void load_yesOpensTheSamplesFolder_noOpensNothing() {
        const ProgramFolder program({QStringLiteral("a.html")});
        Loader loader(program.folder());
        tabrivo::BuildSampleList(loader.settings, program.folder());
        loader.dialogs.questionAnswers = {false, true};
        loader.press();
        QVERIFY(loader.opener.opened.empty());
        loader.press();
        QCOMPARE(loader.opener.opened.size(), std::size_t{1});
        QCOMPARE(loader.opener.opened[0],
                 QUrl::fromLocalFile(program.samplesFolder() + QLatin1Char('/')));
    }

    void load_listedInAnotherLetterCase_isAddedAgain() {
        const ProgramFolder program({QStringLiteral("a.html")});
        Loader loader(program.folder());
        tabrivo::BuildSampleList(loader.settings, program.folder());
        loader.list.append(program.sample(QStringLiteral("A.HTML")));
        loader.press();
        QCOMPARE(loader.rows(), (QStringList{program.sample(QStringLiteral("A.HTML")),
                                             program.sample(QStringLiteral("a.html"))}));
    }

    void load_recordedFileDeletedLater_isSkippedSilently() {
        const ProgramFolder program({QStringLiteral("a.html"), QStringLiteral("b.htm")});
        Loader loader(program.folder());
        tabrivo::BuildSampleList(loader.settings, program.folder());
        QVERIFY(QFile::remove(program.sample(QStringLiteral("a.html"))));
        loader.press();
        QCOMPARE(loader.rows(), QStringList{program.sample(QStringLiteral("b.htm"))});
        QVERIFY(loader.dialogs.messages.empty());
        QCOMPARE(loader.dialogs.questions.size(), std::size_t{1});
    }

    void load_nothingRecorded_onlyAsks() {
        const ProgramFolder program({});
        Loader loader(program.folder());
        tabrivo::BuildSampleList(loader.settings, program.folder());
        loader.press();
        QCOMPARE(loader.list.count(), 0);
        QCOMPARE(loader.dialogs.questions.size(), std::size_t{1});
        QVERIFY(loader.dialogs.messages.empty());
    }

    // --- In the window ---

    void firstStart_withoutSamplesFolder_recordsEmptyValueAndShowsNothing() {
        const ProgramFolder program({});
        FormHarness window(program.folder());
        QCOMPARE(window.stored(QStringLiteral("Snapshot")), QStringLiteral("<absent>"));
        window->Form_Load();
        QCOMPARE(window.stored(QStringLiteral("Snapshot")), QString());
        QVERIFY(window.dialogs.messages.empty());
        QVERIFY(window.dialogs.questions.empty());
        QCOMPARE(window->programFolder(), program.folder());
    }

    void start_recordsWhileNothingIsRecorded_thenKeepsTheRecord() {
        ProgramFolder program({});
        FormHarness window(program.folder());
        window->Form_Load();
        QCOMPARE(window.stored(QStringLiteral("Snapshot")), QString());

        // The samples appear: the next start records them, as nothing was recorded.
        QDir().mkpath(program.samplesFolder());
        tabrivo::test::writeFileBytes(
            fs::path(program.sample(QStringLiteral("a.html")).toStdString()), "x");
        window.restart();
        window->Form_Load();
        QCOMPARE(recordedSamples(window.iniPath()), program.sample(QStringLiteral("a.html")));

        // A record once made is kept, even when the folder changes.
        tabrivo::test::writeFileBytes(
            fs::path(program.sample(QStringLiteral("b.html")).toStdString()), "x");
        window.restart();
        window->Form_Load();
        QCOMPARE(recordedSamples(window.iniPath()), program.sample(QStringLiteral("a.html")));
    }

    void loadSampleFilesButton_addsTheSamplesAndAsks() {
        const ProgramFolder program({QStringLiteral("a.html"), QStringLiteral("b.htm")});
        FormHarness window(program.folder());
        window->Form_Load();
        window.dialogs.questionAnswers.push_back(true);
        window->PushButton3_Click();
        QCOMPARE(window.rows(), (QStringList{program.sample(QStringLiteral("a.html")),
                                             program.sample(QStringLiteral("b.htm"))}));
        QCOMPARE(window.dialogs.questions.size(), std::size_t{1});
        QCOMPARE(window.dialogs.questions[0].text, kQuestion);
        QCOMPARE(window.urlOpener.opened.size(), std::size_t{1});
        QCOMPARE(window.urlOpener.opened[0],
                 QUrl::fromLocalFile(program.samplesFolder() + QLatin1Char('/')));
        QVERIFY(window.dialogs.messages.empty());
    }

    void loadSampleFilesButton_failure_showsOneErrorBox_andKeepsTheRows() {
        const ProgramFolder program({QStringLiteral("a.html")});
        FormHarness window(program.folder());
        window->Form_Load();
        window.dialogs.questionAnswers.push_back(true);
        window.urlOpener.onOpen = [](const QUrl&) { throw std::runtime_error("no file manager"); };
        window->PushButton3_Click();
        QCOMPARE(window.rows(), QStringList{program.sample(QStringLiteral("a.html"))});
        QCOMPARE(window.dialogs.messages.size(), std::size_t{1});
        const QString text = window.dialogs.messages[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("no file manager\r\n")), qPrintable(text));
        QVERIFY2(text.contains(
                     QStringLiteral("in Velquist2021/08/31.Form1.PushButton3_Click at line 100")),
                 qPrintable(text));
    }

private:
    TempDir m_home;
};

QTEST_MAIN(SamplesTest)
#include "samples_test.moc"
