#include "firmware_file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

namespace korvel {

QString qt_file_filter(const char* bar_filter) {
    const QStringList parts = QString::fromUtf8(bar_filter != nullptr ? bar_filter : "").split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(u';', u' ');
        if (description.endsWith(u'(' + patterns + u')')) {
            filters << description;
        } else {
            filters << description + QStringLiteral(" (") + patterns + u')';
        }
    }
    return filters.join(QStringLiteral(";;"));
}

QString ask_for_firmware_file(QWidget* parent, const QString& filter, const QString& folder) {
    QFileDialog dialog(parent, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("bin"));
    // The person picks a file with the ordinary pointer, whatever the window is busy with.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    QApplication::restoreOverrideCursor();
    return chosen ? dialog.selectedFiles().constFirst() : QString();
}

}  // namespace korvel
