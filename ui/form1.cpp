#include <ui/form1.h>

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>

#include <engine/product.h>
#include <filelist/add_files.h>
#include <filelist/add_folder.h>
#include <filelist/drop.h>
#include <filelist/samples.h>
#include <shell/appearance.h>
#include <shell/error_box.h>
#include <shell/focus_ring.h>
#include <shell/mouse_pointer.h>

namespace tabrivo {
namespace {

// The designed client area, in pixels (8040 x 6690 twips at 15 twips a pixel).
constexpr QSize kDesignSize(536, 446);
constexpr int kDeleteKey = 46;  // the Delete key's code, as the handler tests it
// Hot spots of the shipped cursors: the hand's fingertip, the drag picture's centre.
constexpr int kHandHotX = 10;
constexpr int kHandHotY = 1;
constexpr int kDragHotX = 16;
constexpr int kDragHotY = 16;
// Screen rows (pixels from the top) above and below which a drag scrolls the list.
constexpr int kUpperScrollZone = 305;
constexpr int kLowerScrollZone = 365;
// While busy the bar is painted at most this often (milliseconds): often
// enough to be seen moving, rarely enough to cost nothing next to a run.
constexpr qint64 kProgressPaintInterval = 100;

QRect twips(int left, int top, int width, int height) {
    auto px = [](int value) { return (value + 7) / 15; };
    return {px(left), px(top), px(width), px(height)};
}

// How a control takes its share of the room the window has beyond its
// designed size, across or down.
enum class Share {
    None,        // keeps its place and size
    Whole,       // grows by all of it
    FirstHalf,   // grows by the first half
    SecondHalf,  // moves by the first half and grows by the second
    Shift,       // moves by all of it
};

struct Placement {
    const char* control;  // its designer name
    QRect designed;       // in pixels, relative to its container
    Share across;
    Share down;
};

// The window's controls as designed (twips), and how each follows a resize:
// the list takes the extra room, the controls below move down and stretch.
const Placement kPlacements[] = {
    {"ListView1", twips(120, 120, 7800, 2535), Share::Whole, Share::Whole},
    {"PushButton1", twips(120, 2750, 3840, 405), Share::FirstHalf, Share::Shift},
    {"PushButton5", twips(4080, 2750, 3840, 405), Share::SecondHalf, Share::Shift},
    {"PushButton7", twips(120, 3260, 3840, 405), Share::FirstHalf, Share::Shift},
    {"PushButton3", twips(4080, 3260, 3840, 405), Share::SecondHalf, Share::Shift},
    {"Frame3", twips(120, 3720, 7800, 1815), Share::Whole, Share::Shift},
    {"Option1", twips(240, 300, 2655, 285), Share::None, Share::None},
    {"Frame1", twips(480, 510, 6840, 810), Share::Whole, Share::None},
    {"Text2", twips(240, 300, 5670, 345), Share::Whole, Share::None},
    {"PushButton4", twips(6000, 300, 600, 345), Share::Shift, Share::None},
    {"Option2", twips(240, 1410, 4935, 285), Share::None, Share::None},
    {"PushButton2", twips(120, 5650, 7800, 405), Share::Whole, Share::Shift},
    {"ProgressBar1", twips(120, 6170, 7800, 405), Share::Whole, Share::Shift},
};

// The move and the growth a share of `extra` pixels gives.
std::pair<int, int> moveAndGrowth(Share share, int extra) {
    switch (share) {
        case Share::Whole:
            return {0, extra};
        case Share::FirstHalf:
            return {0, extra / 2};
        case Share::SecondHalf:
            return {extra / 2, extra - extra / 2};
        case Share::Shift:
            return {extra, 0};
        case Share::None:
            break;
    }
    return {0, 0};
}

}  // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)), m_fileList(nullptr) {
    m_errorBox = std::make_unique<ErrorBox>(*m_services.dialogs);
    createControls();
    m_fileList = FileList(ListView1);
    FileConverter converter =
        m_services.converter ? m_services.converter : engineConverter(*m_errorBox);
    RunWindow& runWindow = *this;
    OutputLocationView& locationView = *this;
    m_run = std::make_unique<ConversionRun>(runWindow, *m_services.dialogs, *m_errorBox,
                                            std::move(converter));
    m_outputLocation = std::make_unique<OutputLocation>(locationView, *m_services.settings,
                                                        *m_services.dialogs, *m_errorBox);
    setMinimumSize(kDesignSize);
    resize(kDesignSize);
}

