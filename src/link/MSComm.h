#pragma once
// The serial link to the servo controller: one port at 9600 baud, 8 data
// bits, no parity, 1 stop bit, chosen as COM 1 to COM 4.
#include <QObject>
#include <QStringList>

class QSerialPort;

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

    /// Writes the bytes unchanged, in one write.
    void setOutput(const QByteArray& bytes);

Q_SIGNALS:
    /// The open port failed (unplugged, other end gone) and has been closed.
    void portFailed(const QString& description);
};
