// The settings file survives a writer killed in the middle of a burst of
// writes, and two writers at once: it always loads, and "Text2" holds a value
// one of them wrote. The writers are tabrivo_settings_writer child processes
// working on a temporary .ini file, never the user's own settings.

#include <signal.h>

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <thread>

#include <shell/settings_store.h>
#include "child_process.h"
#include "test_support.h"

using tabrivo::SettingsStore;
using tabrivo::test::ChildProcess;
using tabrivo::test::ChildResult;
using tabrivo::test::ScratchDir;

namespace {

// A folder for the settings file, in memory (/dev/shm) where there is one: a
// killed writer loses nothing the page cache holds, so this tests the same
// thing, and a write's sync does not wait for the rest of the machine's disk
// traffic (other tests, builds), which keeps the run short.
ScratchDir scratchFolder() {
    const std::filesystem::path memory = "/dev/shm";
    std::error_code error;
    return ScratchDir(std::filesystem::is_directory(memory, error) &&
                              ::access(memory.c_str(), W_OK) == 0
                          ? memory
                          : std::filesystem::temp_directory_path());
}

const QString kText2Key = QStringLiteral("Tabrivo/Text2");

// Waits until the writer has finished its first write (or has ended).
void waitUntilStarted(const ChildProcess& writer) {
    while (writer.running() && writer.outputSoFar().find("started") == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The stored value as a plain QSettings sees it, with its status.
QString loadText2(const QString& ini, QSettings::Status& status) {
    QSettings settings(ini, QSettings::IniFormat);
    const QString value = settings.value(kText2Key).toString();
    status = settings.status();
    return value;
}

}  // namespace

class SettingsDurabilityTest : public QObject {
    Q_OBJECT

private slots:
    void writerKilledMidBurst_leavesAFileThatLoads() {
        const ScratchDir dir = scratchFolder();
        const QString ini = QString::fromStdString((dir.path() / "settings.ini").string());
        int emptyLocks = 0;
        for (int round = 0; round < 20; ++round) {
            const QString prefix = QStringLiteral("round%1").arg(round);
            ChildProcess writer(
                {TABRIVO_SETTINGS_WRITER_PATH, ini.toStdString(), prefix.toStdString()});
            waitUntilStarted(writer);
            // Kill at a different point of the burst each round.
            std::this_thread::sleep_for(std::chrono::microseconds((round % 7) * 1500));
            writer.signal(SIGKILL);
            const ChildResult ended = writer.wait();
            QVERIFY2(ended.termSignal == SIGKILL, ended.describe().c_str());

            QSettings::Status status = QSettings::NoError;
            const QString value = loadText2(ini, status);
            QCOMPARE(status, QSettings::NoError);
            const QRegularExpression written(QStringLiteral("^%1-\\d+$").arg(prefix));
            QVERIFY2(written.match(value).hasMatch(),
                     qPrintable(QStringLiteral("round %1: Text2 is \"%2\"").arg(round).arg(value)));
            QCOMPARE(SettingsStore(ini).ReadSetting(QStringLiteral("Text2"), QString()), value);

            // A kill between creating and filling the lock file leaves it
            // empty, which holds up the next write for half a minute: that
            // fault has its own case (emptyLockFileOfAKilledWriter_...); here
            // the empty lock goes, so every round checks only the loading.
            const std::filesystem::path lock = dir.path() / "settings.ini.lock";
            std::error_code error;
            if (std::filesystem::exists(lock, error) &&
                std::filesystem::file_size(lock, error) == 0) {
                ++emptyLocks;
                std::filesystem::remove(lock, error);
            }

            // A lock naming the killed writer does not stop the next write.
            SettingsStore store(ini);
            store.WriteSetting(QStringLiteral("Text2"), QStringLiteral("after-%1").arg(round));
            QCOMPARE(store.ReadSetting(QStringLiteral("Text2"), QString()),
                     QStringLiteral("after-%1").arg(round));
        }
        qInfo("%d of 20 kills left an empty lock file", emptyLocks);
    }

    void emptyLockFileOfAKilledWriter_doesNotHoldUpTheNextWrite() {
        const ScratchDir dir = scratchFolder();
        const QString ini = QString::fromStdString((dir.path() / "settings.ini").string());
        SettingsStore(ini).WriteSetting(QStringLiteral("Text2"), QStringLiteral("before"));
        // The state such a kill leaves: the settings file and an empty lock file.
        tabrivo::test::writeFileBytes(dir.path() / "settings.ini.lock", "");
        // One write, which takes milliseconds; the watchdog is a hang detector.
        ChildProcess writer({TABRIVO_SETTINGS_WRITER_PATH, ini.toStdString(), "next", "0"});
        const ChildResult ended = writer.wait(std::chrono::seconds(15));
        QVERIFY2(!ended.timedOut && ended.exitCode == 0, ended.describe().c_str());
        QCOMPARE(SettingsStore(ini).ReadSetting(QStringLiteral("Text2"), QString()),
                 QStringLiteral("next-0"));
    }

    void twoWritersAtOnce_leaveOneOfTheirValues() {
        const ScratchDir dir = scratchFolder();
        const QString ini = QString::fromStdString((dir.path() / "settings.ini").string());
        ChildProcess left({TABRIVO_SETTINGS_WRITER_PATH, ini.toStdString(), "left", "2000"});
        ChildProcess right({TABRIVO_SETTINGS_WRITER_PATH, ini.toStdString(), "right", "2000"});
        const ChildResult leftEnded = left.wait();
        const ChildResult rightEnded = right.wait();
        QVERIFY2(leftEnded.exitCode == 0, leftEnded.describe().c_str());
        QVERIFY2(rightEnded.exitCode == 0, rightEnded.describe().c_str());

        QSettings::Status status = QSettings::NoError;
        const QString value = loadText2(ini, status);
        QCOMPARE(status, QSettings::NoError);
        const QRegularExpression written(QStringLiteral("^(left|right)-\\d+$"));
        QVERIFY2(written.match(value).hasMatch(),
                 qPrintable(QStringLiteral("Text2 is \"%1\"").arg(value)));
        QCOMPARE(SettingsStore(ini).ReadSetting(QStringLiteral("Text2"), QString()), value);
    }
};

QTEST_GUILESS_MAIN(SettingsDurabilityTest)
#include "settings_durability_test.moc"
