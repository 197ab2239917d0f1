#pragma once
// A whole file read back (files are written with testwav::write).
#include <QByteArray>
#include <QFile>
#include <QString>

namespace mk::test {

/// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace mk::test
