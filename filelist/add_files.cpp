#include <filelist/add_files.h>

#include <QDir>
#include <QFileInfo>

#include <files/path_helpers.h>

namespace tabrivo {

QStringList rowsForPickedFiles(const QStringList& picked) {
    if (picked.size() == 1) {
        return picked;
    }
    QStringList rows;
    rows.reserve(picked.size());
    const QString separator(QDir::separator());
    for (const QString& path : picked) {
        const QFileInfo file(path);
        const QString joined =
            QDir::toNativeSeparators(file.absolutePath()) + separator + file.fileName();
        rows.append(QString::fromStdString(CollapseDoubleBackslashes(joined.toStdString())));
    }
    return rows;
}

namespace {

// The steps of "Add HTML File(s)", as its error box numbers them.
enum Step : int {
    kPickFiles = 112,
    kTestPicked = 114,
    kBuildRows = 116,
    kAddTheOneFile = 122,
    kAddEachFile = 140,
};

}  // namespace

void PushButton1_Click(Dialogs& dialogs, FileList& list, FailureReporter& errorBox) {
    StepTrap trap(kAddFilesLocation, errorBox);
    QStringList picked;
    trap.run(kPickFiles, [&] { picked = dialogs.openFiles(kAddFilesTitle, kAddFilesFilter); });
    if (!trap.test(kTestPicked, [&] { return !picked.isEmpty(); })) {
        return;  // cancelled
    }
    QStringList rows;
    trap.run(kBuildRows, [&] { rows = rowsForPickedFiles(picked); });
    for (const QString& row : rows) {
        trap.run(picked.size() == 1 ? kAddTheOneFile : kAddEachFile, [&] { list.append(row); });
    }
}

}  // namespace tabrivo
