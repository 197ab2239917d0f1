// Loading a WAV file as the waveform view does: header read and measurement,
// the length query, one redraw and a scrub across the view. Whatever the bytes,
// the view must end up either holding the sound or in the no-sound state,
// never crash, and never fail other than with a reported run-time error.
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/Dialogs.h"
#include "platform/RuntimeError.h"
#include "platform/SdlSound.h"
#include "platform/TickSource.h"
#include "sound/graphWindow.h"

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_wav: %s\n", what);
        std::abort();
    }
}

/// Measures the file as the real output does, plays nothing, and holds every
/// scrub to a snippet within the sound.
struct MeasuringSound : mk::SoundService {
    int length(const QString& path, qint32& ms) override { return mk::SdlSound::fileLength(path, ms); }
    int play(const QString&, qint32 fromMs, qint32 toMs, bool) override
    {
        check(fromMs >= 0 && toMs - fromMs == 20, "a scrub played more than its 20 ms snippet");
        return NoError;
    }
    int stop(const QString&) override { return NoError; }
};

QTemporaryDir* scratch = nullptr;

// One view for all inputs (a widget per input would cost more than the
// load); each input starts from the no-sound state, which is itself checked.
struct Rig {
    mk::ManualTickSource ticks;
    mk::ScriptedDialogs dialogs;
    MeasuringSound sound;
    graphWindow view{ticks, dialogs, sound};
};
Rig* rig = nullptr;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

void mouse(QWidget& w, QEvent::Type type, double x)
{
    const QPointF at(x, w.height() / 2.0);
    QMouseEvent e(type, at, w.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &e);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_wav";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down after its own statics at exit crashes.
    new QApplication(argc, argv);
    qInstallMessageHandler(quiet);
    scratch = new QTemporaryDir;
    rig = new Rig;
    rig->view.resize(400, 120);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = scratch->filePath(QStringLiteral("input.wav"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    graphWindow& view = rig->view;
    rig->dialogs.messages.clear();
    view.setcFileName(QStringLiteral("noSound"));
    try {
        view.setcFileName(path);
    } catch (const mk::RuntimeError&) {
    }
    if (view.cFileName() == QLatin1String("noSound"))
        check(view.cSoundLengthInMilliseconds() == 0 && view.cSoundStart() == 0 && view.cDisplayStart() == 1
                  && view.cDisplayEnd() == 1000,
              "a failed load left part of a sound behind");
    else
        check(view.cSoundLengthInMilliseconds() > 0, "a sound of no length was loaded");
    view.reDraw();
    mouse(view, QEvent::MouseButtonPress, 0);
    mouse(view, QEvent::MouseMove, 200);
    mouse(view, QEvent::MouseMove, 399);
    return 0;
}
