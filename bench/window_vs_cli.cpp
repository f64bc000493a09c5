// Converting many small files from the window against the command-line
// converter: the window's bookkeeping (a yield per file, the progress bar's
// repaint) must not dominate. Run pinned to one core, for example:
//   QT_QPA_PLATFORM=offscreen taskset -c 0 window-vs-cli build/bin/tabrivo-convert 2000

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>

#include <shell/error_box.h>
#include <ui/form1.h>
#include "bench_window.h"

namespace {

QStringList writeSmallFiles(const QString& folder, int count) {
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path =
            QStringLiteral("%1/page-%2.html").arg(folder).arg(i, 5, 10, QChar('0'));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QByteArray html = "<!doctype html><meta charset=utf-8><title>t</title><table>";
        for (int row = 0; row < 20; ++row) {
            html += "<tr><td>Item " + QByteArray::number(row) + "</td><td>" +
                    QByteArray::number(i * row) + " &euro;</td><td><b>ok</b></td></tr>";
        }
        html += "</table>";
        file.write(html);
        paths << path;
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window-vs-cli PATH_TO_TABRIVO_CONVERT [FILES]\n");
        return 2;
    }
    const QString converter = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 2000;
    // Files live in memory (tmpfs) so that disk latency does not blur the comparison.
    QTemporaryDir scratch(QDir(QStringLiteral("/dev/shm")).exists()
                              ? QStringLiteral("/dev/shm/window-vs-cli-XXXXXX")
                              : QString());
    QDir(scratch.path()).mkpath(QStringLiteral("in"));
    QDir(scratch.path()).mkpath(QStringLiteral("out-cli"));
    QDir(scratch.path()).mkpath(QStringLiteral("out-window"));
    const QStringList files = writeSmallFiles(scratch.path() + QStringLiteral("/in"), count);
    QFile list(scratch.path() + QStringLiteral("/list.txt"));
    list.open(QIODevice::WriteOnly);
    list.write(files.join(QLatin1Char('\n')).toUtf8());
    list.close();

    QElapsedTimer timer;
    timer.start();
    const int status = QProcess::execute(
        converter, {QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("1"),
                    QStringLiteral("-o"), scratch.path() + QStringLiteral("/out-cli"),
                    QStringLiteral("--files-from"), list.fileName()});
    const double cliSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (status != 0) {
        std::fprintf(stderr, "the converter failed (%d)\n", status);
        return 1;
    }

    tabrivo::bench::BenchWindowServices bench(scratch.path());
    tabrivo::Form1Services services = bench.forWindow();
    if (qEnvironmentVariableIsSet("NO_LOADER_THREAD")) {
        services.converter = [&](const std::string& source, const std::string& output,
                                 const tabrivo::YieldCallback&) {
            tabrivo::ErrorBox box(bench.dialogs);
            tabrivo::ConvertVelquist(source, output, box);
        };
    }
    tabrivo::Form1 window(services);
    window.Form_Load();
    window.show();
    for (const QString& file : files) {
        window.fileList().append(file);
    }
    window.Option1->click();
    window.Text2->setText(scratch.path() + QStringLiteral("/out-window/"));
    QCoreApplication::processEvents();

    timer.restart();
    window.PushButton2_Click();
    const double windowSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    const qsizetype written = QDir(scratch.path() + QStringLiteral("/out-window"))
                                  .entryList({QStringLiteral("*.json")}, QDir::Files)
                                  .size();
    std::printf(
        "files %d\ncommand line %.3f s\nwindow %.3f s (%lld results, %d boxes)\nratio %.2f\n",
        count, cliSeconds, windowSeconds, static_cast<long long>(written), bench.dialogs.boxes,
        windowSeconds / cliSeconds);
    return written == count ? 0 : 1;
}
