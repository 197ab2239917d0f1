#pragma once
// The messages the main window and its views show, each written down once, as caption|buttons|icon|text ("%1": the file
// or number concerned; a text ending in "…" is compared up to there), and how a test reads them back.
#include <QString>
#include <QStringList>
#include <type_traits>

#include "platform/Dialogs.h"

namespace mk::test {

namespace shown {
inline const QString openError = "Open Error|Ok|Exclamation|There was an error while trying to open your file.\r";
inline const QString saveError = "Save Error|Ok|Exclamation|There was an error while ";
inline const QString longSoundPath = "MarionetteKit|Ok|Exclamation|The sound file's path is longer than 255 "
                                     "characters and was saved cut short.\rWhen this project is opened you will be "
                                     "asked to locate the sound.";
inline const QString newProject = "Warning|YesNo|Exclamation|Creating a new project will cause all current data to "
                                  "be lost.\rDo you wish to continue?";
inline const QString quitChanged = "Quit MarionetteKit|YesNoCancel|None|Save before quitting?";
inline const QString beyondAByte =
    "SMPTE Error|Ok|Exclamation|There was an error with SMPTE frame change.\r5 Invalid procedure call or argument";
inline const QString shorterSound = "Import Sound|YesNo|Exclamation|Importing this sound will shorten the tracks to "
                                    "%1 frames.\rRecorded positions after that will be lost.\rDo you wish to continue?";
inline const QString soundPipe =
    "Sound Problem|Ok|Exclamation|%1\ris not a sound file but a device or a pipe.\rChoose a .wav file.";
inline const QString noSound = "No sound|Ok|Exclamation|MarionetteKit does not support the creation of a CD "
                               "playback\rfile if you are not using a sound.";
inline const QString exported = "Export for CD playback|Ok|Information|The show was exported for CD playback to\r%1";
inline const QString exportCanceled = "Conversion canceled|Ok|Exclamation|Conversion for CD playback was canceled.  "
                                      "The file:\r%1\rhas incomplete data and will not work correctly.  Do not use it.";
inline const QString notWav = "MarionetteKit|Ok|None|This file does not appear to be a .wav file";
inline const QString badWav = "Sound Problem|Ok|Exclamation|This doesn't seem to be a valid .wav file.\rTry opening "
                              "this file in another program such as Sound Recorder\rand saving it right back out "
                              "again.\rReason: %1";
inline const QString noSoundCard = "MarionetteKit|Ok|None|It appears that either you do not have a sound card "
                                   "installed\ror that you do not have the drivers installed which are \rnecessary to "
                                   "play Wave (.wav) files";
inline const QString troubleWithFile =
    "MarionetteKit|Ok|None|GW:Had trouble with this file...\rError Description = \rError Code = %1";
inline const QString redrawFailed = "MarionetteKit|Ok|None|there was an error in reDraw";
inline const QString locateSound = "Can't find the sound file|OkCancel|Exclamation|The sound file that was used "
                                   "with this project no longer\rexists or has been moved.  Please locate this file: "
                                   "\r%1";
} // namespace shown

/// One value as text; a type with no rule here does not compile (a QVariant would give "" and hide the value).
template <typename V>
QString field(const V& v)
{
    if constexpr (std::is_same_v<V, bool>)
        return v ? QStringLiteral("true") : QStringLiteral("false");
    else if constexpr (std::is_arithmetic_v<V>)
        return QString::number(v);
    else
        return QString(v);
}

/// The values, space-separated: several fields of a state compared as one line.
template <typename... V>
QString fields(const V&... v)
{
    return QStringList{field(v)...}.join(' ');
}

/// Message i told (all of them, one a line, when i < 0) as caption|buttons|icon|text.
inline QString told(const mk::ScriptedDialogs& dialogs, int i = -1)
{
    static const char* buttons[] = {"Ok", "OkCancel", "YesNo", "YesNoCancel"};
    static const char* icons[] = {"None", "Exclamation", "Information", "Critical"};
    QStringList seen;
    for (const auto& m : dialogs.messages)
        seen << m.title + "|" + buttons[int(m.buttons)] + "|" + icons[int(m.icon)] + "|" + m.text;
    return i < 0 ? seen.join('\n') : seen.value(i);
}

} // namespace mk::test
