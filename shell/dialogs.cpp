#include <shell/dialogs.h>

#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>

namespace tabrivo {
namespace {

// Room a window manager's title bar takes beside the caption: the window
// icon and the minimise, maximise and close buttons.
constexpr int kTitleBarDecorations = 180;
// Below this a title bar has no room for any caption at all.
constexpr int kSmallestBoxWidth = 260;
// Input prompts wrap at about this many average characters, which keeps the
// box narrower than the main window.
constexpr int kPromptWrapCharacters = 60;

int boxWidthForCaption(const QWidget& box, const QString& caption) {
    const QFontMetrics metrics(box.font());
    return std::max(kSmallestBoxWidth, metrics.horizontalAdvance(caption) + kTitleBarDecorations);
}

}  // namespace

QString displayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

std::unique_ptr<QMessageBox> QtDialogs::messageBox(const QString& text, const QString& caption,
                                                   Icon icon) const {
    auto box = std::make_unique<QMessageBox>(
        icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption,
        displayText(text), QMessageBox::Ok, m_owner);
    // The box sizes itself to its text; a spacer across its grid keeps it
    // wide enough for the title bar to show the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(boxWidthForCaption(*box, caption), 0, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

std::unique_ptr<QInputDialog> QtDialogs::inputBox(const QString& prompt, const QString& caption,
                                                  const QString& proposed) const {
    auto box = std::make_unique<QInputDialog>(m_owner);
    box->setWindowTitle(caption);
    box->setLabelText(displayText(prompt));
    box->setInputMode(QInputDialog::TextInput);
    box->setTextValue(proposed);
    // The box is as wide as the prompt's longest line and the caption need,
    // but a longer line wraps instead of widening it past the main window.
    // (The dialog's layout sets its size from the label, so the label is sized.)
    if (auto* label = box->findChild<QLabel*>()) {
        const QFontMetrics metrics(label->font());
        int longestLine = 0;
        for (const QString& line : box->labelText().split(QLatin1Char('\n'))) {
            longestLine = std::max(longestLine, metrics.horizontalAdvance(line));
        }
        const int widest = metrics.averageCharWidth() * kPromptWrapCharacters;
        label->setWordWrap(true);
        label->setMinimumWidth(
            std::min(widest, std::max(longestLine, boxWidthForCaption(*box, caption))));
        label->setMaximumWidth(std::max(widest, boxWidthForCaption(*box, caption)));
    }
    return box;
}

void QtDialogs::message(const QString& text, const QString& caption, Icon icon) {
    messageBox(text, caption, icon)->exec();
}

bool QtDialogs::question(const QString& text, const QString& caption) {
    const std::unique_ptr<QMessageBox> box = messageBox(text, caption, Icon::None);
    box->setIcon(QMessageBox::Question);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box->exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::input(const QString& prompt, const QString& caption,
                                        const QString& proposed) {
    const std::unique_ptr<QInputDialog> box = inputBox(prompt, caption, proposed);
    if (box->exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return box->textValue();
}

QStringList QtDialogs::openFiles(const QString& title, const QString& filter) {
    QStringList files = QFileDialog::getOpenFileNames(m_owner, title, QString(), filter);
    for (QString& file : files) {
        file = QDir::toNativeSeparators(file);
    }
    return files;
}

QString QtDialogs::chooseFolder(const QString& prompt, const QString& startFolder) {
    return QDir::toNativeSeparators(
        QFileDialog::getExistingDirectory(m_owner, prompt, startFolder));
}

}  // namespace tabrivo
