#include "platform/QtDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QMessageBox>
#include <QSpinBox>
#include <QStringList>

namespace mk {

MessageAnswer QtDialogs::message(const QString& text, const QString& title,
                                 MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    // Lines are separated by a carriage return, which a label would not break on.
    box.setText(QString(text).replace(QChar(13), QChar(10)));
    box.setIcon(icon == MessageIcon::Exclamation ? QMessageBox::Warning
                : icon == MessageIcon::Information ? QMessageBox::Information
                : icon == MessageIcon::Critical    ? QMessageBox::Critical
                                                   : QMessageBox::NoIcon);
    switch (buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Ok: return MessageAnswer::Ok;
    default: return MessageAnswer::Cancel;
    }
}

QString QtDialogs::qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return out.join(QStringLiteral(";;"));
}

std::optional<QString> QtDialogs::openFile(const FileDialogRequest& request)
{
    const QString path = QFileDialog::getOpenFileName(m_parent, request.title, request.fileName, qtFilter(request.filter));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> QtDialogs::saveFile(const FileDialogRequest& request)
{
    const QString path = QFileDialog::getSaveFileName(m_parent, request.title, request.fileName, qtFilter(request.filter));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<int> QtDialogs::number(const NumberRequest& request)
{
    QDialog dialog(m_parent);
    dialog.setWindowTitle(request.title);
    auto* spin = new QSpinBox(&dialog);
    spin->setObjectName(QStringLiteral("number"));
    spin->setRange(request.minimum, request.maximum);
    spin->setSingleStep(request.step);
    spin->setSuffix(request.suffix);
    spin->setValue(request.value);
    // Typing shows each number as it stands, not only when the box is left.
    spin->setKeyboardTracking(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(request.label, spin);
    form->addRow(buttons);
    if (request.preview) {
        QObject::connect(spin, &QSpinBox::valueChanged, &dialog, [&request](int v) { request.preview(v); });
        request.preview(request.value);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return spin->value();
}

} // namespace mk
