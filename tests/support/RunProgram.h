#pragma once
// Runs a program to its end as a user would, collecting its exit status and both output streams.
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
    const int code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return {code, QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

/// As runProgram, where no window system is to be had: a command that made a window would fail.
inline ProgramRun runHeadless(const QString& program, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    return runProgram(program, args, env);
}

} // namespace mk::test
