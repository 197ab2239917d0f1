#include "link/SerialPorts.h"

#include <QStringList>

#include "link/MSComm.h"
#include "platform/RuntimeError.h"

namespace mk {

namespace {

const QString kTitle = QStringLiteral("Serial Port Error");

QString portName(int n)
{
    return QStringLiteral("COM %1").arg(n);
}

/// Which device COM n is and why it could not be opened, in words the user
/// can act on.
QString triedLine(int n, const QString& device, const RuntimeError& e)
{
    if (device.isEmpty())
        return QStringLiteral("%1: no device").arg(portName(n));
    switch (e.number()) {
    case 70:
        return QStringLiteral("%1 (%2): permission denied (your user must be in the dialout group)")
            .arg(portName(n), device);
    case 8005: return QStringLiteral("%1 (%2): busy (another program is using it)").arg(portName(n), device);
    default: return QStringLiteral("%1: %2").arg(portName(n), QString::fromStdString(e.description()));
    }
}

} // namespace

SerialPorts::SerialPorts(MSComm& comm, Dialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_comm(comm)
    , m_dialogs(dialogs)
{
    connect(&m_comm, &MSComm::portFailed, this, &SerialPorts::onPortFailed);
}

void SerialPorts::probe()
{
    bool changed = false;
    QStringList tried;
    for (int n = 1; n <= 4; ++n) {
        bool failed = false;
        try {
            m_comm.setCommPort(static_cast<qint16>(n));
            m_comm.setPortOpen(true);
        } catch (const RuntimeError& e) {
            failed = true;
            tried << triedLine(n, m_comm.devicePath(n), e);
        }
        if (!failed)
            m_comm.setPortOpen(false);
        if (m_enabled[n - 1] == failed) {
            m_enabled[n - 1] = !failed;
            changed = true;
        }
    }
    if (changed)
        Q_EMIT itemsChanged();

    if (!m_enabled[0] && !m_enabled[1] && !m_enabled[2] && !m_enabled[3]) {
        const QChar cr(13);
        const QString text = QStringLiteral("It appears that you do not have any free serial") + cr
            + QStringLiteral("ports.  You can run MarionetteKit but you will") + cr
            + QStringLiteral("not be able to use your animatronic with it.") + cr
            + cr
            + QStringLiteral("It is recommended that you quit any programs that") + cr
            + QStringLiteral("use a serial port and then restart MarionetteKit.") + cr
            + cr
            + QStringLiteral("Tried:") + cr + tried.join(cr);
        m_dialogs.message(text, kTitle, MessageButtons::Ok, MessageIcon::None);
    }
}

void SerialPorts::selectPort(int n)
{
    if (n < 1 || n > 4)
        throw RuntimeError::invalidCall();
    setChecked(n);
    if (m_comm.PortOpen())
        m_comm.setPortOpen(false);
    try {
        m_comm.setCommPort(static_cast<qint16>(n));
        m_comm.setPortOpen(true);
    } catch (const RuntimeError& e) {
        // The port was free at start-up but is not now (taken by another
        // program, adapter pulled): a check mark on it would claim a link
        // that does not exist.
        setChecked(0);
        m_dialogs.message(failureText(QStringLiteral("The serial port %1 could not be opened.").arg(portName(n)),
                                      e.number(), QString::fromStdString(e.description())),
                          kTitle, MessageButtons::Ok, MessageIcon::Exclamation);
    }
}

bool SerialPorts::itemEnabled(int n) const
{
    return n >= 1 && n <= 4 && m_enabled[n - 1];
}

bool SerialPorts::itemChecked(int n) const
{
    return n >= 1 && n <= 4 && m_checked == n;
}

QString SerialPorts::devicePath(int n) const
{
    return m_comm.devicePath(n);
}

void SerialPorts::onPortFailed(const QString& description)
{
    const int n = m_comm.CommPort();
    setChecked(0);
    const QChar cr(13);
    const QString device = m_comm.devicePath(n);
    const QString text = QStringLiteral("The serial port %1 (%2) stopped working and was closed: %3")
                             .arg(portName(n), device, description)
        + cr + QStringLiteral("Playback and recording go on, but nothing is sent to the figure.") + cr
        + QStringLiteral("Choose the port again in the Ports menu once it is back.");
    m_dialogs.message(text, kTitle, MessageButtons::Ok, MessageIcon::Exclamation);
}

void SerialPorts::setChecked(int n)
{
    if (m_checked == n)
        return;
    m_checked = n;
    Q_EMIT itemsChanged();
}

} // namespace mk
