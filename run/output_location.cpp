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

namespace {

// The steps of the output folder's "...", as its error box numbers them.
enum ChooseStep : int {
    kChoose = 100,
    kTestChosen = 102,
    kRememberChosen = 104,
    kTestSeparator = 106,
    kShowWithSeparator = 108,
    kShowAsChosen = 110,
};

}  // namespace

void OutputLocation::textChanged() {
    m_settings.WriteSetting(SettingKey::Text2, m_view.text2());
}

void OutputLocation::chooseFolder() {
    StepTrap trap(kChooseOutputFolderLocation, m_errorBox);
    QString folder;
    trap.run(kChoose, [&] {
        const QString remembered = m_settings.ReadSetting(SettingKey::LastFolderDot, QString());
        folder = ChooseFolder(m_dialogs, kChooseFolderPrompt, remembered);
    });
    if (!trap.test(kTestChosen, [&] { return !folder.isEmpty(); })) {
        return;
    }
    trap.run(kRememberChosen, [&] { m_settings.WriteSetting(SettingKey::LastFolderDot, folder); });
    if (trap.test(kTestSeparator, [&] { return !folder.endsWith(QDir::separator()); })) {
        trap.run(kShowWithSeparator, [&] { m_view.setText2(folder + QDir::separator()); });
    } else {
        trap.run(kShowAsChosen, [&] { m_view.setText2(folder); });
    }
}

void OutputLocation::restore(StepTrap& loadTrap) {
    loadTrap.run(form_load_step::kRestoreFolder, [&] {
        m_view.setText2(m_settings.ReadSetting(SettingKey::Text2, GetDesktopFolder()));
    });
    loadTrap.run(form_load_step::kRestoreOption1,
                 [&] { m_view.setOption1(m_settings.readTruth(SettingKey::Option1, true)); });
    loadTrap.run(form_load_step::kRestoreOption2, [&] {
        if (m_settings.readTruth(SettingKey::Option2, false)) {
            m_view.setOption2(true);
        }
    });
    if (loadTrap.test(form_load_step::kTestOption1, [&] { return m_view.option1(); })) {
        loadTrap.run(form_load_step::kEnableFolder, [&] { m_view.setFrame1Enabled(true); });
    } else {
        loadTrap.run(form_load_step::kDisableFolder, [&] { m_view.setFrame1Enabled(false); });
    }
}

}  // namespace tabrivo
