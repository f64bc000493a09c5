// The settings store: defaults as text, writing and reading back, truth
// values, and refusing to lose a write silently.

#include <QDir>
#include <QSettings>
#include <QtTest>
#include <stdexcept>
#include <string>

#include <shell/settings_store.h>
#include "test_support.h"

using tabrivo::SettingsStore;
using tabrivo::test::TempDir;

namespace {

// The message of the std::runtime_error `action` throws, or "<nothing thrown>".
template <typename Action>
QString runtimeErrorOf(Action&& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return QString::fromStdString(error.what());
    }
    return QStringLiteral("<nothing thrown>");
}

}  // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    void readSetting_absentKey_givesDefaultAsText_data() {
        QTest::addColumn<QVariant>("defaultValue");
        QTest::addColumn<QString>("expected");
        QTest::newRow("true") << QVariant(true) << QStringLiteral("True");
        QTest::newRow("false") << QVariant(false) << QStringLiteral("False");
        QTest::newRow("number") << QVariant(42) << QStringLiteral("42");
        QTest::newRow("negative number") << QVariant(-1) << QStringLiteral("-1");
        QTest::newRow("text") << QVariant(QStringLiteral("/tmp/out/"))
                              << QStringLiteral("/tmp/out/");
        QTest::newRow("empty text") << QVariant(QString()) << QString();
    }
    void readSetting_absentKey_givesDefaultAsText() {
        QFETCH(QVariant, defaultValue);
        QFETCH(QString, expected);
        const TempDir dir;
        const SettingsStore store(QString::fromStdString(dir.file("settings.ini")));
        QCOMPARE(store.ReadSetting(QStringLiteral("Absent"), defaultValue), expected);
    }

    void writeSetting_isReadBackAndIsInTheFileAtOnce() {
        const TempDir dir;
        const QString ini = QString::fromStdString(dir.file("settings.ini"));
        SettingsStore store(ini);
        store.WriteSetting(QStringLiteral("Text2"), QStringLiteral("/data/out/"));
        store.WriteSetting(QStringLiteral("Text2"), QStringLiteral("/data/other/"));
        QCOMPARE(store.ReadSetting(QStringLiteral("Text2"), QString()),
                 QStringLiteral("/data/other/"));
        // Another reader of the file, as the next start would be.
        const QSettings file(ini, QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("Tabrivo/Text2")).toString(),
                 QStringLiteral("/data/other/"));
        QCOMPARE(store.fileName(), ini);
    }

    void writeTruth_storesTrueOrFalse() {
        const TempDir dir;
        SettingsStore store(QString::fromStdString(dir.file("settings.ini")));
        store.writeTruth(QStringLiteral("Option1"), true);
        store.writeTruth(QStringLiteral("Option2"), false);
        QCOMPARE(store.ReadSetting(QStringLiteral("Option1"), QString()), QStringLiteral("True"));
        QCOMPARE(store.ReadSetting(QStringLiteral("Option2"), QString()), QStringLiteral("False"));
    }

    void readTruth_storedText_givesItsTruth_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("True") << QStringLiteral("True") << true;
        QTest::newRow("False") << QStringLiteral("False") << false;
        QTest::newRow("zero") << QStringLiteral("0") << false;
        QTest::newRow("minus one") << QStringLiteral("-1") << true;
        QTest::newRow("one") << QStringLiteral("1") << true;
        QTest::newRow("fraction") << QStringLiteral("0.5") << true;
    }
    void readTruth_storedText_givesItsTruth() {
        QFETCH(QString, stored);
        QFETCH(bool, expected);
        const TempDir dir;
        SettingsStore store(QString::fromStdString(dir.file("settings.ini")));
        store.WriteSetting(QStringLiteral("Option1"), stored);
        // The default is the opposite, so only the stored text can give the answer.
        QCOMPARE(store.readTruth(QStringLiteral("Option1"), !expected), expected);
    }

    void readTruth_absentKey_givesDefault() {
        const TempDir dir;
        const SettingsStore store(QString::fromStdString(dir.file("settings.ini")));
        QCOMPARE(store.readTruth(QStringLiteral("Option1"), true), true);
        QCOMPARE(store.readTruth(QStringLiteral("Option2"), false), false);
    }

    void readTruth_textThatIsNoTruth_throwsNamingTheKey_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("word") << QStringLiteral("maybe");
        QTest::newRow("empty") << QString();
        QTest::newRow("yes") << QStringLiteral("Yes");
    }
    void readTruth_textThatIsNoTruth_throwsNamingTheKey() {
        QFETCH(QString, stored);
        const TempDir dir;
        SettingsStore store(QString::fromStdString(dir.file("settings.ini")));
        store.WriteSetting(QStringLiteral("Option1"), stored);
        const QString error =
            runtimeErrorOf([&] { (void)store.readTruth(QStringLiteral("Option1"), true); });
        QVERIFY2(error != QStringLiteral("<nothing thrown>"), qPrintable(stored));
        QVERIFY2(error.contains(QStringLiteral("Option1")), qPrintable(error));
    }

    // A damaged file (cut off by a crash, or overwritten with anything)
    // reads what it can, gives defaults for the rest, and the next write
    // leaves a file that loads.
    void damagedFile_readsWhatItCanAndTheNextWriteRepairsIt_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text2");
        QTest::newRow("cut off mid-line") << QByteArray("[Tabrivo]\nText2=/data/out/\nOption1=Tr")
                                          << QStringLiteral("/data/out/");
        QTest::newRow("binary") << QByteArray(
                                       "\x7f"
                                       "ELF\x02\x01\x00\x00\xff\xfe[Tabrivo\n=\x00\n",
                                       19)
                                << QStringLiteral("default");
        QTest::newRow("unclosed group and stray lines")
            << QByteArray("[Tabrivo\nText2\n==\n[]\n%%%\n") << QStringLiteral("default");
    }
    void damagedFile_readsWhatItCanAndTheNextWriteRepairsIt() {
        QFETCH(QByteArray, content);
        QFETCH(QString, text2);
        const TempDir dir;
        const QString ini = QString::fromStdString(dir.file("settings.ini"));
        tabrivo::test::writeFileBytes(dir.file("settings.ini"), content.toStdString());
        SettingsStore store(ini);
        QCOMPARE(store.ReadSetting(QStringLiteral("Text2"), QStringLiteral("default")), text2);
        const QString error =
            runtimeErrorOf([&] { (void)store.readTruth(QStringLiteral("Option1"), true); });
        // Either the default, or a clear error naming the key; never a crash.
        QVERIFY2(error == QStringLiteral("<nothing thrown>") ||
                     error.contains(QStringLiteral("Option1")),
                 qPrintable(error));
        // A file that cannot be read as settings is kept aside, and the
        // write says so; the next start reads the new file.
        const QString writeError = runtimeErrorOf(
            [&] { store.WriteSetting(QStringLiteral("Option1"), QStringLiteral("True")); });
        if (writeError != QStringLiteral("<nothing thrown>")) {
            QVERIFY2(writeError.contains(ini + QStringLiteral(".damaged")), qPrintable(writeError));
            QCOMPARE(tabrivo::test::readFileBytes(dir.file("settings.ini.damaged")),
                     content.toStdString());
        }
        const QSettings file(ini, QSettings::IniFormat);
        QCOMPARE(file.status(), QSettings::NoError);
        QCOMPARE(file.value(QStringLiteral("Tabrivo/Option1")).toString(), QStringLiteral("True"));
        QCOMPARE(store.readTruth(QStringLiteral("Option1"), false), true);
        store.WriteSetting(QStringLiteral("Text2"), QStringLiteral("/next/"));
    }

    // Root may write anywhere, so the store's file is made impossible to
    // create at all: a folder in its place, or a regular file as its "folder".
    void writeSetting_storeCannotBeWritten_throwsNamingKeyAndFile_data() {
        QTest::addColumn<QString>("layout");
        QTest::newRow("folder in the file's place") << QStringLiteral("folder");
        QTest::newRow("file as the folder") << QStringLiteral("file");
    }
    void writeSetting_storeCannotBeWritten_throwsNamingKeyAndFile() {
        QFETCH(QString, layout);
        const TempDir dir;
        QString ini;
        if (layout == QStringLiteral("folder")) {
            ini = QString::fromStdString(dir.file("settings.ini"));
            QVERIFY(QDir().mkdir(ini));
        } else {
            tabrivo::test::writeFileBytes(dir.file("plain"), "not a folder");
            ini = QString::fromStdString(dir.file("plain")) + QStringLiteral("/settings.ini");
        }
        SettingsStore store(ini);
        const QString error = runtimeErrorOf(
            [&] { store.WriteSetting(QStringLiteral("LastFolderDot"), QStringLiteral("/x")); });
        QVERIFY2(error.contains(QStringLiteral("LastFolderDot")), qPrintable(error));
        QVERIFY2(error.contains(ini), qPrintable(error));
        const QString truthError =
            runtimeErrorOf([&] { store.writeTruth(QStringLiteral("Option2"), true); });
        QVERIFY2(truthError.contains(QStringLiteral("Option2")), qPrintable(truthError));
    }
};

QTEST_MAIN(SettingsStoreTest)
#include "settings_store_test.moc"
