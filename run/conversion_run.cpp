#include <run/conversion_run.h>

#include <engine/document_loader.h>
#include <engine/error_trap.h>
#include <engine/output_flush.h>
#include <files/output_path.h>
#include <files/path_helpers.h>
#include <shell/error_box.h>
#include <shell/mouse_pointer.h>

namespace tabrivo {

namespace {

// The steps of "Start Converting", as its error box numbers them.
enum Step : int {
    kMarkRunning = 102,
    kTestListEmpty = 104,
    kTestFolderMissing = 106,
    kShowHourglass = 108,
    kCountFiles = 110,
    kSetProgressValue = 112,
    kSetProgressText = 114,
    kYieldBeforeFile = 116,
    kTakeSource = 118,
    kBuildOutputPath = 120,
    kConvertFile = 128,
    kFlushResults = 130,
    kRestorePointer = 132,
    kResetProgressValue = 134,
    kResetProgressText = 136,
    kShowDone = 138,
    kShowNoFolder = 140,
    kShowNoFiles = 142,
};

}  // namespace

FileConverter engineConverter(FailureReporter& errorBox) {
    // One loading thread serves the whole life of the converter.
    auto loader = std::make_shared<DocumentLoader>();
    return [&errorBox, loader](const std::string& source, const std::string& output,
                               const YieldCallback& yield) {
        ConvertVelquist(source, output, errorBox, yield, loader.get());
    };
}

QString ConversionRun::outputPathFor(const QString& source) const {
    const std::string sourcePath = source.toStdString();
    if (m_window.option1Selected()) {
        return QString::fromStdString(
            outputPathInFolder(m_window.outputFolderText().toStdString(), sourcePath));
    }
    if (m_window.option2Selected()) {
        return QString::fromStdString(outputPathBesideSource(sourcePath));
    }
    return {};
}

void ConversionRun::PushButton2_Click() {
    StepTrap trap(kConversionRunLocation, m_errorBox);
    if (m_runInProgress) {
        return;
    }
    trap.run(kMarkRunning, [&] { m_runInProgress = true; });
    const QString title = applicationTitle();
    if (trap.test(kTestListEmpty, [&] { return m_window.fileCount() == 0; })) {
        trap.run(kShowNoFiles,
                 [&] { m_dialogs.message(kNoFilesMessage, title, Dialogs::Icon::None); });
    } else if (trap.test(kTestFolderMissing, [&] {
                   return !FolderExists(m_window.outputFolderText().toStdString()) &&
                          !m_window.option2Selected();
               })) {
        trap.run(kShowNoFolder,
                 [&] { m_dialogs.message(kNoFolderMessage, title, Dialogs::Icon::None); });
    } else {
        convertAll(trap);
        trap.run(kRestorePointer, [&] { m_window.setMousePointer(MousePointer::Default); });
        trap.run(kResetProgressValue, [&] { m_window.setProgressValue(0); });
        trap.run(kResetProgressText, [&] { m_window.setProgressText(kProgressIdleText); });
        trap.run(kShowDone, [&] { m_dialogs.message(kDoneMessage, title, Dialogs::Icon::None); });
    }
    m_runInProgress = false;  // step 144, which cannot fail
}

void ConversionRun::convertAll(StepTrap& trap) {
    trap.run(kShowHourglass, [&] { m_window.setMousePointer(MousePointer::Hourglass); });
    int total = 0;  // rows added during the run are not converted by it
    trap.run(kCountFiles, [&] { total = m_window.fileCount(); });
    const YieldCallback yield = [this] { m_window.yield(); };
    OutputFlush flush;
    for (int i = 1; i <= total && !m_window.closing(); ++i) {
        trap.run(kSetProgressValue, [&] {
            const long long countNow = m_window.fileCount();
            m_window.setProgressValue(countNow > 0 ? static_cast<int>(i * 100LL / countNow) : 0);
        });
        QString source;
        trap.run(kSetProgressText, [&] {
            source = m_window.fileAt(i);
            m_window.setProgressText(kProgressPrefix +
                                     QString::fromStdString(GetFileNamePart(source.toStdString())));
        });
        trap.run(kYieldBeforeFile, [&] { m_window.yield(); });
        if (m_window.closing()) {
            break;
        }
        trap.run(kTakeSource, [&] { source = m_window.fileAt(i); });
        QString output;
        trap.run(kBuildOutputPath, [&] { output = outputPathFor(source); });
        trap.run(kConvertFile, [&] {
            if (output.isEmpty()) {
                throw std::runtime_error("No output option is selected");
            }
            const std::string sourcePath = source.toStdString();
            const std::string outputPath = output.toStdString();
            refuseResultOverSource(sourcePath, outputPath);
            m_converter(sourcePath, outputPath, yield);
            flush.note(outputPath);
        });
    }
    // The results reach the disk before the run says it is done.
    trap.run(kFlushResults, [&] { flush.flush(); });
}

}  // namespace tabrivo
