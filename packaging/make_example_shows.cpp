// Writes the example show and its idle loop that the package installs, so a
// new machine has something to play before the first show of its own exists:
//   make_example_shows DIR   ->  DIR/show.pjt, DIR/idle.pjt
// Three servos of a talking head: head turn, jaw, eyes. Both projects start
// and end in the same pose, so hand-overs between them do not jerk the figure.
#include <QDir>
#include <QTextStream>
#include <cmath>
#include <numbers>

#include "project/ProjectFile.h"

namespace {

using mk::project::Project;

constexpr int kHeadRest = 125, kJawClosed = 100, kEyesRest = 128;

Project headProject(qint32 lastFrame)
{
    Project p;
    p.frameCount = lastFrame;
    p.lastServoIndex = 2;
    p.servos.resize(3);
    const char* names[] = {"Head turn", "Jaw", "Eyes"};
    for (int i = 0; i < 3; ++i) {
        p.servos[size_t(i)].name = QString::fromLatin1(names[i]);
        p.servos[size_t(i)].minValue = 1;
        p.servos[size_t(i)].maxValue = 254;
    }
    p.positions.assign(3, std::vector<qint16>(size_t(lastFrame) + 1));
    return p;
}

/// `rest` + `depth` x sin over whole periods of `frames`: back at rest at the end.
qint16 swing(int rest, double depth, qint32 f, double frames)
{
    return qint16(std::lround(rest + depth * std::sin(2 * std::numbers::pi * f / frames)));
}

Project show()
{
    // Eight seconds: the head looks left and right once, the eyes twice, the
    // jaw talks in two bursts of syllables.
    const qint32 last = 240;
    Project p = headProject(last);
    for (qint32 f = 0; f <= last; ++f) {
        p.positions[0][size_t(f)] = swing(kHeadRest, 60, f, last);
        p.positions[2][size_t(f)] = swing(kEyesRest, 40, f, last / 2.0);
        const bool talking = (f >= 30 && f < 100) || (f >= 140 && f < 210);
        const double syllable = std::fabs(std::sin(std::numbers::pi * f / 6.0));
        p.positions[1][size_t(f)] = qint16(kJawClosed + (talking ? std::lround(55 * syllable) : 0));
    }
    return p;
}

Project idle()
{
    // Four seconds of breathing: a slow nod of the head, the jaw at rest.
    const qint32 last = 120;
    Project p = headProject(last);
    for (qint32 f = 0; f <= last; ++f) {
        p.positions[0][size_t(f)] = swing(kHeadRest, 6, f, last);
        p.positions[1][size_t(f)] = kJawClosed;
        p.positions[2][size_t(f)] = swing(kEyesRest, 10, f, last / 2.0);
    }
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: make_example_shows DIR\n";
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    for (const auto& [name, project] : {std::pair{"show.pjt", show()}, std::pair{"idle.pjt", idle()}}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const auto written = mk::project::saveFile(path, project);
        if (!written.ok) {
            err << path << ": " << written.error.number << " " << written.error.description << "\n";
            return 1;
        }
    }
    return 0;
}
