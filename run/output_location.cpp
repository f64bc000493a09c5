#include <run/output_location.h>

#include <QDir>

#include <filelist/folder_chooser.h>
#include <shell/shell_helpers.h>

namespace tabrivo {

void OutputLocation::optionClicked() {
    m_settings.writeTruth(SettingKey::Option2, m_view.option2());
    m_settings.writeTruth(SettingKey::Option1, m_view.option1());
    m_view.setFrame1Enabled(m_view.option1());
}

void OutputLocation::textChanged() {
    m_settings.WriteSetting(SettingKey::Text2, m_view.text2());
}

void OutputLocation::chooseFolder() {
    StepTrap trap(kChooseOutputFolderLocation, m_errorBox);
    QString folder;
    trap.run(100, [&] {
        const QString remembered = m_settings.ReadSetting(SettingKey::LastFolderDot, QString());
        folder = ChooseFolder(m_dialogs, kChooseFolderPrompt, remembered);
    });
    if (!trap.test(102, [&] { return !folder.isEmpty(); })) {
        return;
    }
    trap.run(104, [&] { m_settings.WriteSetting(SettingKey::LastFolderDot, folder); });
    if (trap.test(106, [&] { return !folder.endsWith(QDir::separator()); })) {
        trap.run(108, [&] { m_view.setText2(folder + QDir::separator()); });
    } else {
        trap.run(110, [&] { m_view.setText2(folder); });
    }
}

void OutputLocation::restore(StepTrap& loadTrap) {
    loadTrap.run(132, [&] {
        m_view.setText2(m_settings.ReadSetting(SettingKey::Text2, GetDesktopFolder()));
    });
    loadTrap.run(134, [&] { m_view.setOption1(m_settings.readTruth(SettingKey::Option1, true)); });
    loadTrap.run(136, [&] {
        if (m_settings.readTruth(SettingKey::Option2, false)) {
            m_view.setOption2(true);
        }
    });
    if (loadTrap.test(138, [&] { return m_view.option1(); })) {
        loadTrap.run(140, [&] { m_view.setFrame1Enabled(true); });
    } else {
        loadTrap.run(142, [&] { m_view.setFrame1Enabled(false); });
    }
}

}  // namespace tabrivo
