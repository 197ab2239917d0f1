#pragma once
// A sound service that plays nothing and records what it was asked, with the length and its error chosen by the test.
#include <QList>

#include "platform/RuntimeError.h"
#include "platform/SoundService.h"

struct RecordingSound : mk::SoundService {
    struct Command {
        QString kind; ///< "length", "play" or "stop"
        QString path;
        qint32 from = 0;
        qint32 to = 0;
        bool wait = false;
    };
    QList<Command> commands;
    qint32 lengthMs = 3500;
    int lengthError = NoError;
    bool lengthOverflows = false; ///< the length query throws run-time error 6

    int length(const QString& path, qint32& ms) override
    {
        commands.append({QStringLiteral("length"), path});
        if (lengthOverflows)
            throw mk::RuntimeError::overflow();
        ms = lengthError == NoError ? lengthMs : 0;
        return lengthError;
    }
    int play(const QString& path, qint32 fromMs, qint32 toMs, bool wait) override
    {
        commands.append({QStringLiteral("play"), path, fromMs, toMs, wait});
        return NoError;
    }
    int stop(const QString& path) override
    {
        commands.append({QStringLiteral("stop"), path});
        return NoError;
    }
    QList<Command> plays() const
    {
        QList<Command> out = commands;
        out.removeIf([](const Command& c) { return c.kind != QLatin1String("play"); });
        return out;
    }
};
