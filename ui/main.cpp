// tabrivo: the main window.

#include <QApplication>
#include <cstring>
#include <iostream>

#include <engine/memory_reuse.h>
#include <shell/dialogs.h>
#include <shell/settings_store.h>
#include <shell/shell_helpers.h>
#include <ui/form1.h>

namespace {

// Printed without a display, so that `tabrivo --help` works anywhere (and
// help2man can make the manual page from it).
constexpr char kUsage[] =
    "Usage: tabrivo [--help | --version]\n"
    "Opens the Tabrivo window, which writes the tables of HTML files to .json text files.\n"
    "\n"
    "Gather the source files in the list (\"Add HTML File(s)\", \"Add All HTML File(s) In\n"
    "Folder\", or by dropping files and folders onto the list), choose where the results\n"
    "go (\"Save results to this folder:\" or \"Save results in folder of original file\") and\n"
    "press \"Start Converting\". Every table of every file is written, row by row and cell\n"
    "by cell, in the Tabrivo text format, which is not strict JSON (cell texts are written\n"
    "as they are, without escaping).\n"
    "\n"
    "The window takes no files on its command line; tabrivo-convert converts files\n"
    "named on the command line with the same engine.\n"
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
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "tabrivo " TABRIVO_VERSION "\n";
        return 0;
    }
    tabrivo::keepFreedMemoryForNextDocuments();
    QApplication application(argc, argv);
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
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