Form1::~Form1() {
    // The children outlive this object's own part while the base class tears
    // them down: nothing they send may reach it then.
    delete m_focusRing;  // it follows the focus, which moves as the controls go
    disconnect(ListView1->model(), nullptr, this, nullptr);
    ListView1->removeEventFilter(this);
    ListView1->viewport()->removeEventFilter(this);
    for (QObject* object : m_hoverButtons + m_hoverSurfaces) {
        object->removeEventFilter(this);
    }
}

void Form1::createControls() {
    setObjectName(QStringLiteral("Form1"));
    auto* client = new QWidget(this);
    setCentralWidget(client);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(9);
    client->setFont(arial);

    ListView1 = new QTreeWidget(client);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);  // keeps a list of 100,000 rows quick to scroll
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionResizeMode(QHeaderView::Interactive);
    ListView1->setToolTip(kFileListToolTip);
    QFont rowFont(QStringLiteral("Arial"), 9);
    rowFont.setBold(true);
    ListView1->setFont(rowFont);
    ListView1->header()->setFont(arial);
    // The list takes drops from other programs but never drags its own rows.
    ListView1->setDragEnabled(false);
    ListView1->setDragDropMode(QAbstractItemView::NoDragDrop);
    ListView1->setAcceptDrops(true);
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
    ListView1->setItemDelegate(new CutPathToolTips(ListView1));

    auto button = [client](QWidget* parent, const char* text) {
        auto* pushButton = new QPushButton(QString::fromUtf8(text), parent ? parent : client);
        pushButton->setAutoDefault(false);
        return pushButton;
    };
    PushButton1 = button(nullptr, "Add HTML File(s)");
    PushButton5 = button(nullptr, "Add All HTML File(s) In Folder");
    PushButton7 = button(nullptr, "Clear List");
    PushButton3 = button(nullptr, "Load Sample/Example Files");

    Frame3 = new QGroupBox(QStringLiteral("Save Option"), client);
    Option1 = new QRadioButton(QStringLiteral("Save results to this folder:"), Frame3);
    Frame1 = new QGroupBox(Frame3);
    Text2 = new QLineEdit(Frame1);
    PushButton4 = button(Frame1, "...");
    Option2 = new QRadioButton(QStringLiteral("Save results in folder of original file"), Frame3);
    // The two options exclude each other (and are announced as radio
    // buttons); the window's rules may still leave both clear.
    Option1->setAutoExclusive(true);
    Option2->setAutoExclusive(true);

    PushButton2 = button(nullptr, "Start Converting");
    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setFormat(kProgressIdleText);

    // Object names are the designer names, so style sheets and tests can find them.
    const std::pair<QWidget*, const char*> named[] = {{ListView1, "ListView1"},
                                                      {PushButton1, "PushButton1"},
                                                      {PushButton2, "PushButton2"},
                                                      {PushButton3, "PushButton3"},
                                                      {PushButton4, "PushButton4"},
                                                      {PushButton5, "PushButton5"},
                                                      {PushButton7, "PushButton7"},
                                                      {ProgressBar1, "ProgressBar1"},
                                                      {Frame3, "Frame3"},
                                                      {Frame1, "Frame1"},
                                                      {Option1, "Option1"},
                                                      {Option2, "Option2"},
                                                      {Text2, "Text2"}};
    for (const auto& [widget, name] : named) {
        widget->setObjectName(QString::fromLatin1(name));
    }
    placeControls(QSize(0, 0));
    setAccessibleTexts();

    // Hover feedback needs the moves without a pressed button too.
    m_hoverButtons = {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton7};
    m_hoverSurfaces = {client, Frame3, Frame1, Option1, Option2};
    for (QObject* object : m_hoverButtons + m_hoverSurfaces) {
        auto* widget = static_cast<QWidget*>(object);
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
    // A button leaves a move without a pressed button unused, and Qt would hand
    // it on to the surface below, which would take the hand away again.
    for (QObject* object : m_hoverButtons) {
        static_cast<QWidget*>(object)->setAttribute(Qt::WA_NoMousePropagation);
    }
    ListView1->viewport()->setMouseTracking(true);
    m_focusRing = new FocusRing(this);
    // A row that is removed cannot be dragged on.
    connect(ListView1->model(), &QAbstractItemModel::rowsRemoved, this,
            [this] { m_draggedRow = 0; });
    connect(ListView1->model(), &QAbstractItemModel::modelReset, this,
            [this] { m_draggedRow = 0; });

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(Option1, &QRadioButton::clicked, this, &Form1::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &Form1::Option2_Click);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    setTabOrder();
}

