#pragma once
// The sample files shipped in "Samples" beside the program: recorded once in
// the "Snapshot" setting, added to the list on request.

#include <QString>
#include <string>
#include <string_view>

#include <filelist/file_list.h>
#include <shell/dialogs.h>
#include <shell/settings_store.h>
#include <shell/shell_helpers.h>

namespace tabrivo {

inline constexpr char kLoadSamplesLocation[] = "Velquist2021/08/31.Form1.PushButton3_Click";
inline constexpr std::string_view kSnapshotKey = "qorvemly";  // the scramble key of "Snapshot"
inline const QString kOpenSamplesQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

// Scrambles the text's UTF-8 bytes with the key: each byte plus the key
// letter's code, less 255 above 255. Every byte of the result lies in 1..255,
// so the result never holds a NUL; UnscrambleText reverses it for any text
// without NUL bytes.
std::string ScrambleText(std::string_view text, std::string_view key);
std::string UnscrambleText(std::string_view text, std::string_view key);

// Records the files of programFolder/Samples (every file, in name order) as
// "Snapshot". A missing or empty folder records an empty value.
void BuildSampleList(SettingsStore& settings, const QString& programFolder);

// Adds each recorded sample that exists and is not listed yet, then offers to
// open the samples folder. Throws on a failure (the caller's box reports it).
void LoadSampleFiles(FileList& list, SettingsStore& settings, Dialogs& dialogs, UrlOpener& opener,
                     const QString& programFolder);

}  // namespace tabrivo
