#pragma once
// The serial link to the servo controller: one port at 9600 baud, 8 data
// bits, no parity, 1 stop bit, chosen as COM 1 to COM 4.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QSerialPort;

namespace mk {

/// Orders serial device names or paths the way COM 1 to COM 4 are handed out:
/// USB adapters (ttyUSB*) first, then ACM adapters (ttyACM*), then the rest
/// (ttyS* and others); numbers within a name compare by value (ttyS2 before
/// ttyS10).
QStringList orderSerialDevices(const QStringList& names);

/// The devices named by a MARIONETTEKIT_PORTS value: comma separated, at most
/// four, an empty entry meaning no device. Always four entries.
QStringList parsePortList(const QString& value);

} // namespace mk

class MSComm : public QObject {
    Q_OBJECT
public:
    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    /// Device paths behind COM 1 to COM 4 (empty: no device). By default the
    /// list of MARIONETTEKIT_PORTS, else the system's serial devices, USB and
    /// ACM adapters first.
    static QStringList defaultDevicePaths();
    void setDevicePaths(const QStringList& paths);
    QString devicePath(int port) const;

    qint16 CommPort() const;
    /// Only while closed; throws mk::RuntimeError otherwise or when out of 1..4.
    void setCommPort(qint16 port);

    bool PortOpen() const;
    /// Opens or closes the port; throws mk::RuntimeError when it cannot be opened.
    void setPortOpen(bool open);

    /// Writes the bytes unchanged, in one write. Dropped while the port is
    /// closed or has failed.
    void setOutput(const QByteArray& bytes);

    /// While set, what setOutput is given goes to `route` instead (the show
    /// engine, which then is the port's only writer); still only while the
    /// port is open and has not failed.
    void setOutputRoute(std::function<void(const QByteArray&)> route) { m_route = std::move(route); }
    /// The device behind the open port, or -1.
    int descriptor() const;
    /// Whoever writes to descriptor() found the line gone: reported and closed
    /// as a failure the port noticed itself.
    void lineFailed(const QString& description) { fail(description); }

Q_SIGNALS:
    /// The open port failed (unplugged, other end gone) and has been closed.
    void portFailed(const QString& description);
    /// The port was opened; its device is descriptor().
    void portOpened();
    /// The port is about to close: whoever writes to its device stops now.
    void portClosing();

private:
    void onErrorOccurred(int error);
    void fail(const QString& description);
    void closePort();

    QSerialPort* m_port;
    std::function<void(const QByteArray&)> m_route;
    QStringList m_paths;
    qint16 m_commPort = 1;
    // Set while this object itself opens or closes the port: errors reported
    // then belong to that call, not to a port that stopped working.
    bool m_inTransition = false;
    // Set on the first failure of the open port until it is opened again, so
    // one unplugging is reported once however many errors follow it.
    bool m_failed = false;
    // Counts openings and closings, so a failure that is handled late does
    // not close a port opened since.
    quint64 m_generation = 0;
};