void Form1::setAccessibleTexts() {
    // A control is named by its caption; those without a caption (or with
    // "...") by what they are for, and the list by its tooltip's advice.
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             PushButton1, PushButton2, PushButton3, PushButton5, PushButton7, Option1, Option2}) {
        button->setAccessibleName(button->text());
    }
    PushButton4->setAccessibleName(QStringLiteral("Choose the output folder"));
    PushButton4->setToolTip(PushButton4->accessibleName());
    ListView1->setAccessibleName(QStringLiteral("Files to convert"));
    ListView1->setAccessibleDescription(ListView1->toolTip());
    Frame3->setAccessibleName(Frame3->title());
    Frame1->setAccessibleName(QStringLiteral("Output folder"));
    Text2->setAccessibleName(QStringLiteral("Output folder"));
    Text2->setAccessibleDescription(
        QStringLiteral("Results are saved here when \"%1\" is selected").arg(Option1->text()));
    ProgressBar1->setAccessibleName(QStringLiteral("Conversion progress"));
    ProgressBar1->setAccessibleDescription(ProgressBar1->format());
}

void Form1::setTabOrder() {
    const QWidget* const order[] = {ListView1,   PushButton1, PushButton5, PushButton7,
                                    PushButton2, PushButton3, Option2,     Option1,
                                    Text2,       PushButton4};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }
}

void Form1::Form_Load() {
    StepTrap trap(kFormLoadLocation, *m_errorBox);
    trap.run(form_load_step::kApplySkin, [&] { ApplySkin(this, programFolder()); });
    const QString productName = QString::fromUtf8(kProductName.data());
    trap.run(form_load_step::kSetTitleAndIcon, [&] {
        setWindowTitle(productName);
        setWindowIcon(applicationIcon(programFolder()));
        SetApplicationTitle(productName);
    });
    const QString handCursor = programFolder() + QDir::separator() + QStringLiteral("HAND-M.CUR");
    if (trap.test(form_load_step::kTestHandCursor, [&] { return FileExists(handCursor); })) {
        trap.run(form_load_step::kLoadHandCursor,
                 [&] { m_customCursor = loadCursor(handCursor, kHandHotX, kHandHotY); });
    }
    trap.run(form_load_step::kVisitHomePage, [&] {
        if (m_services.random && m_services.urlOpener != nullptr) {
            VisitHomePageByChance(m_services.random, *m_services.urlOpener);
        }
    });
    // The samples are recorded while nothing is; a failed first try is tried again.
    for (const int line : {form_load_step::kRecordSamples, form_load_step::kRecordSamplesAgain}) {
        trap.run(line, [&] {
            if (m_services.settings->ReadSetting(SettingKey::Snapshot, QString()).isEmpty()) {
                BuildSampleList(*m_services.settings, programFolder());
            }
        });
    }
    m_outputLocation->restore(trap);
    trap.run(form_load_step::kCreateListColumn, [&] { m_fileList.createColumn(); });
}

