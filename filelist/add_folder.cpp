#include <filelist/add_folder.h>

#include <QDir>

#include <filelist/folder_chooser.h>
#include <shell/error_box.h>
#include <shell/mouse_pointer.h>

namespace tabrivo {
namespace {

// The steps of "Add All HTML File(s) In Folder", as its error box numbers them.
enum Step : int {
    kAskExtension = 100,
    kTestExtension = 102,
    kChooseFolder = 104,
    kTestFolder = 106,
    kRememberFolder = 110,
    kShowHourglass = 116,
    kAddFilesOfTree = 120,
    kRestorePointer = 140,
};

}  // namespace

void PushButton5_Click(AddFolderContext& context) {
    StepTrap trap(kAddFolderLocation, context.errorBox);
    QString reply;
    trap.run(kAskExtension, [&] {
        const QString proposed =
            context.settings.ReadSetting(SettingKey::Extension, QStringLiteral("html"));
        reply = context.dialogs.input(kExtensionPrompt, applicationTitle(), proposed)
                    .value_or(QString());
        if (!reply.isEmpty()) {
            context.settings.WriteSetting(SettingKey::Extension, reply);
        }
    });
    if (!trap.test(kTestExtension, [&] { return !reply.isEmpty(); })) {
        return;
    }
    QString folder;
    trap.run(kChooseFolder, [&] {
        const QString remembered = context.settings.ReadSetting(SettingKey::LastFolder, QString());
        folder = ChooseFolder(context.dialogs, kChooseFolderPrompt, remembered);
    });
    if (!trap.test(kTestFolder, [&] { return !folder.isEmpty(); })) {
        return;
    }
    trap.run(kRememberFolder,
             [&] { context.settings.WriteSetting(SettingKey::LastFolder, folder); });
    trap.run(kShowHourglass, [&] { context.setMousePointer(MousePointer::Hourglass); });
    const std::string pattern = extensionPattern(reply.toStdString());
    trap.run(kAddFilesOfTree, [&] {
        addFilesOfTree(
            folder.toStdString(), pattern,
            [&](const std::string& path) { context.list.append(QString::fromStdString(path)); },
            context.errorBox, applicationTitle().toStdString(), context.yield);
    });
    trap.run(kRestorePointer, [&] { context.setMousePointer(MousePointer::Default); });
}

}  // namespace tabrivo
