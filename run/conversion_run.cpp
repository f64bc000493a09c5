#include <run/conversion_run.h>

#include <engine/document_loader.h>
#include <engine/error_trap.h>
#include <engine/output_flush.h>
#include <files/output_path.h>
#include <files/path_helpers.h>
#include <shell/error_box.h>
#include <shell/mouse_pointer.h>

namespace tabrivo {

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
    trap.run(102, [&] { m_runInProgress = true; });
    const QString title = applicationTitle();
    if (trap.test(104, [&] { return m_window.fileCount() == 0; })) {
        trap.run(142, [&] { m_dialogs.message(kNoFilesMessage, title, Dialogs::Icon::None); });
    } else if (trap.test(106, [&] {
                   return !FolderExists(m_window.outputFolderText().toStdString()) &&
                          !m_window.option2Selected();
               })) {
        trap.run(140, [&] { m_dialogs.message(kNoFolderMessage, title, Dialogs::Icon::None); });
    } else {
        convertAll(trap);
        trap.run(132, [&] { m_window.setMousePointer(MousePointer::Default); });
        trap.run(134, [&] { m_window.setProgressValue(0); });
        trap.run(136, [&] { m_window.setProgressText(kProgressIdleText); });
        trap.run(138, [&] { m_dialogs.message(kDoneMessage, title, Dialogs::Icon::None); });
    }
    m_runInProgress = false;  // [144]
}

void ConversionRun::convertAll(StepTrap& trap) {
    trap.run(108, [&] { m_window.setMousePointer(MousePointer::Hourglass); });
    int total = 0;  // rows added during the run are not converted by it
    trap.run(110, [&] { total = m_window.fileCount(); });
    const YieldCallback yield = [this] { m_window.yield(); };
    OutputFlush flush;
    for (int i = 1; i <= total && !m_window.closing(); ++i) {
        trap.run(112, [&] {
            const long long countNow = m_window.fileCount();
            m_window.setProgressValue(countNow > 0 ? static_cast<int>(i * 100LL / countNow) : 0);
        });
        QString source;
        trap.run(114, [&] {
            source = m_window.fileAt(i);
            m_window.setProgressText(kProgressPrefix +
                                     QString::fromStdString(GetFileNamePart(source.toStdString())));
        });
        trap.run(116, [&] { m_window.yield(); });
        if (m_window.closing()) {
            break;
        }
        trap.run(118, [&] { source = m_window.fileAt(i); });
        QString output;
        trap.run(120, [&] { output = outputPathFor(source); });
        trap.run(128, [&] {
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
    trap.run(130, [&] { flush.flush(); });
}

}  // namespace tabrivo
