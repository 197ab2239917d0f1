#pragma once
// Expected CD playback bytes built from the format's rules alone (not with the exporter): the canonical header, the
// serial characters of the servo stream, and a show of eight tracks whose positions are known in advance.
#include <QByteArray>
#include <QTemporaryDir>
#include <QtEndian>
#include <vector>

#include "export/CdAudio.h"
#include "export/CdExport.h"
#include "platform/RuntimeError.h"
#include "sound/TestWav.h"
#include "support/Files.h"
#include "support/LayoutBuilder.h"
#include "tracks/EightTracks.h"

namespace cdrules {

using testwav::le16;
using testwav::le32;
using mk::test::readFile;

/// RIFF, length, WAVE, "fmt " 16, PCM, 2 channels, 44 100, 176 400, 4, 16, "data", data length.
inline QByteArray header(quint32 riffField, quint32 dataField)
{
    return QByteArray("RIFF") + le32(riffField) + QByteArray("WAVEfmt ") + le32(16) + le16(1) + le16(2)
           + le32(44100) + le32(176400) + le16(4) + le16(16) + QByteArray("data") + le32(dataField);
}

/// One frame slot of 1470 right-channel samples: per character 46 samples, start "0", bits 0..7, stop "1", lasting
/// 5 4 5 4 5 5 4 5 4 5 samples ("1" is -32767, "0" +32767); then 0s (366 after a whole show's eight commands).
inline std::vector<qint16> slot(const QByteArray& message)
{
    static const int lengths[10] = {5, 4, 5, 4, 5, 5, 4, 5, 4, 5};
    std::vector<qint16> out;
    for (char c : message)
        for (int s = 0; s < 10; ++s) {
            const bool one = s == 9 || (s > 0 && ((quint8(c) >> (s - 1)) & 1) != 0);
            out.insert(out.end(), lengths[s], one ? qint16(-32767) : qint16(32767));
        }
    out.resize(1470, 0);
    return out;
}

/// Sample `k` of the data (k-th stereo frame after the header), left or right.
inline qint16 sample(const QByteArray& file, qint64 k, bool right)
{
    return qFromLittleEndian<qint16>(file.constData() + 44 + 4 * k + (right ? 2 : 0));
}

/// The show: frame f of track i holds value(i, f); 0 means nothing recorded (the slider stays).
struct Show {
    static int value(int i, qint32 f)
    {
        if ((f + i) % 7 == 3)
            return 0;
        return 1 + (f * 37 + i * 11) % 255; // 1..255, 255 included
    }

    /// Frame f's message: 255, i, the position played back (the last recorded one when nothing is; 128 before any).
    static QByteArray expected(qint32 f)
    {
        QByteArray m;
        for (int i = 0; i < 8; ++i) {
            int v = 128;
            for (qint32 g = f; g >= 0; --g)
                if (value(i, g) != 0) {
                    v = value(i, g);
                    break;
                }
            m.append(char(255)).append(char(i)).append(char(v));
        }
        return m;
    }
};

/// A ".pjt" file from the layout: tracks 0..lastServoIndex (active, 1..255), the sound, Show::value in every frame.
inline QByteArray projectFile(const QByteArray& soundName, qint32 lastFrame, int lastServoIndex = 7)
{
    layout::File f;
    f.frames = lastFrame;
    f.sound = soundName;
    f.servos.resize(lastServoIndex + 1);
    for (int i = 0; i <= lastServoIndex; ++i) {
        f.servos[i] = {true, 1, 1, 255, false, "Servo " + QByteArray::number(i)};
        f.positions << QList<int>();
        for (qint32 k = 0; k <= lastFrame; ++k)
            f.positions[i] << Show::value(i, k);
    }
    return f.bytes();
}

/// The first sample where the stream of `file` departs from the show (frames 0..lastFrame, tracks 0..lastServoIndex).
inline QString streamDifference(const QByteArray& file, qint32 lastFrame, int lastServoIndex)
{
    for (qint32 f = 0; f <= lastFrame; ++f) {
        const auto want = slot(Show::expected(f).left(3 * (lastServoIndex + 1)));
        for (int j = 0; j < 1470; ++j)
            if (const qint64 k = 44100 + 1470 * f + j;
                44 + 4 * k >= file.size() || sample(file, k, true) != want[size_t(j)])
                return QStringLiteral("frame %1, sample %2").arg(f).arg(j);
    }
    return {};
}

/// Records what the export reports and cancels when told to.
struct RecordingProgress : mk::cd::Progress {
    QStringList stages;
    QList<double> percents;
    int cancelAfterChecks = -1; ///< cancel at this many cancelled() calls; -1: never
    int checks = 0;
    void stage(const QString& s) override { stages << s; }
    void percent(double p) override { percents << p; }
    bool cancelled() override { return cancelAfterChecks >= 0 && ++checks > cancelAfterChecks; }
};

/// The export of the show's frames 0..lastFrame with `sound`; frame `badFrame` holds a position that is no number.
/// The tracks are set up as a freshly started program does, range 1..255 so that positions play back unchanged.
inline mk::cd::ExportResult exportShow(const QString& sound, const QString& out, qint32 lastFrame,
                                       RecordingProgress& progress, qint32 badFrame = -1)
{
    mk::test::EightServoTracks show(1, 255);
    for (int i = 0; i < 8; ++i) {
        mk::ServoTrack& t = *show.tracks[size_t(i)];
        t.setWhichservo(qint16(i));
        t.setMaxframe(lastFrame);
        for (qint32 f = 0; f <= lastFrame; ++f)
            mk::test::putAt(t, f, qint16(Show::value(i, f)));
    }
    const auto tracks = show.all();
    const auto frames = [tracks, badFrame](qint32 f) {
        if (f == badFrame)
            throw mk::RuntimeError::typeMismatch(); // a serialPortString that is not a number
        return mk::cd::frameMessage(tracks, f);
    };
    return mk::cd::exportForCd(sound, out, lastFrame, frames, progress);
}

/// A temporary folder for a test's files; write() gives the path written.
struct Folder {
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const
    {
        testwav::write(path(name), bytes);
        return path(name);
    }
};

} // namespace cdrules
