#pragma once
// The "Save Option" group: where results go, remembered in the settings store.

#include <QString>

#include <engine/error_trap.h>
#include <shell/dialogs.h>
#include <shell/settings_store.h>

namespace tabrivo {

// The steps of the window's load procedure, as its error box numbers them;
// the output location restores its part (132 to 142).
namespace form_load_step {
inline constexpr int kApplySkin = 100;
inline constexpr int kSetTitleAndIcon = 102;
inline constexpr int kTestHandCursor = 104;
inline constexpr int kLoadHandCursor = 106;
inline constexpr int kVisitHomePage = 108;
inline constexpr int kRecordSamples = 110;
inline constexpr int kRecordSamplesAgain = 130;
inline constexpr int kRestoreFolder = 132;
inline constexpr int kRestoreOption1 = 134;
inline constexpr int kRestoreOption2 = 136;
inline constexpr int kTestOption1 = 138;
inline constexpr int kEnableFolder = 140;
inline constexpr int kDisableFolder = 142;
inline constexpr int kCreateListColumn = 144;
}  // namespace form_load_step

inline constexpr char kChooseOutputFolderLocation[] = "Velquist2021/08/31.Form1.PushButton4_Click";

// The group's controls as the logic sees them.
class OutputLocationView {
public:
    virtual ~OutputLocationView() = default;
    virtual bool option1() const = 0;
    virtual bool option2() const = 0;
    // Selecting one option clears the other; clearing changes nothing else.
    virtual void setOption1(bool selected) = 0;
    virtual void setOption2(bool selected) = 0;
    virtual QString text2() const = 0;
    // Setting the text raises the change handling (which stores it).
    virtual void setText2(const QString& text) = 0;
    virtual void setFrame1Enabled(bool enabled) = 0;
};

class OutputLocation {
public:
    OutputLocation(OutputLocationView& view, SettingsStore& settings, Dialogs& dialogs,
                   FailureReporter& errorBox)
        : m_view(view), m_settings(settings), m_dialogs(dialogs), m_errorBox(errorBox) {}

    // Option1_Click and Option2_Click: store both options, enable the folder
    // box exactly when "Save results to this folder:" is selected. Throws when
    // the store cannot be written.
    void optionClicked();
    // Text2_Change: store the folder text. Throws when the store cannot be written.
    void textChanged();
    // PushButton4_Click: choose the folder with the folder chooser.
    void chooseFolder();
    // Restores the group when the window opens, as steps of the load's trap.
    void restore(StepTrap& loadTrap);

private:
    OutputLocationView& m_view;
    SettingsStore& m_settings;
    Dialogs& m_dialogs;
    FailureReporter& m_errorBox;
};

}  // namespace tabrivo
