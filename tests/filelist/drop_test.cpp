// Files and folders dropped on the list: what may be dropped, which rows a
// dropped file or folder tree gives and in what order, and real drag and drop
// events reaching the handlers, anywhere on the list and always as a copy.

#include <xcb/xcb.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <QtTest>
#include <memory>

#include <filelist/drop.h>
#include <shell/x11_drops.h>
#include "form_harness.h"
#include "test_support.h"
#include "user_folders.h"

using tabrivo::test::FormHarness;
using tabrivo::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<QMimeData> localFiles(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    data->setUrls(urls);
    return data;
}

// What a drag source is told, step by step, when a drag is delivered to the
// window as the platform delivers it: the window finds the widget under the
// point, as for a drag from another program.
struct DragAnswers {
    Qt::DropAction proposed = Qt::IgnoreAction;  // what the source proposes
    bool entered = false;
    bool moved = false;
    bool dropped = false;
    Qt::DropAction dropAction = Qt::IgnoreAction;  // what the source is told
};

DragAnswers dragOnto(QWidget* window, QPoint inWindow, const QMimeData* data,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    constexpr Qt::DropActions kOffered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QWindow* handle = window->windowHandle();
    DragAnswers answers;
    QDragEnterEvent enter(inWindow, kOffered, data, Qt::LeftButton, modifiers);
    answers.proposed = enter.proposedAction();
    QCoreApplication::sendEvent(handle, &enter);
    answers.entered = enter.isAccepted();
    QDragMoveEvent move(inWindow, kOffered, data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(handle, &move);
    answers.moved = move.isAccepted();
    QDropEvent drop(QPointF(inWindow), kOffered, data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(handle, &drop);
    answers.dropped = drop.isAccepted();
    answers.dropAction = drop.dropAction();
    return answers;
}

std::unique_ptr<QMimeData> textOnly() {
    auto data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral("/tmp/a.html"));
    return data;
}

// Two trees side by side:
//   A/a.html A/notes.txt A/~lock.html A/.hidden A/B/b.pdf A/B/D/d.html A/C/c
//   A/.dot/x.html   Z/z.htm
class Trees {
public:
    Trees() {
        fs::create_directories(top() / "A" / "B" / "D");
        fs::create_directories(top() / "A" / "C");
        fs::create_directories(top() / "A" / ".dot");
        fs::create_directories(top() / "Z");
        for (const char* name :
             {"A/a.html", "A/notes.txt", "A/~lock.html", "A/.hidden", "A/B/b.pdf", "A/B/D/d.html",
              "A/C/c", "A/.dot/x.html", "Z/z.htm"}) {
            tabrivo::test::writeFileBytes(top() / name, "x");
        }
    }
    fs::path top() const { return m_dir.path(); }
    QString path(const char* relative) const {
        return QString::fromStdString((top() / relative).string());
    }
    QStringList paths(std::initializer_list<const char*> relatives) const {
        QStringList all;
        for (const char* relative : relatives) {
            all << path(relative);
        }
        return all;
    }
    // The rows dropping A gives, in order.
    QStringList treeOfA() const {
        return paths(
            {"A/a.html", "A/notes.txt", "A/.dot/x.html", "A/B/b.pdf", "A/C/c", "A/B/D/d.html"});
    }

private:
    TempDir m_dir;
};

}  // namespace

class DropTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tabrivo::test::useHomeFolder(QString::fromStdString(m_home.path().string()));
    }

    void carriesLocalFiles_onlyForLocalFiles() {
        QVERIFY(!tabrivo::carriesLocalFiles(nullptr));
        QVERIFY(!tabrivo::carriesLocalFiles(textOnly().get()));
        auto web = std::make_unique<QMimeData>();
        web->setUrls({QUrl(QStringLiteral("http://example.com/a.html")),
                      QUrl(QStringLiteral("https://example.com/b.html"))});
        QVERIFY(!tabrivo::carriesLocalFiles(web.get()));
        QVERIFY(tabrivo::carriesLocalFiles(localFiles({QStringLiteral("/tmp/a.html")}).get()));
        auto mixed = std::make_unique<QMimeData>();
        mixed->setUrls({QUrl(QStringLiteral("http://example.com/a.html")),
                        QUrl::fromLocalFile(QStringLiteral("/tmp/b.html"))});
        QVERIFY(tabrivo::carriesLocalFiles(mixed.get()));
    }

    void droppedLocalPaths_keepOrder_dropWebAddresses_andTrailingSeparators() {
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/z.html")),
                       QUrl(QStringLiteral("http://example.com/a.html")),
                       QUrl::fromLocalFile(QStringLiteral("/tmp/folder/")),
                       QUrl::fromLocalFile(QStringLiteral("/tmp/Ünï 名前.htm"))});
        QCOMPARE(tabrivo::droppedLocalPaths(data.get()),
                 (std::vector<std::string>{"/tmp/z.html", "/tmp/folder", "/tmp/Ünï 名前.htm"}));
    }

    void dragOver_acceptsLocalFilesOnly() {
        FormHarness window;
        QVERIFY(window->ListView1_OLEDragOver(localFiles({QStringLiteral("/tmp/a.pdf")}).get()));
        QVERIFY(!window->ListView1_OLEDragOver(textOnly().get()));
    }

    void droppedFile_ofAnyExtension_isOneRowAsItIs() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window.addRows({QStringLiteral("/data/already.html")});
        window->ListView1_OLEDragDrop(
            localFiles(trees.paths({"A/B/b.pdf", "A/~lock.html", "A/.hidden"})).get());
        QCOMPARE(window.rows(), QStringList{QStringLiteral("/data/already.html")} +
                                    trees.paths({"A/B/b.pdf", "A/~lock.html", "A/.hidden"}));
        QVERIFY(window.dialogs.messages.empty());
    }

    void droppedFolder_givesEveryFileOfItsTree_butTildeAndDotFiles() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->ListView1_OLEDragDrop(localFiles({trees.path("A")}).get());
        QCOMPARE(window.rows(), trees.treeOfA());
        QVERIFY(window.dialogs.messages.empty());
    }

    void droppedFolderWithTrailingSeparator_givesSingleSeparators() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->ListView1_OLEDragDrop(localFiles({trees.path("A") + QStringLiteral("/")}).get());
        QCOMPARE(window.rows(), trees.treeOfA());
    }

    void droppedItems_comeInDropOrder() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->ListView1_OLEDragDrop(
            localFiles({trees.path("Z"), trees.path("A/B/b.pdf"), trees.path("A")}).get());
        QCOMPARE(window.rows(), trees.paths({"Z/z.htm", "A/B/b.pdf"}) + trees.treeOfA());
    }

    void folderAndItsOwnSubFolder_giveDuplicates() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->ListView1_OLEDragDrop(localFiles({trees.path("A"), trees.path("A/B")}).get());
        QCOMPARE(window.rows(), trees.treeOfA() + trees.paths({"A/B/b.pdf", "A/B/D/d.html"}));
    }

    void droppedHiddenFolder_isSearched_itsDotFilesSkippedAsInAnyTree() {
        const Trees trees;
        fs::create_directories(trees.top() / ".shown" / ".inner");
        for (const char* name : {".shown/a.html", ".shown/.dotfile", ".shown/.inner/b.htm"}) {
            tabrivo::test::writeFileBytes(trees.top() / name, "x");
        }
        FormHarness window;
        window->Form_Load();
        window->ListView1_OLEDragDrop(localFiles({trees.path(".shown")}).get());
        QCOMPARE(window.rows(), trees.paths({".shown/a.html", ".shown/.inner/b.htm"}));
    }

    void droppedLinkToFolder_searchesItsTargetOnce_andALoopOfLinksEnds() {
        const Trees trees;
        fs::create_directory_symlink(trees.top() / "A", trees.top() / "linkToA");
        fs::create_directory_symlink(trees.top() / "A", trees.top() / "A" / "C" / "backToA");
        fs::create_symlink(trees.top() / "loop2", trees.top() / "loop1");
        fs::create_symlink(trees.top() / "loop1", trees.top() / "loop2");
        FormHarness window;
        window->Form_Load();
        window->ListView1_OLEDragDrop(
            localFiles({trees.path("linkToA"), trees.path("loop1")}).get());
        QCOMPARE(window.rows(),
                 trees.paths({"linkToA/a.html", "linkToA/notes.txt", "linkToA/.dot/x.html",
                              "linkToA/B/b.pdf", "linkToA/C/c", "linkToA/B/D/d.html", "loop1"}));
        QVERIFY(window.dialogs.messages.empty());
    }

    void vanishedPath_isStillOneRow_andNothingIsShown() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->ListView1_OLEDragDrop(
            localFiles({trees.path("gone"), trees.path("gone.html"), trees.path("Z")}).get());
        QCOMPARE(window.rows(), trees.paths({"gone", "gone.html", "Z/z.htm"}));
        QVERIFY(window.dialogs.messages.empty());
        // The window goes on working.
        window->ListView1_OLEDragDrop(localFiles({trees.path("Z")}).get());
        QCOMPARE(window->fileList().count(), 4);
    }

    void realDragAndDrop_reachTheHandlers() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        QWidget* viewport = window->ListView1->viewport();
        const QPoint centre = viewport->rect().center();

        const auto text = textOnly();
        QDragEnterEvent enterWithText(centre, Qt::CopyAction, text.get(), Qt::LeftButton,
                                      Qt::NoModifier);
        QApplication::sendEvent(viewport, &enterWithText);
        QVERIFY(!enterWithText.isAccepted());

        const auto files = localFiles({trees.path("Z"), trees.path("A/B/b.pdf")});
        QDragEnterEvent enterWithFiles(centre, Qt::CopyAction, files.get(), Qt::LeftButton,
                                       Qt::NoModifier);
        QApplication::sendEvent(viewport, &enterWithFiles);
        QVERIFY(enterWithFiles.isAccepted());
        QDragMoveEvent move(centre, Qt::CopyAction, files.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QVERIFY(move.isAccepted());

        QDropEvent drop(QPointF(centre), Qt::CopyAction, files.get(), Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(window.rows(), trees.paths({"Z/z.htm", "A/B/b.pdf"}));
    }

    // The header band, the strip right of its one section, and the rows.
    void dropAnywhereOnTheList_isTaken_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("header") << QStringLiteral("header");
        QTest::newRow("strip right of the header") << QStringLiteral("strip");
        QTest::newRow("rows") << QStringLiteral("rows");
    }
    void dropAnywhereOnTheList_isTaken() {
        QFETCH(QString, where);
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        const QHeaderView* header = window->ListView1->header();
        const QWidget* viewport = window->ListView1->viewport();
        const QPoint at = where == QStringLiteral("header")
                              ? header->mapTo(window.form.get(), QPoint(40, header->height() / 2))
                          : where == QStringLiteral("strip")
                              ? header->mapTo(window.form.get(),
                                              QPoint(header->width() - 10, header->height() / 2))
                              : viewport->mapTo(window.form.get(), viewport->rect().center());
        QVERIFY(header->sectionSize(0) < header->width() - 10);
        const auto files = localFiles({trees.path("Z")});
        const DragAnswers answers = dragOnto(window.form.get(), at, files.get());
        QVERIFY(answers.entered && answers.moved && answers.dropped);
        QCOMPARE(window.rows(), trees.paths({"Z/z.htm"}));
    }

    // A Shift-drag proposes a move; the list never moves files.
    void shiftDrag_isTakenAsACopy() {
        const Trees trees;
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        const QWidget* viewport = window->ListView1->viewport();
        const auto files = localFiles({trees.path("Z")});
        const DragAnswers answers =
            dragOnto(window.form.get(), viewport->mapTo(window.form.get(), QPoint(20, 20)),
                     files.get(), Qt::ShiftModifier);
        QCOMPARE(answers.proposed, Qt::MoveAction);
        QVERIFY(answers.dropped);
        QCOMPARE(answers.dropAction, Qt::CopyAction);
        QCOMPARE(window.rows(), trees.paths({"Z/z.htm"}));
    }

    void droppedFolder_scrollsItsFirstRowIntoView() {
        TempDir many;
        QStringList expected;
        for (int i = 0; i < 40; ++i) {
            const fs::path file =
                many.path() / QStringLiteral("f%1.html").arg(100 + i).toStdString();
            tabrivo::test::writeFileBytes(file, "x");
            expected << QString::fromStdString(file.string());
        }
        FormHarness window;
        window->Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        for (int i = 0; i < 30; ++i) {
            window.addRows({QStringLiteral("/data/earlier%1.html").arg(i)});
        }
        window->ListView1_OLEDragDrop(
            localFiles({QString::fromStdString(many.path().string())}).get());
        QCOMPARE(window.rows().mid(30), expected);
        const QTreeWidgetItem* top = window->ListView1->itemAt(QPoint(5, 5));
        QVERIFY(top != nullptr);
        QCOMPARE(top->text(0), expected.front());
    }

    // On X11 a Shift-drag from another program offers the move alone; the
    // position message is read as asking for a copy before Qt answers it.
    void x11PositionMessage_asksForACopy_data() {
        QTest::addColumn<QByteArray>("eventType");
        QTest::addColumn<int>("responseType");
        QTest::addColumn<quint32>("messageType");
        QTest::addColumn<quint32>("asked");
        QTest::addColumn<quint32>("handedOn");
        constexpr quint32 kPosition = 301;
        constexpr quint32 kCopy = 302;
        constexpr quint32 kMove = 303;
        constexpr quint32 kLink = 304;
        const QByteArray xcb("xcb_generic_event_t");
        QTest::newRow("move") << xcb << int(XCB_CLIENT_MESSAGE) << kPosition << kMove << kCopy;
        QTest::newRow("link") << xcb << int(XCB_CLIENT_MESSAGE) << kPosition << kLink << kCopy;
        QTest::newRow("sent by another client")
            << xcb << int(XCB_CLIENT_MESSAGE | 0x80) << kPosition << kMove << kCopy;
        QTest::newRow("copy") << xcb << int(XCB_CLIENT_MESSAGE) << kPosition << kCopy << kCopy;
        QTest::newRow("no action") << xcb << int(XCB_CLIENT_MESSAGE) << kPosition << 0U << 0U;
        QTest::newRow("another message")
            << xcb << int(XCB_CLIENT_MESSAGE) << 305U << kMove << kMove;
        QTest::newRow("not a client message")
            << xcb << int(XCB_KEY_PRESS) << kPosition << kMove << kMove;
        QTest::newRow("not from xcb") << QByteArray("windows_generic_MSG")
                                      << int(XCB_CLIENT_MESSAGE) << kPosition << kMove << kMove;
    }
    void x11PositionMessage_asksForACopy() {
        QFETCH(QByteArray, eventType);
        QFETCH(int, responseType);
        QFETCH(quint32, messageType);
        QFETCH(quint32, asked);
        QFETCH(quint32, handedOn);
        tabrivo::X11DropsAsCopy filter({301, 302});
        xcb_client_message_event_t message{};
        message.response_type = static_cast<uint8_t>(responseType);
        message.format = 32;
        message.type = messageType;
        message.data.data32[4] = asked;
        QVERIFY(!filter.nativeEventFilter(eventType, &message, nullptr));
        QCOMPARE(message.data.data32[4], handedOn);
    }

private:
    TempDir m_home;
};

QTEST_MAIN(DropTest)
#include "drop_test.moc"
