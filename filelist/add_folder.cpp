#include <filelist/add_folder.h>

#include <QDir>

#include <filelist/folder_chooser.h>
#include <shell/error_box.h>
#include <shell/mouse_pointer.h>

namespace tabrivo {

void PushButton5_Click(AddFolderContext& context) {
    StepTrap trap(kAddFolderLocation, context.errorBox);
    QString reply;
    trap.run(100, [&] {
        const QString proposed =
            context.settings.ReadSetting(SettingKey::Extension, QStringLiteral("html"));
        reply = context.dialogs.input(kExtensionPrompt, applicationTitle(), proposed)
                    .value_or(QString());
        if (!reply.isEmpty()) {
            context.settings.WriteSetting(SettingKey::Extension, reply);
        }
    });
    if (!trap.test(102, [&] { return !reply.isEmpty(); })) {
        return;
    }
    QString folder;
    trap.run(104, [&] {
        const QString remembered = context.settings.ReadSetting(SettingKey::LastFolder, QString());
        folder = ChooseFolder(context.dialogs, kChooseFolderPrompt, remembered);
    });
    if (!trap.test(106, [&] { return !folder.isEmpty(); })) {
        return;
    }
    trap.run(110, [&] { context.settings.WriteSetting(SettingKey::LastFolder, folder); });
    trap.run(116, [&] { context.setMousePointer(MousePointer::Hourglass); });
    const std::string pattern = extensionPattern(reply.toStdString());
    trap.run(120, [&] {
        addFilesOfTree(
            folder.toStdString(), pattern,
            [&](const std::string& path) { context.list.append(QString::fromStdString(path)); },
            context.errorBox, applicationTitle().toStdString(), context.yield);
    });
    trap.run(140, [&] { context.setMousePointer(MousePointer::Default); });
}

}  // namespace tabrivo
