#pragma once
// The real message boxes and file dialogs.
#include "platform/Dialogs.h"

class QWidget;

namespace mk {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    MessageAnswer message(const QString& text, const QString& title,
                          MessageButtons buttons, MessageIcon icon) override;
    std::optional<QString> openFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<int> number(const NumberRequest& request) override;

    /// "desc|pattern|desc|pattern" -> Qt's "desc (pattern);;desc (pattern)".
    static QString qtFilter(const QString& filter);

private:
    QWidget* m_parent;
};

} // namespace mk
