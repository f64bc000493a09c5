// Failures during a run: a source that cannot be read, a source that is a
// folder, an output folder that disappears and an output that cannot be
// written each give one error box, and the run goes on with the next file.
// Every case fails for root too (the tests may run as root).

#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>
#include <filesystem>
#include <string>
#include <vector>

#include <engine/product.h>
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

namespace fs = std::filesystem;

namespace {

const TableRows kFirst = {{"first", "row"}, {"second", "row"}};
const TableRows kLast = {{"last"}};
constexpr const char* kPrevious = "the previous result";

QString q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// Checks one error box of the conversion: warning, "Application Error", a
// first line that names `path`, then the fixed tail with the step number.
void expectConversionErrorBox(const FakeDialogs::Message& box, const QString& path) {
    QCOMPARE(box.icon, Dialogs::Icon::Warning);
    QCOMPARE(box.caption, QStringLiteral("Application Error"));
    const QString support = QString::fromUtf8(
        tabrivo::kSupportEmail.data(), static_cast<qsizetype>(tabrivo::kSupportEmail.size()));
    const QRegularExpression shape(
        QStringLiteral("^([^\r\n]+)\r\nin Velquist2021/08/31\\.modJSON\\.ConvertVelquist "
                       "at line [1-9][0-9]*\r\rPlease email screenshot of this message to ") +
        QRegularExpression::escape(support) + QStringLiteral("$"));
    const QRegularExpressionMatch match = shape.match(box.text);
    QVERIFY2(match.hasMatch(), qPrintable(box.text));
    QVERIFY2(match.captured(1).contains(path), qPrintable(box.text));
}

}  // namespace

class ConversionFailuresTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { tabrivo::test::useHomeFolder(q(m_home.path())); }

    // A missing source (root can read anything that exists) and a folder named
    // like a page: neither has anything to read.
    void unreadableSource_oneErrorBoxAndTheRunGoesOn_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("folder") << QStringLiteral("folder");
    }
    void unreadableSource_oneErrorBoxAndTheRunGoesOn() {
        QFETCH(QString, kind);
        const TempDir sources;
        const TempDir out;
        writeFileBytes(sources.path() / "first.html", tableHtml(kFirst));
        writeFileBytes(sources.path() / "last.html", tableHtml(kLast));
        const fs::path bad = sources.path() / "bad.html";
        if (kind == QStringLiteral("folder")) {
            fs::create_directory(bad);
        }
        writeFileBytes(out.path() / "bad.json", kPrevious);

        FormHarness window;
        window->Form_Load();
        window.addRows({q(sources.path() / "first.html"), q(bad), q(sources.path() / "last.html")});
        window->Text2->setText(q(out.path()) + "/");
        window->PushButton2_Click();

        QCOMPARE(window.dialogs.messages.size(), std::size_t{2});
        expectConversionErrorBox(window.dialogs.messages[0], q(bad));
        QCOMPARE(window.dialogs.messages[1].text, QStringLiteral("Done."));
        QCOMPARE(readFileBytes(out.path() / "first.json"), expectedOutput(kFirst));
        QCOMPARE(readFileBytes(out.path() / "bad.json"), std::string(kPrevious));
        QCOMPARE(readFileBytes(out.path() / "last.json"), expectedOutput(kLast));
        QCOMPARE(folderEntries(out.path()),
                 (std::vector<std::string>{"bad.json", "first.json", "last.json"}));
    }

    // The output folder is moved away just before the second file and put
    // back while its error box is up.
    void outputFolderDisappears_oneErrorBoxAndTheRunGoesOn() {
        const TempDir sources;
        const TempDir parent;
        const fs::path out = parent.path() / "out";
        const fs::path away = parent.path() / "away";
        fs::create_directory(out);
        writeFileBytes(sources.path() / "first.html", tableHtml(kFirst));
        writeFileBytes(sources.path() / "middle.html", tableHtml(kFirst));
        writeFileBytes(sources.path() / "last.html", tableHtml(kLast));

        FormHarness window(FormHarness::Converter::Scripted);
        int conversions = 0;
        window.onConvert = [&](const std::string& source, const std::string& output,
                               const YieldCallback& yield) {
            if (++conversions == 2) {
                fs::rename(out, away);
            }
            window.convertWithEngine(source, output, yield);
        };
        window.dialogs.onMessage = [&](const FakeDialogs::Message& shown) {
            if (shown.icon == Dialogs::Icon::Warning && fs::exists(away)) {
                fs::rename(away, out);
            }
        };
        window->Form_Load();
        window.addRows({q(sources.path() / "first.html"), q(sources.path() / "middle.html"),
                        q(sources.path() / "last.html")});
        window->Text2->setText(q(out) + "/");
        window->PushButton2_Click();

        QCOMPARE(conversions, 3);
        QCOMPARE(window.dialogs.messages.size(), std::size_t{2});
        expectConversionErrorBox(window.dialogs.messages[0], q(out));
        QCOMPARE(window.dialogs.messages[1].text, QStringLiteral("Done."));
        QCOMPARE(folderEntries(out), (std::vector<std::string>{"first.json", "last.json"}));
        QCOMPARE(readFileBytes(out / "first.json"), expectedOutput(kFirst));
        QCOMPARE(readFileBytes(out / "last.json"), expectedOutput(kLast));
    }

    // A folder already has the output's name: the result cannot be put there.
    void outputNameTakenByFolder_oneErrorBoxAndTheRunGoesOn() {
        const TempDir sources;
        writeFileBytes(sources.path() / "first.html", tableHtml(kFirst));
        writeFileBytes(sources.path() / "blocked.html", tableHtml(kFirst));
        writeFileBytes(sources.path() / "last.html", tableHtml(kLast));
        fs::create_directory(sources.path() / "blocked.json");
        writeFileBytes(sources.path() / "blocked.json" / "inside.txt", "kept");

        FormHarness window;
        window->Form_Load();
        window.addRows({q(sources.path() / "first.html"), q(sources.path() / "blocked.html"),
                        q(sources.path() / "last.html")});
        window->Option2->setChecked(true);
        window->Option2_Click();
        window->PushButton2_Click();

        QCOMPARE(window.dialogs.messages.size(), std::size_t{2});
        expectConversionErrorBox(window.dialogs.messages[0], q(sources.path() / "blocked.json"));
        QCOMPARE(window.dialogs.messages[1].text, QStringLiteral("Done."));
        QCOMPARE(readFileBytes(sources.path() / "first.json"), expectedOutput(kFirst));
        QCOMPARE(readFileBytes(sources.path() / "last.json"), expectedOutput(kLast));
        QVERIFY(fs::is_directory(sources.path() / "blocked.json"));
        QCOMPARE(readFileBytes(sources.path() / "blocked.json" / "inside.txt"),
                 std::string("kept"));
        // No temporary file is left behind.
        QCOMPARE(folderEntries(sources.path()),
                 (std::vector<std::string>{"blocked.html", "blocked.json", "first.html",
                                           "first.json", "last.html", "last.json"}));
    }

    // A source whose result would be the source itself (a page named
    // data.json, or the results folder reached through a link to the
    // sources) is not converted: one box, the source kept, the run goes on.
    void resultWouldReplaceSource_oneErrorBoxAndTheSourceIsKept_data() {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("beside the source") << false;
        QTest::newRow("folder linked to the sources") << true;
    }
    void resultWouldReplaceSource_oneErrorBoxAndTheSourceIsKept() {
        QFETCH(bool, throughLink);
        const TempDir sources;
        const fs::path data = sources.path() / "data.json";
        writeFileBytes(data, tableHtml(kFirst));
        writeFileBytes(sources.path() / "last.html", tableHtml(kLast));
        const fs::path link = sources.path() / "results";
        fs::create_directory_symlink(sources.path(), link);

        FormHarness window;
        window->Form_Load();
        window.addRows({q(data), q(sources.path() / "last.html")});
        window->Text2->setText(q(link));
        if (!throughLink) {
            window->Option2->setChecked(true);
            window->Option2_Click();
        }
        window->PushButton2_Click();

        QCOMPARE(window.dialogs.messages.size(), std::size_t{2});
        const QString box = window.dialogs.messages[0].text;
        QVERIFY2(box.startsWith(QStringLiteral("Cannot convert \"") + q(data) +
                                QStringLiteral("\": the result would replace the source\r\n")),
                 qPrintable(box));
        QCOMPARE(window.dialogs.messages[1].text, QStringLiteral("Done."));
        QCOMPARE(readFileBytes(data), tableHtml(kFirst));
        QCOMPARE(readFileBytes(sources.path() / "last.json"), expectedOutput(kLast));
    }

    // Several failures in one run: one box each, in list order.
    void severalFailures_oneErrorBoxEach() {
        const TempDir sources;
        const TempDir out;
        writeFileBytes(sources.path() / "good.html", tableHtml(kLast));
        const fs::path missing = sources.path() / "missing.html";
        const fs::path folder = sources.path() / "folder.htm";
        fs::create_directory(folder);

        FormHarness window;
        window->Form_Load();
        window.addRows({q(missing), q(sources.path() / "good.html"), q(folder)});
        window->Text2->setText(q(out.path()) + "/");
        window->PushButton2_Click();

        QCOMPARE(window.dialogs.messages.size(), std::size_t{3});
        expectConversionErrorBox(window.dialogs.messages[0], q(missing));
        expectConversionErrorBox(window.dialogs.messages[1], q(folder));
        QCOMPARE(window.dialogs.messages[2].text, QStringLiteral("Done."));
        QCOMPARE(folderEntries(out.path()), std::vector<std::string>{"good.json"});
    }

private:
    TempDir m_home;
};

QTEST_MAIN(ConversionFailuresTest)
#include "conversion_failures_test.moc"
