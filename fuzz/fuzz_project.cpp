// Any bytes given to the project reader are refused with a message or
// decoded, never a crash; what is decoded takes no more memory than the
// file's length backs, and writes back into bytes that read the same.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "project/ProjectFile.h"

using namespace mk::project;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const ReadResult r = read(bytes);
    switch (r.status) {
    case ReadResult::Status::NotAProject:
        return 0;
    case ReadResult::Status::Failed:
        if (r.error.number == 0 || r.error.description.isEmpty())
            std::abort(); // a refusal must say why
        return 0;
    case ReadResult::Status::Ok:
        break;
    }
    const Project& p = r.project;
    size_t positions = 0;
    for (const auto& column : p.positions) {
        if (column.size() != size_t(p.frameCount) + 1)
            std::abort();
        positions += column.size();
    }
    if (p.lastServoIndex > kMaxLastServoIndex || p.servos.size() != size_t(p.lastServoIndex) + 1
        || 2 * positions > size)
        std::abort();

    // Written again and read back: the same project.
    const ReadResult again = read(encode(p));
    if (again.status != ReadResult::Status::Ok || again.project.positions != p.positions
        || again.project.frameCount != p.frameCount || again.project.countdownDuration != p.countdownDuration
        || again.project.countdownEnabled != p.countdownEnabled
        || again.project.soundFileName() != p.soundFileName())
        std::abort();
    // Up to the blank padding: a UTF-8 field decodes to fewer characters than
    // its bytes, so the same text may come back with more blanks.
    const auto unpadded = [](QString s) {
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s;
    };
    if (unpadded(again.project.soundName) != unpadded(p.soundName))
        std::abort();
    for (size_t i = 0; i < p.servos.size(); ++i) {
        ServoRecord a = p.servos[i];
        ServoRecord b = again.project.servos[i];
        if (unpadded(a.name) != unpadded(b.name))
            std::abort();
        a.name = b.name;
        if (!(a == b))
            std::abort();
    }
    return 0;
}
