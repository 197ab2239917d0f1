#pragma once
// A show of two full-range tracks and F + 1 frames, for the players' tests and benchmarks to fill in and save.
#include "project/ProjectFile.h"

namespace mk::test {

inline project::Project twoTrackShow(qint32 F, qint16 position = 0)
{
    project::Project p;
    p.frameCount = F;
    p.lastServoIndex = 1;
    p.servos.assign(2, project::ServoRecord{.minValue = 1, .maxValue = 255});
    p.positions.assign(2, std::vector<qint16>(size_t(F) + 1, position));
    return p;
}

} // namespace mk::test
