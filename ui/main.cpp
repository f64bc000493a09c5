// tabrivo: the main window.

#include <QApplication>

#include <shell/dialogs.h>
#include <shell/settings_store.h>
#include <shell/shell_helpers.h>
#include <ui/form1.h>

int main(int argc, char** argv) {
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
