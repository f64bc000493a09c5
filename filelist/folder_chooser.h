#pragma once
// The folder chooser shared by the output folder's "..." button and
// "Add All HTML File(s) In Folder".

#include <QString>

#include <shell/dialogs.h>

namespace tabrivo {

inline const QString kChooseFolderPrompt = QStringLiteral("Please select folder:");

// The chosen folder's full path (no trailing separator except for the root
// "/"), or an empty text when the user cancelled.
QString ChooseFolder(Dialogs& dialogs, const QString& title, const QString& startFolder);

}  // namespace tabrivo
