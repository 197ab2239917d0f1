#pragma once
// The Ports menu's state: which of COM 1 to COM 4 could be opened at
// start-up, which one is in use, and the messages about them.
#include <QObject>

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
    /// Checks item n, closes any open port and opens port n.
    void selectPort(int n);

    bool itemEnabled(int n) const;
    bool itemChecked(int n) const;

Q_SIGNALS:
    /// The enabled or checked state of an item changed.
    void itemsChanged();
};

} // namespace mk
