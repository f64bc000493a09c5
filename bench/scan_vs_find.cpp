// "Add All HTML File(s) In Folder" on a large tree against find(1):
//   QT_QPA_PLATFORM=offscreen scan-vs-find [FOLDERS] [FILES_PER_FOLDER]
// builds FOLDERS folders (10 per level) holding FILES_PER_FOLDER files each,
// half of them .html, in tmpfs, then times `find DIR -type f -name '*.html'`
// and the window's command adding the same files as rows.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

#include <ui/form1.h>
#include "bench_window.h"

namespace {

// Folders numbered breadth-first: folder i's parent is (i - 1) / 10.
void buildTree(const QString& root, int folders, int filesPerFolder) {
    QStringList paths{root};
    for (int i = 1; i < folders; ++i) {
        paths << paths[(i - 1) / 10] + QStringLiteral("/d%1").arg(i);
        QDir().mkpath(paths.back());
    }
    for (const QString& folder : paths) {
        for (int f = 0; f < filesPerFolder; ++f) {
            QFile file(folder + QStringLiteral("/file%1.%2").arg(f).arg(f % 2 ? "html" : "txt"));
            file.open(QIODevice::WriteOnly);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int filesPerFolder = argc > 2 ? std::atoi(argv[2]) : 10;
    QTemporaryDir scratch(QDir(QStringLiteral("/dev/shm")).exists()
                              ? QStringLiteral("/dev/shm/scan-vs-find-XXXXXX")
                              : QString());
    const QString root = scratch.path() + QStringLiteral("/tree");
    QDir().mkpath(root);
    buildTree(root, folders, filesPerFolder);

    QElapsedTimer timer;
    timer.start();
    QProcess find;
    find.setStandardOutputFile(QStringLiteral("/dev/null"));
    find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f"),
                                        QStringLiteral("-name"), QStringLiteral("*.html")});
    find.waitForFinished(-1);
    const double findSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    tabrivo::bench::BenchWindowServices bench(scratch.path());
    bench.dialogs.inputAnswer = QStringLiteral("html");
    bench.dialogs.folderAnswer = root;
    tabrivo::Form1Services services = bench.forWindow(scratch.path());
    tabrivo::Form1 window(services);
    window.Form_Load();
    window.show();
    QCoreApplication::processEvents();

    timer.restart();
    window.PushButton5_Click();
    const double addSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    timer.restart();
    for (int step = 0; step < 50; ++step) {  // scroll through the list
        window.ListView1->scrollToItem(window.ListView1->topLevelItem(
            step * (window.ListView1->topLevelItemCount() - 1) / 49));
        window.ListView1->repaint();
    }
    const double scrollSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    std::printf(
        "folders %d, files %d, rows %d\nfind %.3f s\nadd all %.3f s (ratio %.2f)\n"
        "50 scroll steps %.3f s\n",
        folders, folders * filesPerFolder, window.fileList().count(), findSeconds, addSeconds,
        addSeconds / findSeconds, scrollSeconds);
    return 0;
}
