#pragma once
// The main window: its controls, laid out as designed, and thin handlers that
// call into the file list, the conversion run and the output location.

#include <QCursor>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPoint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <filelist/file_list.h>
#include <run/conversion_run.h>
#include <run/output_location.h>
#include <shell/dialogs.h>
#include <shell/settings_store.h>
#include <shell/shell_helpers.h>

class QGroupBox;
class QIcon;
class QMimeData;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace tabrivo {

class ErrorBox;
class FocusRing;

inline constexpr char kFormLoadLocation[] = "Velquist2021/08/31.Form1.Form_Load";
inline constexpr char kClearListLocation[] = "Velquist2021/08/31.Form1.PushButton7_Click";
inline const QString kFileListToolTip = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");

// What the window is given from outside: every dialog, the settings store,
// the address opener and the random source, so that tests can fake them.
struct Form1Services {
    Dialogs* dialogs = nullptr;
    SettingsStore* settings = nullptr;
    UrlOpener* urlOpener = nullptr;
    RandomSource random;
    FileConverter converter;                 // empty: the engine's conversion
    QString programFolder;                   // empty: the folder of the running executable
    std::function<QPoint()> cursorPosition;  // empty: the real pointer, in screen pixels
};

// NOLINTNEXTLINE(readability-identifier-naming): the window's established name
class Form1 : public QMainWindow, private RunWindow, private OutputLocationView {
    Q_OBJECT

public:
    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // The load sequence; the window is shown afterwards in any case.
    // NOLINTNEXTLINE(readability-identifier-naming)
    void Form_Load();
    // The program's start: the load sequence, the window shown, then (once
    // events run) the files and folders named on the command line added.
    void start(const QStringList& paths);

    // The window's pointer value (0 default, 11 hourglass, 99 custom).
    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int pointer) override;

    FileList& fileList() { return m_fileList; }
    ConversionRun& conversionRun() { return *m_run; }

    // Controls, by their designer names.
    QTreeWidget* ListView1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLineEdit* Text2 = nullptr;

    // Handlers, by their established names.
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton4_Click();
    void PushButton3_Click();
    void PushButton5_Click();
    void PushButton7_Click();
    void Option1_Click();
    void Option2_Click();
    void Text2_Change();
    void ListView1_KeyDown(int keyCode);
    void ListView1_DblClick();
    // Reordering rows by dragging them up and down the list.
    void ListView1_ItemClick();
    void ListView1_MouseDown();
    void ListView1_MouseMove(const QPoint& position);
    void ListView1_MouseUp();
    // Hover feedback: the hand over the command buttons, the arrow over the
    // background, the frames and the options; never over the hourglass.
    void hoverOverButton();
    void hoverOverSurface();

    // Whether data dragged over the list may be dropped (local files only).
    bool ListView1_OLEDragOver(const QMimeData* dragged) const;
    void ListView1_OLEDragDrop(const QMimeData* dropped);
    // "Open With": files and folders named when the program started, added
    // as a drop adds them (folders searched).
    void openPaths(const QStringList& paths);

    QString programFolder() const;
    // The application icon from the PNG sizes shipped in programFolder/icons.
    static QIcon applicationIcon(const QString& folder);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    // Places every control by the layout table, given the room the window
    // has beyond its designed size.
    void placeControls(QSize extra);
    void setTabOrder();
    // Runs a handler without a trap of its own: a failure is shown as a plain
    // warning and the program goes on.
    template <typename Handler>
    void untrapped(Handler&& handler);
    // NOLINTNEXTLINE(readability-identifier-naming)
    void Form_Unload();
    // Lets input and painting through during a folder scan, a few times a
    // second rather than for every folder.
    void scanYield();
    // Adds paths as a drop does; a failure ends it with one message.
    void addAsDropped(const std::vector<std::string>& paths);
    bool listEvent(QEvent* event);

    // RunWindow
    int fileCount() const override;
    QString fileAt(int row) const override;
    bool option1Selected() const override;
    bool option2Selected() const override;
    QString outputFolderText() const override;
    void setProgressValue(int value) override;
    void setProgressText(const QString& text) override;
    void yield() override;
    // While busy the bar does not paint itself on every change (that would
    // cost more than converting a small file); it is painted here, at most a
    // few times a second, from the yields of the run and the engine.
    void paintProgressWhenDue();
    void setAccessibleTexts();
    bool closing() const override { return m_closing; }

    // OutputLocationView
    bool option1() const override;
    bool option2() const override;
    void setOption1(bool selected) override;
    void setOption2(bool selected) override;
    QString text2() const override;
    void setText2(const QString& text) override;
    void setFrame1Enabled(bool enabled) override;

    Form1Services m_services;
    std::unique_ptr<ErrorBox> m_errorBox;
    FileList m_fileList;
    std::unique_ptr<ConversionRun> m_run;
    std::unique_ptr<OutputLocation> m_outputLocation;
    FocusRing* m_focusRing = nullptr;  // owned by the window's controls
    int m_mousePointer = 0;
    QElapsedTimer m_progressPainted;  // since the bar was last painted while busy
    QElapsedTimer m_scanYielded;
    std::optional<QCursor> m_customCursor;  // "HAND-M.CUR", when it ships
    QList<QObject*> m_hoverButtons;
    QList<QObject*> m_hoverSurfaces;
    bool m_buttonDown = false;
    int m_draggedRow = 0;  // 1-based; 0 when none
    bool m_closing = false;
};

}  // namespace tabrivo
