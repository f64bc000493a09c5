// The error box: a failed numbered step becomes one warning box with the
// exact text, and the procedure goes on after it.

#include <QtTest>
#include <stdexcept>
#include <string>

#include <engine/error_trap.h>
#include <engine/product.h>
#include <shell/error_box.h>
#include "fake_dialogs.h"

using tabrivo::Dialogs;
using tabrivo::ErrorBox;
using tabrivo::StepTrap;
using tabrivo::test::FakeDialogs;

namespace {

QString supportAddress() {
    return QString::fromUtf8(tabrivo::kSupportEmail.data(),
                             static_cast<qsizetype>(tabrivo::kSupportEmail.size()));
}

}  // namespace

class ErrorBoxTest : public QObject {
    Q_OBJECT

private slots:
    void failedStep_showsOneWarningWithTheExactText() {
        FakeDialogs dialogs;
        ErrorBox box(dialogs);
        StepTrap trap("Velquist2021/08/31.Form1.Form_Load", box);
        trap.run(132, [] { throw std::runtime_error("Cannot save the setting \"Text2\""); });

        QCOMPARE(dialogs.messages.size(), std::size_t{1});
        const FakeDialogs::Message& shown = dialogs.messages.front();
        QCOMPARE(shown.caption, QStringLiteral("Application Error"));
        QCOMPARE(shown.icon, Dialogs::Icon::Warning);
        QCOMPARE(shown.text, QStringLiteral("Cannot save the setting \"Text2\"\r\n"
                                            "in Velquist2021/08/31.Form1.Form_Load at line 132"
                                            "\r\rPlease email screenshot of this message to ") +
                                 supportAddress());
    }

    void failedStep_procedureGoesOnWithTheNextStep() {
        FakeDialogs dialogs;
        ErrorBox box(dialogs);
        StepTrap trap("Velquist2021/08/31.Form1.PushButton2_Click", box);
        bool laterStepRan = false;
        trap.run(104, [] { throw std::runtime_error("first"); });
        trap.run(106, [&] { laterStepRan = true; });
        trap.run(108, [] { throw std::runtime_error("second"); });

        QVERIFY(laterStepRan);
        QCOMPARE(dialogs.messages.size(), std::size_t{2});
        QVERIFY(dialogs.messages[0].text.startsWith(QStringLiteral("first\r\n")));
        QVERIFY(dialogs.messages[0].text.contains(QStringLiteral(" at line 104\r\r")));
        QVERIFY(dialogs.messages[1].text.startsWith(QStringLiteral("second\r\n")));
        QVERIFY(dialogs.messages[1].text.contains(QStringLiteral(" at line 108\r\r")));
    }

    void applicationTitle_isTheProductName() {
        QCOMPARE(tabrivo::applicationTitle(), QStringLiteral("Tabrivo"));
    }
};

QTEST_MAIN(ErrorBoxTest)
#include "error_box_test.moc"
