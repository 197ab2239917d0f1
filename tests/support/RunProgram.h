#pragma once
// Runs a program to its end as a user would, collecting its exit status and
// both output streams.
#include <QProcess>
#include <QStringList>

namespace mk::test {

struct ProgramRun {
    int status = -1; ///< -1 when it crashed or did not end within a minute
    QString out;
    QString err;
};

inline ProgramRun runProgram(const QString& program, const QStringList& args,
                             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace mk::test
