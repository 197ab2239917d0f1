#pragma once
// The Ports menu's state: which of COM 1 to COM 4 could be opened at
// start-up, which one is in use, and the messages about them.
#include <QObject>
#include <QString>

#include <array>

#include "platform/Dialogs.h"

class MSComm;

namespace mk {

class SerialPorts : public QObject {
    Q_OBJECT
public:
    SerialPorts(MSComm& comm, Dialogs& dialogs, QObject* parent = nullptr);

    /// Tries to open and close each port; disables the ones that fail and says
    /// so once when none can be opened.
    void probe();
    /// Checks item n, closes any open port and opens port n. When port n
    /// cannot be opened the check mark goes and the user is told why.
    void selectPort(int n);

    bool itemEnabled(int n) const;
    bool itemChecked(int n) const;
    /// The device behind COM n, for the menu item's status tip.
    QString devicePath(int n) const;

Q_SIGNALS:
    /// The enabled or checked state of an item changed.
    void itemsChanged();

private:
    void onPortFailed(const QString& description);
    void setChecked(int n);

    MSComm& m_comm;
    Dialogs& m_dialogs;
    std::array<bool, 4> m_enabled{true, true, true, true};
    int m_checked = 0; // 0: no item checked
};

} // namespace mk
