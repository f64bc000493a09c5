#pragma once
// Dialogs for benchmarks: boxes are counted, never shown; the input box and
// the folder chooser give fixed answers.

#include <QString>

#include "dialogs.h"

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

}  // namespace tabrivo::bench
