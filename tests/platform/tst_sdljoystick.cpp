// The SDL joystick reading, driven by SDL's virtual joystick.
#include <QTest>

#include <SDL.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Joystick.h"

namespace {

QList<quint32> values(const mk::JoystickReading& r) { return {r.x, r.y, r.z, r.buttons}; }
const QList<quint32> kNothing{0, 0, 0, 0};

// A virtual joystick with 3 axes and 2 buttons, opened so its values can be set.
SDL_Joystick* plugIn()
{
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 2, 0);
    return index < 0 ? nullptr : SDL_JoystickOpen(index);
}

void unplug(SDL_Joystick* js)
{
    const SDL_JoystickID id = SDL_JoystickInstanceID(js);
    SDL_JoystickClose(js);
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == id)
            SDL_JoystickDetachVirtual(i);
}

} // namespace

class tst_SdlJoystick : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Runs first: a forked child inherits whatever signal handlers this
    // process's SDL has installed by then.
    void terminationSignalStillEndsTheProgram()
    {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // As in the program, where nothing else has claimed the signal
            // (the test runner has, and SDL leaves a claimed signal alone).
            std::signal(SIGTERM, SIG_DFL);
            mk::SdlJoystick joystick;
            raise(SIGTERM);
            _exit(0); // still alive: the signal was swallowed
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGTERM);
    }

    void readings()
    {
        // The test's own hold on the joystick system, independent of SdlJoystick's.
        QCOMPARE(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
        mk::SdlJoystick joystick;
        QVERIFY(joystick.available());
        QCOMPARE(SDL_NumJoysticks(), 0);
        QCOMPARE(values(joystick.read()), kNothing);

        SDL_Joystick* js = plugIn();
        QVERIFY2(js, SDL_GetError());
        SDL_JoystickSetVirtualAxis(js, 0, -32768);
        SDL_JoystickSetVirtualAxis(js, 1, 32767);
        SDL_JoystickSetVirtualAxis(js, 2, 1001);
        SDL_JoystickSetVirtualButton(js, 0, SDL_PRESSED);
        // z: (1001 + 32768) / 2, rounded down
        QCOMPARE(values(joystick.read()), QList<quint32>({0, 32767, 16884, 1}));
        SDL_JoystickSetVirtualButton(js, 1, SDL_PRESSED);
        QCOMPARE(joystick.read().buttons, 3u);
        SDL_JoystickSetVirtualButton(js, 0, SDL_RELEASED);
        QCOMPARE(joystick.read().buttons, 2u);
        // Polled, so nothing is left queued for an event loop that never comes.
        QCOMPARE(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_JOYAXISMOTION, SDL_JOYBUTTONUP), 0);

        unplug(js);
        QCOMPARE(values(joystick.read()), kNothing);

        // Plugged in again, it is read without being told.
        js = plugIn();
        QVERIFY(js);
        SDL_JoystickSetVirtualButton(js, 0, SDL_PRESSED);
        QCOMPARE(joystick.read().buttons, 1u);
        unplug(js);
        QCOMPARE(values(joystick.read()), kNothing);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
};

QTEST_GUILESS_MAIN(tst_SdlJoystick)
#include "tst_sdljoystick.moc"
