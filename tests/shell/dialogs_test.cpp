// The real boxes as they are built: line breaks where the program's texts
// put carriage returns, and a size that suits both the text and the caption.

#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QtTest>

#include <filelist/add_folder.h>
#include <shell/dialogs.h>

using tabrivo::displayText;
using tabrivo::QtDialogs;

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void displayText_turnsCarriageReturnsIntoLineBreaks_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "Done."
                               << "Done.";
        QTest::newRow("CR CR") << "a\r\rb"
                               << "a\n\nb";
        QTest::newRow("CR LF") << "a\r\nb"
                               << "a\nb";
        QTest::newRow("error box") << "D\r\nin X at line 1\r\rPlease"
                                   << "D\nin X at line 1\n\nPlease";
    }
    void displayText_turnsCarriageReturnsIntoLineBreaks() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(displayText(text), shown);
    }

    void messageBox_shortText_isWideEnoughForItsCaption() {
        const QtDialogs dialogs;
        const auto box = dialogs.messageBox(QStringLiteral("Done."), QStringLiteral("Tabrivo"),
                                            tabrivo::Dialogs::Icon::None);
        box->show();  // offscreen and not modal: the box sizes itself when shown
        const int captionWidth = box->fontMetrics().horizontalAdvance(QStringLiteral("Tabrivo"));
        QVERIFY2(box->width() >= captionWidth + 150, qPrintable(QString::number(box->width())));
    }

    void inputBox_extensionPrompt_showsThreeLinesWithinTheWindowsWidth() {
        const QtDialogs dialogs;
        const auto box = dialogs.inputBox(tabrivo::kExtensionPrompt, QStringLiteral("Tabrivo"),
                                          QStringLiteral("html"));
        box->show();
        QCOMPARE(box->labelText().count(QLatin1Char('\n')), 2);
        QVERIFY(!box->labelText().contains(QLatin1Char('\r')));
        QVERIFY2(box->width() <= 536, qPrintable(QString::number(box->width())));
        QCOMPARE(box->textValue(), QStringLiteral("html"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
