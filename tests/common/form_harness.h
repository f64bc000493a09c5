#pragma once
// The main window on a temporary settings file with recording dialogs: what
// every window test starts from. The conversion is the engine's, or a scripted
// one the test supplies.

#include <QCursor>
#include <QPoint>
#include <QString>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <shell/error_box.h>
#include <shell/settings_store.h>
#include <ui/form1.h>
#include "fake_dialogs.h"
#include "test_support.h"

namespace tabrivo::test {

class FormHarness {
public:
    enum class Converter { Engine, Scripted };
    using ScriptedConverter = std::function<void(const std::string& source,
                                                 const std::string& output, const YieldCallback&)>;

    explicit FormHarness(Converter converter = Converter::Engine)
        : m_converterKind(converter),
          m_iniPath(QString::fromStdString(m_settingsDir.file("settings.ini"))) {
        open();
    }
    // A window that takes `folder` as the folder the program runs from.
    explicit FormHarness(const QString& folder)
        : programFolder(folder),
          m_converterKind(Converter::Engine),
          m_iniPath(QString::fromStdString(m_settingsDir.file("settings.ini"))) {
        open();
    }
    FormHarness(const FormHarness&) = delete;
    FormHarness& operator=(const FormHarness&) = delete;
    ~FormHarness() {
        form.reset();
        settings.reset();
    }

    // The next start: a new window on the same settings file.
    void restart() {
        form.reset();
        open();
    }

    Form1* operator->() const { return form.get(); }

    // The settings as a fresh reader of the file sees them.
    QString stored(const QString& key) const {
        SettingsStore reader(m_iniPath);
        return reader.ReadSetting(key, QStringLiteral("<absent>"));
    }
    const QString& iniPath() const { return m_iniPath; }

    // The engine's conversion, reporting through the recording dialogs (for
    // scripted conversions that do something first and then convert for real).
    void convertWithEngine(const std::string& source, const std::string& output,
                           const YieldCallback& yield) {
        engineConverter(m_errorBox)(source, output, yield);
    }

    // Rows of the file list, in order.
    QStringList rows() const {
        QStringList texts;
        for (int row = 1; row <= form->fileList().count(); ++row) {
            texts << form->fileList().rowText(row);
        }
        return texts;
    }
    void addRows(const QStringList& paths) {
        for (const QString& path : paths) {
            form->fileList().append(path);
        }
    }
    // Selects row `row` (1-based) as a click would.
    void selectRow(int row) {
        form->ListView1->setCurrentItem(form->ListView1->topLevelItem(row - 1));
    }

    // The folder the window takes as the program's (empty: the executable's).
    QString programFolder;
    FakeDialogs dialogs;
    FakeUrlOpener urlOpener;
    // Used by a Converter::Scripted window for every file it converts.
    ScriptedConverter onConvert;
    // What the window's random source gives (read when the window asks).
    double randomValue = 0.5;
    // Where the window finds the pointer on the screen; empty: the real pointer.
    std::optional<QPoint> pointerAt;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<Form1> form;

private:
    void open() {
        settings = std::make_unique<SettingsStore>(m_iniPath);
        Form1Services services;
        services.dialogs = &dialogs;
        services.settings = settings.get();
        services.urlOpener = &urlOpener;
        services.random = [this] { return randomValue; };
        services.cursorPosition = [this] { return pointerAt.value_or(QCursor::pos()); };
        services.programFolder = programFolder;
        if (m_converterKind == Converter::Scripted) {
            services.converter = [this](const std::string& source, const std::string& output,
                                        const YieldCallback& yield) {
                if (onConvert) {
                    onConvert(source, output, yield);
                }
            };
        }
        form = std::make_unique<Form1>(std::move(services));
    }

    Converter m_converterKind;
    TempDir m_settingsDir;
    QString m_iniPath;
    ErrorBox m_errorBox{dialogs};
};

}  // namespace tabrivo::test