void Form1::start(const QStringList& paths) {
    Form_Load();
    show();
    if (!paths.isEmpty()) {
        // Once the window shows, so that a large folder is searched in view.
        QTimer::singleShot(0, this, [this, paths] { openPaths(paths); });
    }
}

QIcon Form1::applicationIcon(const QString& folder) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = folder + QStringLiteral("/icons/tabrivo-%1.png").arg(size);
        if (QFileInfo::exists(file)) {
            icon.addFile(file, QSize(size, size));
        }
    }
    return icon;
}

template <typename Handler>
void Form1::untrapped(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        m_services.dialogs->message(QString::fromStdString(describeCurrentException()),
                                    applicationTitle(), Dialogs::Icon::Warning);
    }
}

void Form1::PushButton1_Click() {
    const int firstAdded = m_fileList.count() + 1;
    tabrivo::PushButton1_Click(*m_services.dialogs, m_fileList, *m_errorBox);
    m_fileList.revealAddedRows(firstAdded);
}

void Form1::PushButton2_Click() {
    m_run->PushButton2_Click();
}

void Form1::PushButton4_Click() {
    m_outputLocation->chooseFolder();
}

QString Form1::programFolder() const {
    return m_services.programFolder.isEmpty()
               ? QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
               : m_services.programFolder;
}

void Form1::PushButton3_Click() {
    const int firstAdded = m_fileList.count() + 1;
    StepTrap trap(kLoadSamplesLocation, *m_errorBox);
    trap.run(100, [&] {
        LoadSampleFiles(m_fileList, *m_services.settings, *m_services.dialogs,
                        *m_services.urlOpener, programFolder());
    });
    m_fileList.revealAddedRows(firstAdded);
}

void Form1::PushButton5_Click() {
    AddFolderContext context{*m_services.dialogs,
                             *m_services.settings,
                             m_fileList,
                             *m_errorBox,
                             [this](int pointer) { setMousePointer(pointer); },
                             [this] { scanYield(); }};
    const int firstAdded = m_fileList.count() + 1;
    tabrivo::PushButton5_Click(context);
    m_fileList.revealAddedRows(firstAdded);
}

bool Form1::ListView1_OLEDragOver(const QMimeData* dragged) const {
    return carriesLocalFiles(dragged);
}

void Form1::ListView1_OLEDragDrop(const QMimeData* dropped) {
    addAsDropped(droppedLocalPaths(dropped));
}

void Form1::openPaths(const QStringList& paths) {
    std::vector<std::string> dropped;
    dropped.reserve(paths.size());
    for (const QString& path : paths) {
        dropped.push_back(path.toStdString());
    }
    addAsDropped(dropped);
}

void Form1::addAsDropped(const std::vector<std::string>& paths) {
    const int firstAdded = m_fileList.count() + 1;
    // A failure ends the drop with one message; rows already added stay.
    untrapped([&] {
        addDroppedPaths(
            paths,
            [this](const std::string& path) { m_fileList.append(QString::fromStdString(path)); },
            *m_errorBox, applicationTitle().toStdString(), [this] { scanYield(); });
    });
    m_fileList.revealAddedRows(firstAdded);
}

void Form1::scanYield() {
    constexpr qint64 kScanYieldInterval = 15;  // milliseconds
    if (!m_scanYielded.isValid() || m_scanYielded.elapsed() >= kScanYieldInterval) {
        paintProgressWhenDue();
        QCoreApplication::processEvents();
        m_scanYielded.restart();
    }
}

void Form1::hoverOverButton() {
    if (m_mousePointer != MousePointer::Hourglass) {
        setMousePointer(MousePointer::Custom);
    }
}

void Form1::hoverOverSurface() {
    if (m_mousePointer != MousePointer::Hourglass) {
        setMousePointer(MousePointer::Default);
    }
}

