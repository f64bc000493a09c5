// The window as a person uses it: every control pressed with the mouse does
// its command, the bar on the screen follows a long run, and each control
// tells a screen reader what it is.

#include <QAccessible>
#include <QBackingStore>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <chrono>
#include <thread>

#include <filelist/add_folder.h>
#include <filelist/samples.h>
#include "form_harness.h"
#include "html_tables.h"
#include "test_support.h"

using tabrivo::YieldCallback;
using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;

namespace {

QString q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// What the screen shows of `widget` now: its part of the window's backing
// store, which only a real paint changes.
QImage onScreen(QWidget* widget) {
    auto* painted = dynamic_cast<QImage*>(widget->window()->backingStore()->paintDevice());
    if (painted == nullptr) {
        return {};
    }
    const QRect area(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
    return painted->copy(area).convertToFormat(QImage::Format_RGB32);
}

// Whether two colours differ by more than a gradient's rounding.
bool visiblyDifferent(QRgb one, QRgb other) {
    constexpr int kRounding = 4;
    return std::abs(qRed(one) - qRed(other)) > kRounding ||
           std::abs(qGreen(one) - qGreen(other)) > kRounding ||
           std::abs(qBlue(one) - qBlue(other)) > kRounding;
}

// The share of pixels that differ visibly between two pictures of one size.
double shareDiffering(const QImage& one, const QImage& other) {
    if (one.size() != other.size() || one.isNull()) {
        return 1.0;
    }
    // The frame is left out: on the screen it blends with the window behind.
    constexpr int kFrame = 2;
    int differing = 0;
    for (int y = kFrame; y < one.height() - kFrame; ++y) {
        for (int x = kFrame; x < one.width() - kFrame; ++x) {
            differing += visiblyDifferent(one.pixel(x, y), other.pixel(x, y)) ? 1 : 0;
        }
    }
    return double(differing) / ((one.width() - 2 * kFrame) * (one.height() - 2 * kFrame));
}

QImage rendered(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Lets the window's yields run for `duration`, as a converter working on a
// large file does.
void keepYielding(const YieldCallback& yield, std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
        yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

class WindowUseTest : public QObject {
    Q_OBJECT

private slots:
    void buttons_pressedWithTheMouse_runTheirCommands() {
        const TempDir folder;
        FormHarness window(FormHarness::Converter::Scripted);
        window->show();
        const QString picked = q(folder.path() / "picked.html");
        window.dialogs.openFilesAnswers.push_back({picked});
        QTest::mouseClick(window->PushButton1, Qt::LeftButton);
        QCOMPARE(window.rows(), QStringList{picked});

        QTest::mouseClick(window->PushButton5, Qt::LeftButton);
        QCOMPARE(window.dialogs.inputs.size(), 1U);
        QCOMPARE(window.dialogs.inputs.front().prompt, tabrivo::kExtensionPrompt);

        QTest::mouseClick(window->PushButton3, Qt::LeftButton);
        QCOMPARE(window.dialogs.questions.size(), 1U);
        QCOMPARE(window.dialogs.questions.front().text, tabrivo::kOpenSamplesQuestion);

        QTest::mouseClick(window->PushButton7, Qt::LeftButton);
        QVERIFY(window.rows().isEmpty());

        QTest::mouseClick(window->PushButton2, Qt::LeftButton);
        QCOMPARE(window.dialogs.messages.back().text, QStringLiteral("You forgot to add files."));

        QTest::mouseClick(window->Option2, Qt::LeftButton);
        QVERIFY(window->Option2->isChecked() && !window->Option1->isChecked());
        QCOMPARE(window.stored(QStringLiteral("Option2")), QStringLiteral("True"));
        QTest::mouseClick(window->Option1, Qt::LeftButton);
        QVERIFY(window->Option1->isChecked() && !window->Option2->isChecked());
        QCOMPARE(window.stored(QStringLiteral("Option1")), QStringLiteral("True"));

        const QString chosen = q(folder.path());
        window.dialogs.chooseFolderAnswers.push_back(chosen);
        QTest::mouseClick(window->PushButton4, Qt::LeftButton);
        QVERIFY(window->Text2->text().startsWith(chosen));
    }

    void progressBar_duringALongFile_showsItsNameAndShareOnScreen() {
        const TempDir folder;
        FormHarness window(FormHarness::Converter::Scripted);
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        QTest::mouseClick(window->Option2, Qt::LeftButton);
        window.addRows({q(folder.path() / "first.html"), q(folder.path() / "second.html"),
                        q(folder.path() / "third.html")});
        const QImage idle = onScreen(window->ProgressBar1);
        QImage seen;
        QImage expected;
        QString text;
        window.onConvert = [&](const std::string& source, const std::string&,
                               const YieldCallback& yield) {
            keepYielding(yield, std::chrono::milliseconds(250));
            if (source.ends_with("second.html")) {
                seen = onScreen(window->ProgressBar1);
                expected = rendered(window->ProgressBar1);
                text = window->ProgressBar1->text();
            }
        };
        QTest::mouseClick(window->PushButton2, Qt::LeftButton);
        QCOMPARE(text, QStringLiteral("Processing: second.html"));
        QCOMPARE(shareDiffering(seen, expected), 0.0);
        QVERIFY(shareDiffering(seen, idle) > 0.1);
    }

    void controls_tellAScreenReaderWhatTheyAre() {
        FormHarness window;
        const auto role = [](QWidget* widget) {
            return QAccessible::queryAccessibleInterface(widget)->role();
        };
        QCOMPARE(role(window->Option1), QAccessible::RadioButton);
        QCOMPARE(role(window->Option2), QAccessible::RadioButton);
        QCOMPARE(role(window->PushButton4), QAccessible::Button);
        QCOMPARE(role(window->ProgressBar1), QAccessible::ProgressBar);
        for (QWidget* control : window->findChildren<QWidget*>()) {
            if (control->objectName().isEmpty() || control->objectName().startsWith('q')) {
                continue;  // Qt's own parts of a control
            }
            const QString name =
                QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty() && name != QStringLiteral("..."),
                     qPrintable(control->objectName()));
        }
        QVERIFY(!window->ListView1->accessibleDescription().isEmpty());
    }
};

QTEST_MAIN(WindowUseTest)
#include "window_use_test.moc"
