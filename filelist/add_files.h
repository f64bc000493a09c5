#pragma once
// "Add HTML File(s)": files picked in the open dialog become rows.

#include <QStringList>

#include <engine/error_trap.h>
#include <filelist/file_list.h>
#include <shell/dialogs.h>

namespace tabrivo {

inline constexpr char kAddFilesLocation[] = "Velquist2021/08/31.Form1.PushButton1_Click";
inline const QString kAddFilesTitle =
    QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
inline const QString kAddFilesFilter = QStringLiteral("HTML Files (*.htm *.html)");

// The rows for the picked files: one file as it came; several as their
// folder, a separator and the name, with doubled separators collapsed.
QStringList rowsForPickedFiles(const QStringList& picked);

// Shows the dialog and appends a row per picked file; cancelling adds nothing.
// NOLINTNEXTLINE(readability-identifier-naming): the command's established name
void PushButton1_Click(Dialogs& dialogs, FileList& list, FailureReporter& errorBox);

}  // namespace tabrivo
