#include "error_box.h"

#include "product.h"

namespace tabrivo {

void ErrorBox::showFailure(const FailureReport& report) {
    m_dialogs.message(QString::fromStdString(report.message),
                      QString::fromStdString(report.caption), Dialogs::Icon::Warning);
}

QString applicationTitle() {
    return QString::fromUtf8(kProductName.data(), static_cast<int>(kProductName.size()));
}

}  // namespace tabrivo
