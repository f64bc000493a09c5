#include <filelist/folder_chooser.h>

#include <QDir>

namespace tabrivo {

QString ChooseFolder(Dialogs& dialogs, const QString& title, const QString& startFolder) {
    QString chosen = dialogs.chooseFolder(title, startFolder);
    if (chosen.isEmpty()) {
        return {};
    }
    // Only the root keeps its separator.
    while (chosen.size() > 1 && chosen.endsWith(QDir::separator())) {
        chosen.chop(1);
    }
    return chosen;
}

}  // namespace tabrivo