void Form1::ListView1_ItemClick() {
    const std::optional<QCursor> drag = loadCursor(
        programFolder() + QDir::separator() + QStringLiteral("drag.ico"), kDragHotX, kDragHotY);
    ListView1->viewport()->setCursor(drag.value_or(QCursor(Qt::SizeVerCursor)));
    m_draggedRow = m_fileList.selectedRow();
}

void Form1::ListView1_MouseDown() {
    m_buttonDown = true;
}

void Form1::ListView1_MouseMove(const QPoint& position) {
    hoverOverSurface();
    if (!m_buttonDown) {
        return;
    }
    const QTreeWidgetItem* item = ListView1->itemAt(position);
    const int hovered = item != nullptr
                            ? ListView1->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) + 1
                            : 0;
    if (hovered == 0 || m_draggedRow == 0 || !m_fileList.exchangeRows(m_draggedRow, hovered)) {
        return;
    }
    m_draggedRow = hovered;
    // Near the top or bottom of the screen the list follows the pointer.
    const int screenY =
        (m_services.cursorPosition ? m_services.cursorPosition() : QCursor::pos()).y();
    if (screenY < kUpperScrollZone && hovered >= 2) {
        ListView1->scrollToItem(ListView1->topLevelItem(hovered - 2));
    } else if (screenY >= kLowerScrollZone && hovered < m_fileList.count()) {
        ListView1->scrollToItem(ListView1->topLevelItem(hovered));
    }
}

void Form1::ListView1_MouseUp() {
    m_buttonDown = false;
    ListView1->viewport()->setCursor(Qt::ArrowCursor);
}

void Form1::PushButton7_Click() {
    StepTrap trap(kClearListLocation, *m_errorBox);
    trap.run(100, [&] { m_fileList.clear(m_mousePointer == MousePointer::Hourglass); });
}

void Form1::Option1_Click() {
    setOption1(true);
    untrapped([&] { m_outputLocation->optionClicked(); });
}

void Form1::Option2_Click() {
    setOption2(true);
    untrapped([&] { m_outputLocation->optionClicked(); });
}

void Form1::Text2_Change() {
    untrapped([&] { m_outputLocation->textChanged(); });
}

void Form1::ListView1_KeyDown(int keyCode) {
    if (keyCode == kDeleteKey) {
        m_fileList.removeSelected(m_mousePointer == MousePointer::Hourglass);
    }
}

void Form1::ListView1_DblClick() {
    m_fileList.removeSelected(m_mousePointer == MousePointer::Hourglass);
}

void Form1::Form_Unload() {
    // No further file is started; nothing needs saving (settings are written as they change).
    m_closing = true;
    QCoreApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == ListView1 || watched == ListView1->viewport()) && listEvent(event)) {
        return true;
    }
    if (watched == ListView1->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonDblClick:
                ListView1_DblClick();
                return true;
            case QEvent::MouseButtonPress: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                ListView1_MouseDown();
                if (QTreeWidgetItem* item = ListView1->itemAt(mouse->position().toPoint())) {
                    ListView1->setCurrentItem(item);
                    ListView1_ItemClick();
                }
                return false;
            }
            case QEvent::MouseMove: {
                ListView1_MouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
                return m_buttonDown;  // the list's own drag selection stays out of it
            }
            case QEvent::MouseButtonRelease:
                ListView1_MouseUp();
                return false;
            default:
                break;
        }
    } else if (event->type() == QEvent::KeyPress && m_hoverButtons.contains(watched)) {
        // Enter presses the focused button, as Space does.
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
            static_cast<QAbstractButton*>(watched)->click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseMove) {
        if (m_hoverButtons.contains(watched)) {
            hoverOverButton();
        } else if (m_hoverSurfaces.contains(watched)) {
            hoverOverSurface();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool Form1::listEvent(QEvent* event) {
    switch (event->type()) {
        // Drags over the rows reach the viewport; drags over the header band,
        // the scroll bars and the frame reach the list itself: all are taken.
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            takeAsCopy(drag, ListView1_OLEDragOver(drag->mimeData()));
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (takeAsCopy(drop, ListView1_OLEDragOver(drop->mimeData()))) {
                ListView1_OLEDragDrop(drop->mimeData());
            }
            return true;
        }
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
                ListView1_KeyDown(kDeleteKey);
                return true;
            }
            return false;
        case QEvent::FocusIn: {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                reason == Qt::ShortcutFocusReason) {
                m_fileList.markRowOnEntry();
            }
            return false;
        }
        default:
            return false;
    }
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (ListView1 == nullptr || centralWidget() == nullptr) {
        return;
    }
    const QSize extra = centralWidget()->size() - kDesignSize;
    placeControls(QSize(std::max(0, extra.width()), std::max(0, extra.height())));
}

