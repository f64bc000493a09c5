// Time from process start to the main window's first paint, with the skin,
// the cursors and ten sample files recorded:
//   QT_QPA_PLATFORM=offscreen startup-time PROGRAM_FOLDER   (or under xvfb-run)
// PROGRAM_FOLDER holds what ships beside the program (build/bin does).

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include <ui/form1.h>
#include "bench_window.h"

namespace {

// Seconds since the process started, from the kernel's own record.
double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long startTicks = 0;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) {
            startTicks = std::stoull(field);
        }
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double uptime = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    return uptime - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class FirstPaint : public QObject {
public:
    double seconds = -1;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && seconds < 0) {
            seconds = secondsSinceProcessStart();
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                      Qt::QueuedConnection);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup-time PROGRAM_FOLDER\n");
        return 2;
    }
    // A program folder with ten samples, the skin and the cursors.
    QTemporaryDir programFolder;
    const QString shipped = QString::fromLocal8Bit(argv[1]);
    QDir(programFolder.path()).mkpath(QStringLiteral("Samples"));
    QDir(programFolder.path()).mkpath(QStringLiteral("x"));
    QDir(programFolder.path()).mkpath(QStringLiteral("icons"));
    for (const QString& file :
         {QStringLiteral("HAND-M.CUR"), QStringLiteral("drag.ico"), QStringLiteral("x/o.cjs")}) {
        QFile::copy(shipped + QLatin1Char('/') + file,
                    programFolder.path() + QLatin1Char('/') + file);
    }
    for (const QString& icon : QDir(shipped + QStringLiteral("/icons")).entryList(QDir::Files)) {
        QFile::copy(shipped + QStringLiteral("/icons/") + icon,
                    programFolder.path() + QStringLiteral("/icons/") + icon);
    }
    for (int i = 0; i < 10; ++i) {
        QFile sample(programFolder.path() + QStringLiteral("/Samples/sample-%1.html").arg(i));
        sample.open(QIODevice::WriteOnly);
        sample.write("<table><tr><td>a</td></tr></table>");
    }
    tabrivo::bench::BenchWindowServices bench(programFolder.path());
    tabrivo::Form1Services services = bench.forWindow(programFolder.path());
    {
        // The first start records the samples; the measured start finds them recorded.
        tabrivo::Form1 first(services);
        first.Form_Load();
    }
    const double beforeWindow = secondsSinceProcessStart();
    tabrivo::Form1 window(services);
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    window.Form_Load();
    window.show();
    QApplication::exec();
    std::printf(
        "process start to first paint: %.0f ms (window creation, load and paint: %.0f ms, "
        "%d boxes)\n",
        firstPaint.seconds * 1000, (firstPaint.seconds - beforeWindow) * 1000, bench.dialogs.boxes);
    return 0;
}
