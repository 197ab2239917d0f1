#include "link/MSComm.h"

#include "platform/RuntimeError.h"

#include <QFile>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>
#include <unistd.h>

namespace mk {

namespace {

constexpr int kPortCount = 4;
// Bytes the link keeps waiting for the driver at most.
constexpr qint64 kOutputBufferSize = 512;

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

int deviceGroup(const QString& name)
{
    if (name.startsWith(QLatin1String("ttyUSB")))
        return 0;
    if (name.startsWith(QLatin1String("ttyACM")))
        return 1;
    return 2;
}

// "ttyS2" before "ttyS10": runs of digits compare by value.
int naturalCompare(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Compare by value without converting, so no length overflows.
            qsizetype si = i;
            qsizetype sj = j;
            while (si + 1 < ei && a[si] == QLatin1Char('0'))
                ++si;
            while (sj + 1 < ej && b[sj] == QLatin1Char('0'))
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            const int c = QStringView(a).sliced(si, ei - si).compare(QStringView(b).sliced(sj, ej - sj));
            if (c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return a.compare(b);
}

} // namespace

QStringList orderSerialDevices(const QStringList& names)
{
    QStringList sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        const QString fa = fileNameOf(a);
        const QString fb = fileNameOf(b);
        const int ga = deviceGroup(fa);
        const int gb = deviceGroup(fb);
        if (ga != gb)
            return ga < gb;
        const int c = naturalCompare(fa, fb);
        if (c != 0)
            return c < 0;
        return a < b;
    });
    return sorted;
}

QStringList parsePortList(const QString& value)
{
    QStringList paths;
    const QStringList entries = value.split(QLatin1Char(','));
    for (const QString& entry : entries) {
        if (paths.size() == kPortCount)
            break;
        paths.append(entry.trimmed());
    }
    while (paths.size() < kPortCount)
        paths.append(QString());
    return paths;
}

} // namespace mk

MSComm::MSComm(QObject* parent)
    : QObject(parent)
    , m_port(new QSerialPort(this))
    , m_paths(defaultDevicePaths())
{
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onErrorOccurred(error); });
    // The controller never answers; whatever arrives is noise to be dropped
    // before it fills the read buffer.
    connect(m_port, &QSerialPort::readyRead, this, [this] { m_port->readAll(); });
}

MSComm::~MSComm()
{
    if (m_port->isOpen())
        closePort();
}

QStringList MSComm::defaultDevicePaths()
{
    if (qEnvironmentVariableIsSet("MARIONETTEKIT_PORTS"))
        return mk::parsePortList(qEnvironmentVariable("MARIONETTEKIT_PORTS"));

    QStringList found;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        found.append(info.systemLocation());
    QStringList paths = mk::orderSerialDevices(found).mid(0, mk::kPortCount);
    while (paths.size() < mk::kPortCount)
        paths.append(QString());
    return paths;
}

void MSComm::setDevicePaths(const QStringList& paths)
{
    m_paths = paths.mid(0, mk::kPortCount);
    while (m_paths.size() < mk::kPortCount)
        m_paths.append(QString());
}

QString MSComm::devicePath(int port) const
{
    if (port < 1 || port > mk::kPortCount)
        return QString();
    return m_paths.at(port - 1);
}

qint16 MSComm::CommPort() const
{
    return m_commPort;
}

void MSComm::setCommPort(qint16 port)
{
    if (m_port->isOpen())
        throw mk::RuntimeError::portAlreadyOpen();
    if (port < 1 || port > mk::kPortCount)
        throw mk::RuntimeError::invalidPortNumber();
    m_commPort = port;
}

bool MSComm::PortOpen() const
{
    return m_port->isOpen();
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        if (m_port->isOpen())
            closePort();
        return;
    }
    if (m_port->isOpen())
        throw mk::RuntimeError::portAlreadyOpen();

    const QString path = devicePath(m_commPort);
    if (path.isEmpty()) {
        throw mk::RuntimeError(68, QStringLiteral("Device unavailable: no device for COM %1")
                                       .arg(m_commPort).toStdString());
    }

    m_port->setPortName(path);
    m_port->setBaudRate(QSerialPort::Baud9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->clearError();

    m_inTransition = true;
    // Read and write, although nothing is read: a port open for reading
    // learns at once that its adapter is gone.
    const bool opened = m_port->open(QIODevice::ReadWrite);
    m_inTransition = false;

    if (!opened) {
        const QSerialPort::SerialPortError error = m_port->error();
        const QString reason = m_port->errorString();
        m_port->clearError();
        int number = 68;
        QString what = QStringLiteral("Device unavailable");
        switch (error) {
        case QSerialPort::PermissionError:
            // A device another program holds (its lock file, or opened for
            // exclusive use) is reported as a permission error too.
            if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0) {
                number = 8005;
                what = QStringLiteral("Port already open");
            } else {
                number = 70;
                what = QStringLiteral("Permission denied");
            }
            break;
        case QSerialPort::OpenError:
            number = 8005;
            what = QStringLiteral("Port already open");
            break;
        case QSerialPort::DeviceNotFoundError:
        default:
            break;
        }
        throw mk::RuntimeError(number, QStringLiteral("%1: %2 (%3)").arg(what, path, reason).toStdString());
    }
    ++m_generation;
    m_failed = false;
    Q_EMIT portOpened();
}

int MSComm::descriptor() const
{
    return m_port->isOpen() ? int(m_port->handle()) : -1;
}

void MSComm::setOutput(const QByteArray& bytes)
{
    if (!m_port->isOpen() || m_failed)
        return;
    if (m_route) {
        m_route(bytes);
        return;
    }
    // A line that does not drain (controller stalled, nobody reading) must
    // not pile up frames without end, nor make the figure run ever further
    // behind the sound: past the output buffer a message is dropped whole,
    // never cut, so the commands that do go out stay intact.
    if (m_port->bytesToWrite() + bytes.size() > mk::kOutputBufferSize)
        return;
    // No flush here: a forced write into a full driver buffer reports a
    // passing "resource temporarily unavailable" that would look like a
    // dead port. The port's own notifier sends the bytes on the next turn
    // of the event loop, as soon as the driver takes them.
    if (m_port->write(bytes) != bytes.size())
        fail(m_port->errorString());
}

void MSComm::onErrorOccurred(int error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::NotOpenError:
        return;
    default:
        break;
    }
    if (m_inTransition || m_failed || !m_port->isOpen())
        return;
    fail(m_port->errorString());
}

void MSComm::fail(const QString& description)
{
    if (m_failed)
        return;
    m_failed = true;
    const QString reason = description.isEmpty() ? QStringLiteral("Device I/O error") : description;
    // The error arrives from inside the port's own notifier; closing it there
    // would pull the notifier and buffers from under that code. Close it on
    // the next turn of the event loop instead; until then writes are dropped
    // and further errors ignored. Only then is anyone told, so a message box
    // shown in answer never runs its event loop over a port still spinning.
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, reason] {
            if (generation != m_generation || !m_port->isOpen())
                return;
            closePort();
            Q_EMIT portFailed(reason);
        },
        Qt::QueuedConnection);
}

void MSComm::closePort()
{
    Q_EMIT portClosing();
    m_inTransition = true;
    m_port->close();
    m_inTransition = false;
    m_port->clearError();
    ++m_generation;
}
