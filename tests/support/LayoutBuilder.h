#pragma once
// Project files put together byte by byte from the published layout, without the program's writer, so a test compares
// the writer with the layout and feeds the reader files the program did not make.
#include <QByteArray>
#include <QList>
#include <QString>

namespace layout {

inline QByteArray le32(qint64 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

inline QByteArray le16(int v) { return le32(v).left(2); }

inline QByteArray boolean(bool v) { return v ? QByteArray("\xFF\xFF", 2) : QByteArray(2, '\0'); }

inline QByteArray text(QByteArray bytes, int width)
{
    bytes.truncate(width);
    return bytes + QByteArray(width - bytes.size(), ' ');
}

struct Servo {
    bool active = true;
    int device = 1;
    int min = 127;
    int max = 129;
    bool reversed = false;
    QByteArray name = "Servo Name";
};

struct File {
    QByteArray version = "03";
    qint64 frames = 1; // F
    int rate = 30;
    QList<Servo> servos = QList<Servo>(8);
    QByteArray sound = "noSound";
    /// Entry k of track i: positions[i][k]; missing entries are 0.
    QList<QList<int>> positions;
    int duration = 10;
    bool enabled = false;
    bool marker = false;

    QByteArray bytes() const
    {
        QByteArray b = "MarionetteKit" + version + le32(frames);
        b += char(rate);
        b += char(servos.size() - 1);
        for (const Servo& s : servos)
            b += boolean(s.active) + char(s.device) + le16(s.min) + le16(s.max) + boolean(s.reversed)
                + text(s.name, 32);
        b += text(sound, 255);
        for (int i = 0; i < servos.size(); ++i)
            for (qint64 k = 0; k <= frames; ++k)
                b += le16(i < positions.size() && k < positions[i].size() ? positions[i][k] : 0);
        b += le16(duration) + boolean(enabled);
        if (marker)
            b += "01234567890FINISHED0123456789";
        return b;
    }
};

} // namespace layout
