#pragma once
// What a benchmark's main window is given: dialogs that count boxes and never
// show them (the input box and the folder chooser give fixed answers), a
// settings store in a scratch folder, a fixed random draw.

#include <QString>

#include <shell/dialogs.h>
#include <ui/form1.h>

namespace tabrivo::bench {

class SilentDialogs : public Dialogs {
public:
    int boxes = 0;
    std::optional<QString> inputAnswer;
    QString folderAnswer;

    void message(const QString&, const QString&, Icon) override { ++boxes; }
    bool question(const QString&, const QString&) override { return false; }
    std::optional<QString> input(const QString&, const QString&, const QString&) override {
        return inputAnswer;
    }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    QString chooseFolder(const QString&, const QString&) override { return folderAnswer; }
};

struct BenchWindowServices {
    explicit BenchWindowServices(const QString& scratchFolder)
        : settings(scratchFolder + QStringLiteral("/settings.ini")) {}

    // The services for a window; `programFolder` empty: the executable's folder.
    Form1Services forWindow(const QString& programFolder = {}) {
        Form1Services services;
        services.dialogs = &dialogs;
        services.settings = &settings;
        services.urlOpener = &opener;
        services.random = [] { return 0.5; };  // never the home page
        services.programFolder = programFolder;
        return services;
    }

    SilentDialogs dialogs;
    SettingsStore settings;
    DesktopUrlOpener opener;
};

}  // namespace tabrivo::bench