void Form1::placeControls(QSize extra) {
    for (const Placement& placement : kPlacements) {
        const auto [dx, grow] = moveAndGrowth(placement.across, extra.width());
        const auto [dy, growDown] = moveAndGrowth(placement.down, extra.height());
        auto* control = findChild<QWidget*>(QLatin1String(placement.control));
        control->setGeometry(placement.designed.translated(dx, dy).adjusted(0, 0, grow, growDown));
    }
}

void Form1::setMousePointer(int pointer) {
    m_mousePointer = pointer;
    // While busy, the progress bar's values change for every file; painting
    // each of them would cost more than converting a small file.
    ProgressBar1->setUpdatesEnabled(pointer != MousePointer::Hourglass);
    m_progressPainted.invalidate();
    switch (pointer) {
        case MousePointer::Hourglass:
            setCursor(Qt::WaitCursor);
            break;
        case MousePointer::Custom:
            setCursor(m_customCursor.value_or(QCursor(Qt::PointingHandCursor)));
            break;
        default:
            unsetCursor();
            break;
    }
}

int Form1::fileCount() const {
    return m_fileList.count();
}
QString Form1::fileAt(int row) const {
    return m_fileList.rowText(row);
}
bool Form1::option1Selected() const {
    return Option1->isChecked();
}
bool Form1::option2Selected() const {
    return Option2->isChecked();
}
QString Form1::outputFolderText() const {
    return Text2->text();
}

void Form1::setProgressValue(int value) {
    ProgressBar1->setValue(value);
}
void Form1::setProgressText(const QString& text) {
    ProgressBar1->setFormat(text);
    ProgressBar1->setAccessibleDescription(text);
}
void Form1::yield() {
    paintProgressWhenDue();
    QCoreApplication::processEvents();
}

void Form1::paintProgressWhenDue() {
    if (ProgressBar1->updatesEnabled() ||
        (m_progressPainted.isValid() && m_progressPainted.elapsed() < kProgressPaintInterval)) {
        return;
    }
    ProgressBar1->setUpdatesEnabled(true);
    ProgressBar1->repaint();
    ProgressBar1->setUpdatesEnabled(false);
    m_progressPainted.restart();
}

bool Form1::option1() const {
    return Option1->isChecked();
}
bool Form1::option2() const {
    return Option2->isChecked();
}

namespace {

// Checks or clears one of two exclusive options; clearing the checked one
// leaves both clear, which the buttons themselves would refuse.
void setExclusiveOption(QRadioButton* option, bool selected) {
    if (selected) {
        option->setChecked(true);
        return;
    }
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

}  // namespace

void Form1::setOption1(bool selected) {
    setExclusiveOption(Option1, selected);
}

void Form1::setOption2(bool selected) {
    setExclusiveOption(Option2, selected);
}

QString Form1::text2() const {
    return Text2->text();
}

void Form1::setText2(const QString& text) {
    // Set by the program, the change is stored at once and a failure to store
    // it belongs to the step that set the text.
    {
        const QSignalBlocker quiet(Text2);
        Text2->setText(text);
    }
    m_outputLocation->textChanged();
}

void Form1::setFrame1Enabled(bool enabled) {
    Frame1->setEnabled(enabled);
}

}  // namespace tabrivo
