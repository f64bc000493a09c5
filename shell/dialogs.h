#pragma once
// Every message box, question, input box, file picker and folder picker the
// program shows goes through this interface, so that tests can script the
// answers and no test ever shows a real modal box.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QInputDialog;
class QMessageBox;
class QWidget;

namespace tabrivo {

class Dialogs {
public:
    enum class Icon { None, Warning };
    virtual ~Dialogs() = default;

    // A modal box with one OK button.
    virtual void message(const QString& text, const QString& caption, Icon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool question(const QString& text, const QString& caption) = 0;
    // An input box; nothing when cancelled.
    virtual std::optional<QString> input(const QString& prompt, const QString& caption,
                                         const QString& proposed) = 0;
    // Files picked in the open dialog (full paths, in the dialog's order);
    // empty when cancelled.
    virtual QStringList openFiles(const QString& title, const QString& filter) = 0;
    // A folder picked in the folder chooser, or empty when cancelled.
    virtual QString chooseFolder(const QString& prompt, const QString& startFolder) = 0;
};

// A box's text as it is shown and read out: the carriage returns the
// program's texts use as line breaks (alone or before a line feed) become
// line breaks.
QString displayText(const QString& text);

// The real dialogs, owned by a window.
class QtDialogs : public Dialogs {
public:
    // The boxes as they will be shown, built apart from showing them so that
    // their texts and sizes can be checked.
    std::unique_ptr<QMessageBox> messageBox(const QString& text, const QString& caption,
                                            Icon icon) const;
    std::unique_ptr<QInputDialog> inputBox(const QString& prompt, const QString& caption,
                                           const QString& proposed) const;

    explicit QtDialogs(QWidget* owner = nullptr) : m_owner(owner) {}
    // The window the boxes are modal to.
    void setOwner(QWidget* owner) { m_owner = owner; }
    void message(const QString& text, const QString& caption, Icon icon) override;
    bool question(const QString& text, const QString& caption) override;
    std::optional<QString> input(const QString& prompt, const QString& caption,
                                 const QString& proposed) override;
    QStringList openFiles(const QString& title, const QString& filter) override;
    QString chooseFolder(const QString& prompt, const QString& startFolder) override;

private:
    QWidget* m_owner;
};

}  // namespace tabrivo
