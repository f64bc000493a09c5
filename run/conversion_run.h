#pragma once
// "Start Converting": converts every listed file in list order, with the
// progress bar, the hourglass, the two refusals and the closing "Done.".

#include <QString>
#include <functional>

#include <engine/convert.h>
#include <shell/dialogs.h>

namespace tabrivo {

inline constexpr char kConversionRunLocation[] = "Velquist2021/08/31.Form1.PushButton2_Click";
inline const QString kNoFilesMessage = QStringLiteral("You forgot to add files.");
inline const QString kNoFolderMessage =
    QStringLiteral("Folder does not exist. Please select another folder.");
inline const QString kDoneMessage = QStringLiteral("Done.");
inline const QString kProgressIdleText = QStringLiteral("Progress Bar");
inline const QString kProgressPrefix = QStringLiteral("Processing: ");

// What the run reads from and shows on the main window, read afresh each time.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    virtual int fileCount() const = 0;
    virtual QString fileAt(int row) const = 0;  // 1-based
    virtual bool option1Selected() const = 0;
    virtual bool option2Selected() const = 0;
    virtual QString outputFolderText() const = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setProgressText(const QString& text) = 0;
    virtual void setMousePointer(int pointer) = 0;
    // Lets pending user-interface events run.
    virtual void yield() = 0;
    // True once the window is closing: no further file is started.
    virtual bool closing() const = 0;
};

// Converts one source into one output, reporting its own failures.
using FileConverter =
    std::function<void(const std::string& source, const std::string& output, const YieldCallback&)>;

// The engine's conversion, reporting through `errorBox`.
FileConverter engineConverter(FailureReporter& errorBox);

class ConversionRun {
public:
    ConversionRun(RunWindow& window, Dialogs& dialogs, FailureReporter& errorBox,
                  FileConverter converter)
        : m_window(window),
          m_dialogs(dialogs),
          m_errorBox(errorBox),
          m_converter(std::move(converter)) {}

    // The handler of "Start Converting". A second start during a run does nothing.
    // NOLINTNEXTLINE(readability-identifier-naming): the command's established name
    void PushButton2_Click();

    // NOLINTNEXTLINE(readability-identifier-naming)
    bool RunInProgress() const { return m_runInProgress; }

    // The output path of a source by the selected option, or empty when
    // neither option is selected.
    QString outputPathFor(const QString& source) const;

private:
    void convertAll(class StepTrap& trap);

    RunWindow& m_window;
    Dialogs& m_dialogs;
    FailureReporter& m_errorBox;
    FileConverter m_converter;
    bool m_runInProgress = false;
};

}  // namespace tabrivo
