#include <shell/error_box.h>

#include <QCoreApplication>
#include <QVariant>

#include <engine/product.h>

namespace tabrivo {

void ErrorBox::showFailure(const FailureReport& report) {
    m_dialogs.message(QString::fromStdString(report.message),
                      QString::fromStdString(report.caption), Dialogs::Icon::Warning);
}

QString applicationTitle() {
    // Set at start-up; before that (and in tests) the product name serves.
    const QCoreApplication* application = QCoreApplication::instance();
    const QVariant title =
        application != nullptr ? application->property("tabrivoTitle") : QVariant();
    return title.isValid()
               ? title.toString()
               : QString::fromUtf8(kProductName.data(), static_cast<int>(kProductName.size()));
}

}  // namespace tabrivo
