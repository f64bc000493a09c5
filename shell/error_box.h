#pragma once
// The error box: shows a trapped failure as a modal warning box.

#include <engine/error_trap.h>
#include <shell/dialogs.h>

namespace tabrivo {

class ErrorBox : public FailureReporter {
public:
    explicit ErrorBox(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void showFailure(const FailureReport& report) override;

private:
    Dialogs& m_dialogs;
};

// The title that captions every message box given no caption of its own.
QString applicationTitle();

}  // namespace tabrivo
