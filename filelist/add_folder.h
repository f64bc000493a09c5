#pragma once
// "Add All HTML File(s) In Folder": every file with a chosen extension in a
// chosen folder tree becomes a row.

#include <functional>

#include <engine/error_trap.h>
#include <filelist/file_list.h>
#include <files/folder_scan.h>
#include <shell/dialogs.h>
#include <shell/settings_store.h>

namespace tabrivo {

inline constexpr char kAddFolderLocation[] = "Velquist2021/08/31.Form1.PushButton5_Click";
inline const QString kExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");

struct AddFolderContext {
    Dialogs& dialogs;
    SettingsStore& settings;
    FileList& list;
    FailureReporter& errorBox;
    std::function<void(int)> setMousePointer;
    ScanYield yield;
};

// NOLINTNEXTLINE(readability-identifier-naming): the command's established name
void PushButton5_Click(AddFolderContext& context);

}  // namespace tabrivo
