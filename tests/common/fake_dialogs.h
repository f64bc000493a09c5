#pragma once
// A recording, scripted stand-in for every box the window shows, and for the
// address opener. Nothing modal ever appears: each call is written down and
// answered from a queue the test fills beforehand (an empty queue answers as a
// cancelled box would).

#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <shell/dialogs.h>
#include <shell/shell_helpers.h>

namespace tabrivo::test {

class FakeDialogs : public Dialogs {
public:
    struct Message {
        QString text;
        QString caption;
        Icon icon = Icon::None;
    };
    struct Question {
        QString text;
        QString caption;
    };
    struct Input {
        QString prompt;
        QString caption;
        QString proposed;
    };
    struct OpenFiles {
        QString title;
        QString filter;
    };
    struct ChooseFolder {
        QString prompt;
        QString startFolder;
    };

    // What was shown, in order.
    std::vector<Message> messages;
    std::vector<Question> questions;
    std::vector<Input> inputs;
    std::vector<OpenFiles> openFilesCalls;
    std::vector<ChooseFolder> chooseFolderCalls;

    // The answers, taken from the front. Empty: No, cancel, cancel, cancel.
    std::deque<bool> questionAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<QStringList> openFilesAnswers;
    std::deque<QString> chooseFolderAnswers;

    // Runs while a message box "is up", after it has been recorded.
    std::function<void(const Message&)> onMessage;

    void message(const QString& text, const QString& caption, Icon icon) override {
        messages.push_back({text, caption, icon});
        if (onMessage) {
            const Message shown = messages.back();
            onMessage(shown);
        }
    }

    bool question(const QString& text, const QString& caption) override {
        questions.push_back({text, caption});
        return take(questionAnswers, false);
    }

    std::optional<QString> input(const QString& prompt, const QString& caption,
                                 const QString& proposed) override {
        inputs.push_back({prompt, caption, proposed});
        return take(inputAnswers, std::optional<QString>());
    }

    QStringList openFiles(const QString& title, const QString& filter) override {
        openFilesCalls.push_back({title, filter});
        return take(openFilesAnswers, QStringList());
    }

    QString chooseFolder(const QString& prompt, const QString& startFolder) override {
        chooseFolderCalls.push_back({prompt, startFolder});
        return take(chooseFolderAnswers, QString());
    }

    // The messages shown with the warning icon (the error boxes among them).
    std::vector<Message> warnings() const {
        std::vector<Message> found;
        for (const Message& shown : messages) {
            if (shown.icon == Icon::Warning) {
                found.push_back(shown);
            }
        }
        return found;
    }

    // How many messages had exactly this text.
    int countOf(const QString& text) const {
        int count = 0;
        for (const Message& shown : messages) {
            count += shown.text == text ? 1 : 0;
        }
        return count;
    }

private:
    template <typename T>
    static T take(std::deque<T>& answers, T whenEmpty) {
        if (answers.empty()) {
            return whenEmpty;
        }
        const T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class FakeUrlOpener : public UrlOpener {
public:
    std::vector<QUrl> opened;
    // Runs after the address has been recorded (a test may throw from it).
    std::function<void(const QUrl&)> onOpen;
    bool open(const QUrl& url) override {
        opened.push_back(url);
        if (onOpen) {
            onOpen(url);
        }
        return true;
    }
};

}  // namespace tabrivo::test
