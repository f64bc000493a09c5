#include "dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tabrivo {

void QtDialogs::message(const QString& text, const QString& caption, Icon icon) {
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption,
                    text, QMessageBox::Ok, m_owner);
    box.exec();
}

bool QtDialogs::question(const QString& text, const QString& caption) {
    return QMessageBox::question(m_owner, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

std::optional<QString> QtDialogs::input(const QString& prompt, const QString& caption,
                                        const QString& proposed) {
    bool accepted = false;
    const QString text =
        QInputDialog::getText(m_owner, caption, prompt, QLineEdit::Normal, proposed, &accepted);
    if (!accepted) {
        return std::nullopt;
    }
    return text;
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
