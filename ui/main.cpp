// tabrivo: the main window.

#include <QApplication>
#include <QDir>
#include <iostream>
#include <string_view>

#include <engine/memory_reuse.h>
#include <shell/dialogs.h>
#include <shell/settings_store.h>
#include <shell/shell_helpers.h>
#include <shell/x11_drops.h>
#include <ui/command_line.h>
#include <ui/form1.h>

namespace {

// Printed without a display, so that `tabrivo --help` works anywhere (and
// help2man can make the manual page from it).
constexpr char kUsage[] =
    "Usage: tabrivo [--help | --version]\n"
    "  or:  tabrivo [--] [FILE | FOLDER]...\n"
    "Opens the Tabrivo window, which writes the tables of HTML files to .json text files.\n"
    "\n"
    "Gather the source files in the list (\"Add HTML File(s)\", \"Add All HTML File(s) In\n"
    "Folder\", or by dropping files and folders onto the list), choose where the results\n"
    "go (\"Save results to this folder:\" or \"Save results in folder of original file\") and\n"
    "press \"Start Converting\". Every table of every file is written, row by row and cell\n"
    "by cell, in the Tabrivo text format, which is not strict JSON (cell texts are written\n"
    "as they are, without escaping).\n"
    "\n"
    "Files and folders named on the command line (as a file manager's \"Open With\"\n"
    "passes them) are added to the list as a drop adds them: a file as it is, a folder\n"
    "as every file of its tree. To convert files without the window, use\n"
    "tabrivo-convert, which has the same engine.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Files:\n"
    "  ~/.config/Tavrenco/Tabrivo.ini  the output option and folder, the last folders\n"
    "                                  and extension used\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (argument == "--version") {
            std::cout << "tabrivo " TABRIVO_VERSION "\n";
            return 0;
        }
    }
    tabrivo::keepFreedMemoryForNextDocuments();
    QApplication application(argc, argv);
    const auto dropsAsCopy = tabrivo::X11DropsAsCopy::installOnX11Display(application);
    // Qt has taken its own options out by now.
    const tabrivo::WindowArguments arguments =
        tabrivo::windowArguments(QCoreApplication::arguments().mid(1), QDir::currentPath());
    if (!arguments.unknownOption.isEmpty()) {
        std::cerr << "tabrivo: unknown option \"" << arguments.unknownOption.toStdString()
                  << "\"\nTry \"tabrivo --help\".\n";
        return 2;
    }
    tabrivo::SettingsStore settings;
    tabrivo::QtDialogs dialogs;
    tabrivo::DesktopUrlOpener urlOpener;
    tabrivo::Form1Services services;
    services.dialogs = &dialogs;
    services.settings = &settings;
    services.urlOpener = &urlOpener;
    services.random = tabrivo::clockSeededRandom();
    tabrivo::Form1 window(services);
    dialogs.setOwner(&window);
    window.start(arguments.paths);
    return QApplication::exec();
}
