// "Start Converting" from the window: every listed file converted into the
// chosen place with the exact output text, the two refusals, the progress bar
// and the hourglass while it runs, and what the user may and may not do
// during a run.

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <shell/mouse_pointer.h>
#include "form_harness.h"
#include "html_tables.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::Dialogs;
using tabrivo::YieldCallback;
using tabrivo::test::expectedOutput;
using tabrivo::test::FakeDialogs;
using tabrivo::test::folderEntries;
using tabrivo::test::FormHarness;
using tabrivo::test::readFileBytes;
using tabrivo::test::tableHtml;
using tabrivo::test::TableRows;
using tabrivo::test::TempDir;
using tabrivo::test::writeFileBytes;

namespace {

constexpr int kDeleteKey = 46;

// Source files with different tables, written into a folder.
const std::map<std::string, TableRows> kSources = {
    {"alpha.html", {{"A", "B"}, {"C", "D"}}},
    {"beta.htm", {{"one"}, {"two"}}},
    // Later rows longer than the first: only the first row's positions get ", ".
    {"gamma.html", {{"x", "y"}, {"p", "q", "r"}, {"s"}}},
    {"delta.html", {{"h1", "h2", "h3"}}},
};

QString q(const std::string& text) {
    return QString::fromStdString(text);
}
QString q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// Writes the named sources into `folder`; returns their paths in the given order.
QStringList writeSources(const std::filesystem::path& folder,
                         const std::vector<std::string>& names) {
    QStringList paths;
    for (const std::string& name : names) {
        writeFileBytes(folder / name, tableHtml(kSources.at(name)));
        paths << q(folder / name);
    }
    return paths;
}

std::string resultName(const std::string& sourceName) {
    return sourceName.substr(0, sourceName.rfind('.')) + ".json";
}

// What a scripted conversion saw of the window when it was called.
struct Seen {
    QString source;
    QString output;
    int progress = -1;
    QString progressText;
    int pointer = -1;
};

}  // namespace

class ConversionRunTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { tabrivo::test::useHomeFolder(q(m_home.path())); }

    // --- Converting for real ---

    void run_option1_writesEveryResultIntoTheFolder_data() {
        QTest::addColumn<bool>("trailingSeparator");
        QTest::newRow("folder/") << true;
        QTest::newRow("folder") << false;
    }
    void run_option1_writesEveryResultIntoTheFolder() {
        QFETCH(bool, trailingSeparator);
        const TempDir sources;
        const TempDir out;
        const std::vector<std::string> names = {"alpha.html", "beta.htm", "gamma.html"};
        FormHarness window;
        window->Form_Load();
        window.addRows(writeSources(sources.path(), names));
        window->Text2->setText(q(out.path()) + (trailingSeparator ? "/" : ""));
        QVERIFY(window->Option1->isChecked());

        window->PushButton2_Click();

        QCOMPARE(folderEntries(out.path()),
                 (std::vector<std::string>{"alpha.json", "beta.json", "gamma.json"}));
        for (const std::string& name : names) {
            QCOMPARE(readFileBytes(out.path() / resultName(name)),
                     expectedOutput(kSources.at(name)));
        }
        QCOMPARE(folderEntries(sources.path()),
                 (std::vector<std::string>{"alpha.html", "beta.htm", "gamma.html"}));
        expectFinishedWithDone(window);
    }

    void run_option2_writesEachResultBesideItsSource() {
        const TempDir first;
        const TempDir second;
        FormHarness window;
        window->Form_Load();
        window.addRows(writeSources(first.path(), {"alpha.html", "gamma.html"}));
        window.addRows(writeSources(second.path(), {"delta.html"}));
        window->Option2->setChecked(true);
        window->Option2_Click();
        // With the second option the folder box is not looked at.
        window->Text2->setText(QStringLiteral("/no/such/folder/"));

        window->PushButton2_Click();

        QCOMPARE(
            folderEntries(first.path()),
            (std::vector<std::string>{"alpha.html", "alpha.json", "gamma.html", "gamma.json"}));
        QCOMPARE(folderEntries(second.path()),
                 (std::vector<std::string>{"delta.html", "delta.json"}));
        QCOMPARE(readFileBytes(first.path() / "alpha.json"),
                 expectedOutput(kSources.at("alpha.html")));
        QCOMPARE(readFileBytes(first.path() / "gamma.json"),
                 expectedOutput(kSources.at("gamma.html")));
        QCOMPARE(readFileBytes(second.path() / "delta.json"),
                 expectedOutput(kSources.at("delta.html")));
        expectFinishedWithDone(window);
    }

    void run_sameFileTwice_resultIsWrittenWhole() {
        const TempDir sources;
        const TempDir out;
        FormHarness window;
        window->Form_Load();
        const QStringList paths = writeSources(sources.path(), {"beta.htm"});
        window.addRows({paths[0], paths[0]});
        writeFileBytes(out.path() / "beta.json", std::string(3000, 'z'));
        window->Text2->setText(q(out.path()) + "/");
        window->PushButton2_Click();
        QCOMPARE(readFileBytes(out.path() / "beta.json"), expectedOutput(kSources.at("beta.htm")));
        expectFinishedWithDone(window);
    }

    // --- Refusals ---

    void run_withEmptyList_refusesWithMessage_data() {
        QTest::addColumn<bool>("option2");
        QTest::newRow("option 1") << false;
        QTest::newRow("option 2") << true;
    }
    void run_withEmptyList_refusesWithMessage() {
        QFETCH(bool, option2);
        const TempDir out;
        FormHarness window(FormHarness::Converter::Scripted);
        int conversions = 0;
        window.onConvert = [&](const std::string&, const std::string&, const YieldCallback&) {
            ++conversions;
        };
        window->Form_Load();
        window->Text2->setText(q(out.path()) + "/");
        if (option2) {
            window->Option2->setChecked(true);
            window->Option2_Click();
        }
        window->PushButton2_Click();
        QCOMPARE(conversions, 0);
        expectOnlyMessage(window.dialogs, QStringLiteral("You forgot to add files."));
        QVERIFY(folderEntries(out.path()).empty());
        expectIdle(window);
    }

    void run_option1WithoutAnExistingFolder_refusesWithMessage_data() {
        QTest::addColumn<QString>("folderText");
        QTest::newRow("missing folder") << QStringLiteral("missing/");
        QTest::newRow("a file") << QStringLiteral("plain.txt");
        QTest::newRow("empty") << QStringLiteral("");
    }
    void run_option1WithoutAnExistingFolder_refusesWithMessage() {
        QFETCH(QString, folderText);
        const TempDir sources;
        writeFileBytes(sources.path() / "plain.txt", "not a folder");
        FormHarness window;
        window->Form_Load();
        window.addRows(writeSources(sources.path(), {"alpha.html"}));
        window->Text2->setText(folderText.isEmpty() ? QString()
                                                    : q(sources.path()) + "/" + folderText);

        window->PushButton2_Click();

        expectOnlyMessage(window.dialogs,
                          QStringLiteral("Folder does not exist. Please select another folder."));
        QCOMPARE(folderEntries(sources.path()),
                 (std::vector<std::string>{"alpha.html", "plain.txt"}));
        expectIdle(window);

        // A refused run leaves nothing behind that blocks the next one.
        window.dialogs.messages.clear();
        window->Option2->setChecked(true);
        window->Option2_Click();
        window->PushButton2_Click();
        QCOMPARE(readFileBytes(sources.path() / "alpha.json"),
                 expectedOutput(kSources.at("alpha.html")));
        expectFinishedWithDone(window);
    }

    // --- Progress and the hourglass ---

    void run_progressAndHourglass_atEveryFile() {
        const TempDir sources;
        const TempDir out;
        FormHarness window(FormHarness::Converter::Scripted);
        std::vector<Seen> seen;
        window.onConvert = [&](const std::string& source, const std::string& output,
                               const YieldCallback& yield) {
            QVERIFY(yield != nullptr);
            seen.push_back({q(source), q(output), window->ProgressBar1->value(),
                            window->ProgressBar1->format(), window->MousePointer()});
        };
        window->Form_Load();
        const QStringList paths =
            writeSources(sources.path(), {"alpha.html", "beta.htm", "gamma.html", "delta.html"});
        window.addRows(paths);
        window->Text2->setText(q(out.path()) + "/");

        window->PushButton2_Click();

        QCOMPARE(seen.size(), std::size_t{4});
        const int values[] = {25, 50, 75, 100};
        const char* const names[] = {"alpha.html", "beta.htm", "gamma.html", "delta.html"};
        for (std::size_t i = 0; i < seen.size(); ++i) {
            QCOMPARE(seen[i].source, paths[static_cast<qsizetype>(i)]);
            QCOMPARE(seen[i].output, q(out.path() / resultName(names[i])));
            QCOMPARE(seen[i].progress, values[i]);
            QCOMPARE(seen[i].progressText, QStringLiteral("Processing: ") + names[i]);
            QCOMPARE(seen[i].pointer, tabrivo::MousePointer::Hourglass);
        }
        expectFinishedWithDone(window);
    }

    // --- During a run ---

    void run_secondClickDuringRun_isIgnored() {
        FormHarness window(FormHarness::Converter::Scripted);
        int conversions = 0;
        int depth = 0;
        int deepest = 0;
        window.onConvert = [&](const std::string&, const std::string&, const YieldCallback&) {
            ++conversions;
            ++depth;
            deepest = std::max(deepest, depth);
            window->PushButton2_Click();
            window->PushButton2->click();
            --depth;
        };
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")});
        window->Option2->setChecked(true);
        window->Option2_Click();

        window->PushButton2_Click();

        QCOMPARE(conversions, 2);
        QCOMPARE(deepest, 1);
        expectFinishedWithDone(window);
        QVERIFY(!window->conversionRun().RunInProgress());

        // Once finished, the button starts a new run.
        window.dialogs.messages.clear();
        window->PushButton2_Click();
        QCOMPARE(conversions, 4);
    }

    void run_optionSwitchedDuringRun_remainingFilesGoBesideTheirSources() {
        const TempDir out;
        FormHarness window(FormHarness::Converter::Scripted);
        QStringList outputs;
        window.onConvert = [&](const std::string&, const std::string& output,
                               const YieldCallback&) {
            outputs << q(output);
            if (outputs.size() == 1) {
                window->Option2->setChecked(true);
                window->Option2_Click();
            }
        };
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html"),
                        QStringLiteral("/data/c.html")});
        window->Text2->setText(q(out.path()) + "/");

        window->PushButton2_Click();

        QCOMPARE(outputs, (QStringList{q(out.path() / "a.json"), QStringLiteral("/data/b.json"),
                                       QStringLiteral("/data/c.json")}));
    }

    void run_option1ChosenDuringRun_remainingFilesGoToTheFolder() {
        const TempDir out;
        FormHarness window(FormHarness::Converter::Scripted);
        QStringList outputs;
        window.onConvert = [&](const std::string&, const std::string& output,
                               const YieldCallback&) {
            outputs << q(output);
            if (outputs.size() == 1) {
                window->Option1->setChecked(true);
                window->Option1_Click();
            }
        };
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")});
        window->Text2->setText(q(out.path()) + "/");
        window->Option2->setChecked(true);
        window->Option2_Click();

        window->PushButton2_Click();

        QCOMPARE(outputs, (QStringList{QStringLiteral("/data/a.json"), q(out.path() / "b.json")}));
    }

    void run_folderEditedDuringRun_remainingFilesGoToTheNewFolder() {
        const TempDir out;
        const TempDir other;
        FormHarness window(FormHarness::Converter::Scripted);
        QStringList outputs;
        window.onConvert = [&](const std::string&, const std::string& output,
                               const YieldCallback&) {
            outputs << q(output);
            if (outputs.size() == 1) {
                window->Text2->setText(q(other.path()) + "/");
            }
        };
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")});
        window->Text2->setText(q(out.path()) + "/");

        window->PushButton2_Click();

        QCOMPARE(outputs, (QStringList{q(out.path() / "a.json"), q(other.path() / "b.json")}));
    }

    void run_rowsAddedDuringRun_areNotConvertedByIt() {
        FormHarness window(FormHarness::Converter::Scripted);
        std::vector<Seen> seen;
        window.onConvert = [&](const std::string& source, const std::string& output,
                               const YieldCallback&) {
            seen.push_back({q(source), q(output), window->ProgressBar1->value(),
                            window->ProgressBar1->format(), window->MousePointer()});
            if (seen.size() == 1) {
                window.addRows({QStringLiteral("/data/c.html"), QStringLiteral("/data/d.html")});
            }
        };
        window->Form_Load();
        window.addRows({QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html")});
        window->Option2->setChecked(true);
        window->Option2_Click();

        window->PushButton2_Click();

        QCOMPARE(seen.size(), std::size_t{2});
        QCOMPARE(seen[0].source, QStringLiteral("/data/a.html"));
        QCOMPARE(seen[1].source, QStringLiteral("/data/b.html"));
        // The bar is measured against the list as it is now.
        QCOMPARE(seen[0].progress, 50);
        QCOMPARE(seen[1].progress, 50);
        QCOMPARE(window->fileList().count(), 4);
        expectFinishedWithDone(window);
    }

    void run_removeAndClearDuringRun_areRefused() {
        FormHarness window(FormHarness::Converter::Scripted);
        const QStringList rows = {QStringLiteral("/data/a.html"), QStringLiteral("/data/b.html"),
                                  QStringLiteral("/data/c.html")};
        QStringList converted;
        QStringList rowsDuringRun;
        window.onConvert = [&](const std::string& source, const std::string&,
                               const YieldCallback&) {
            converted << q(source);
            if (converted.size() == 1) {
                window.selectRow(2);
                window->ListView1_KeyDown(kDeleteKey);
                window->ListView1_DblClick();
                window->PushButton7_Click();
                window->PushButton7->click();
                rowsDuringRun = window.rows();
            }
        };
        window->Form_Load();
        window.addRows(rows);
        window->Option2->setChecked(true);
        window->Option2_Click();

        window->PushButton2_Click();

        QCOMPARE(rowsDuringRun, rows);
        QCOMPARE(converted, rows);
        expectFinishedWithDone(window);

        // After the run they work again.
        window.selectRow(2);
        window->ListView1_KeyDown(kDeleteKey);
        QCOMPARE(window.rows(), (QStringList{rows[0], rows[2]}));
        window.selectRow(1);
        window->ListView1_DblClick();
        QCOMPARE(window.rows(), QStringList{rows[2]});
        window->PushButton7_Click();
        QCOMPARE(window->fileList().count(), 0);
    }

private:
    // The window after a run: bar empty with its idle text, normal pointer,
    // and exactly one "Done." as the last message.
    static void expectFinishedWithDone(FormHarness& window) {
        expectIdle(window);
        QCOMPARE(window.dialogs.countOf(QStringLiteral("Done.")), 1);
        const FakeDialogs::Message& last = window.dialogs.messages.back();
        QCOMPARE(last.text, QStringLiteral("Done."));
        QCOMPARE(last.caption, QStringLiteral("Tabrivo"));
        QCOMPARE(last.icon, Dialogs::Icon::None);
        QVERIFY(window.dialogs.warnings().empty());
    }

    static void expectIdle(FormHarness& window) {
        QCOMPARE(window->ProgressBar1->value(), 0);
        QCOMPARE(window->ProgressBar1->format(), QStringLiteral("Progress Bar"));
        QCOMPARE(window->MousePointer(), tabrivo::MousePointer::Default);
        QVERIFY(!window->conversionRun().RunInProgress());
    }

    static void expectOnlyMessage(const FakeDialogs& dialogs, const QString& text) {
        QCOMPARE(dialogs.messages.size(), std::size_t{1});
        QCOMPARE(dialogs.messages.front().text, text);
        QCOMPARE(dialogs.messages.front().caption, QStringLiteral("Tabrivo"));
        QCOMPARE(dialogs.messages.front().icon, Dialogs::Icon::None);
    }

    TempDir m_home;
};

QTEST_MAIN(ConversionRunTest)
#include "conversion_run_test.moc"
