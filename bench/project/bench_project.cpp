// Save and open times of a 1-hour and a 2-hour project (8 tracks at 30 frames
// a second), headless (file codec and tracks) and through the main window's
// commands (progress dialog, event processing), and the memory opening takes.
//
// Run: bench_project [repeats]   (QT_QPA_PLATFORM=offscreen without a display)
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/mainForm.h"
#include "platform/Dialogs.h"
#include "platform/Joystick.h"
#include "platform/SoundService.h"
#include "platform/TickSource.h"
#include "project/ProjectFile.h"
#include "tracks/NewSlider.h"
#include "tracks/ServoTrack.h"

namespace {

namespace project = mk::project;

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

/// Peak resident memory (kB) since the last reset; Linux only.
long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

project::Project makeShow(qint32 frames)
{
    project::Project p;
    p.frameCount = frames;
    p.servos.assign(8, project::ServoRecord{});
    p.positions.resize(8);
    quint32 seed = 12345;
    for (auto& column : p.positions) {
        column.resize(size_t(frames) + 1);
        for (auto& v : column) {
            seed = seed * 1664525u + 1013904223u;
            v = qint16(seed >> 24);
        }
    }
    p.hasEndMarker = true;
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    QTemporaryDir dir;

    std::printf("%-8s %-9s %10s %10s %10s %10s %12s\n", "show", "file", "save", "read", "open", "window save",
                "window open");
    for (const qint32 frames : {108'000, 216'000}) {
        const project::Project show = makeShow(frames);
        const QString path = dir.filePath(QStringLiteral("show%1.pjt").arg(frames));
        std::vector<double> save, read, open, wSave, wOpen;
        long peakOpen = 0;
        for (int r = 0; r < repeats; ++r) {
            QElapsedTimer t;
            t.start();
            if (!project::saveFile(path, show).ok)
                return 1;
            save.push_back(t.nsecsElapsed() / 1e6);

            mk::NoJoystick joystick;
            std::vector<std::unique_ptr<mk::ServoTrack>> owned;
            std::vector<mk::ServoTrack*> tracks;
            for (int i = 0; i < 8; ++i) {
                owned.push_back(std::make_unique<mk::ServoTrack>(joystick));
                tracks.push_back(owned.back().get());
            }
            resetPeak();
            const long before = peakKb();
            t.restart();
            const project::ReadResult result = project::readFile(path);
            read.push_back(t.nsecsElapsed() / 1e6);
            if (result.status != project::ReadResult::Status::Ok)
                return 1;
            project::applyToTracks<mk::ServoTrack>(result.project, tracks);
            open.push_back(t.nsecsElapsed() / 1e6);
            peakOpen = std::max(peakOpen, peakKb() - before);
        }

        // The same through the window's commands.
        mk::ManualTickSource ticks;
        mk::NoJoystick joystick;
        mk::ScriptedDialogs dialogs;
        mk::NoSound sound;
        mainForm w(mk::Services{ticks, joystick, dialogs, sound, {"/nonexistent/a", "/nonexistent/b", "/nonexistent/c", "/nonexistent/d"}});
        w.openProjectFile(path);
        for (int r = 0; r < repeats; ++r) {
            QElapsedTimer t;
            t.start();
            w.openProjectFile(path);
            wOpen.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            w.saveProject();
            wSave.push_back(t.nsecsElapsed() / 1e6);
        }
        const bool quiet = dialogs.messages.size() <= 1; // the port probe's message
        std::printf("%-8s %6.1f MB %7.1f ms %7.1f ms %7.1f ms %8.1f ms %9.1f ms%s\n",
                    frames == 108'000 ? "1 hour" : "2 hours", QFileInfo(path).size() / 1e6, medianOf(save),
                    medianOf(read), medianOf(open), medianOf(wSave), medianOf(wOpen),
                    quiet ? "" : "  (messages were shown)");
        std::printf("         peak memory of opening (read + tracks): %.1f MB\n", peakOpen / 1024.0);
    }
    std::printf("(medians of %d; read = check and decode; open = read + applied to 8 tracks)\n", repeats);
    return 0;
}
