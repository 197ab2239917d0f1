// The audio half of the CD export: the format verdicts, the direct copy and the resampler, checked against bytes
// built here from the format's rules, and the refusals and errors the export ends with before any servo data.
#include <QTest>

#include <numeric>

#include "CdRules.h"

using namespace cdrules;
using namespace testwav;
using mk::cd::ExportResult;
using mk::cd::Verdict;
using Status = ExportResult::Status;

namespace {

struct VerdictRow {
    QByteArray file;
    Verdict verdict;
    bool pcm;
};
struct Copy {
    QByteArray sound, samples;
    QList<double> percents; // after the 21 of the leader
};
struct Refusal {
    QByteArray sound;
    ExportResult::Status status;
    QString title, text; // text: how the message starts
};

} // namespace
Q_DECLARE_METATYPE(VerdictRow)
Q_DECLARE_METATYPE(Copy)
Q_DECLARE_METATYPE(Refusal)

class TestCdAudio : public QObject {
    Q_OBJECT
    Folder files;

private Q_SLOTS:
    void verdicts_data()
    {
        QTest::addColumn<VerdictRow>("r");
        // The 24 bytes an extensible format block adds: size, valid bits, mask, sub-format GUID.
        const auto extensible = [](qint16 subFormat) {
            return le16(22) + le16(16) + le32(3) + le16(subFormat)
                   + QByteArray("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
        };
        const auto row = [](const char* name, const VerdictRow& r) { QTest::newRow(name) << r; };
        const QByteArray d = data(QByteArray(8, 0));
        row("CD format", {riff(fmt(2, 44100, 16) + d), Verdict::Good, true});
        row("48 kHz", {riff(fmt(2, 48000, 16) + d), Verdict::High, true});
        row("44.1 kHz mono", {riff(fmt(1, 44100, 16) + d), Verdict::Bad, true});
        row("44.1 kHz 8-bit stereo", {riff(fmt(2, 44100, 8) + d), Verdict::Bad, true});
        row("mu-law", {riff(fmt(1, 8000, 8, le16(0), 7) + d), Verdict::Bad, false});
        row("extensible PCM", {riff(fmt(2, 44100, 16, extensible(1), 0xFFFE) + d), Verdict::Good, true});
        row("extensible float", {riff(fmt(2, 44100, 16, extensible(3), 0xFFFE) + d), Verdict::Good, false});
        row("header cut short", {QByteArray("RIFF\x10\x00\x00\x00WAVEfmt ", 16), Verdict::Bad, false});
    }

    void verdicts()
    {
        QFETCH(VerdictRow, r);
        const auto c = mk::cd::checkSoundFormat(files.write("v.wav", r.file));
        QCOMPARE(std::pair(int(c.verdict), c.pcm), std::pair(int(r.verdict), r.pcm));
    }

    // The copy keeps the canonical header whatever the sound's layout, starts the leader on the data length field and
    // takes only the data chunk, in pieces of 20 000 bytes; each piece's percentage is the last position read over
    // the sound file's length.
    void directCopy_data()
    {
        QTest::addColumn<Copy>("c");
        const auto row = [](const char* name, const Copy& r) { QTest::newRow(name) << r; };
        const QByteArray s = pcm16({1, -2, 300, -400, 32767, -32768, 5, 6});
        const QByteArray cd = fmt(2, 44100, 16);
        row("18-byte format block", {riff(fmt(2, 44100, 16, 2) + data(s)), s, {100}});
        row("LIST chunk before data", {riff(cd + chunk("LIST", QByteArray(26, 'x')) + data(s)), s, {100}});
        row("data tag at 10 000", {riff(cd + chunk("junk", QByteArray(10000 - 45, 'j')) + data(s)), s, {100}});
        row("chunk after data", {riff(cd + data(s) + chunk("id3 ", QByteArray(10, 'i'))), s, {60.0 / 78 * 100}});
        row("unknown data count", {riff(cd + data(s, 0xFFFFFFFFll)), s, {100}});
        row("no samples", {canonical(2, 44100, 16, {}), {}, {}});
        const QByteArray ramp = QByteArray("abcdefghijklmnopqrstuvwx").repeated(2084).left(50000); // pieces differ
        row("three pieces", {canonical(2, 44100, 16, ramp), ramp, {20044.0 / 50044 * 100, 40044.0 / 50044 * 100, 100}});
    }

    void directCopy()
    {
        QFETCH(Copy, c);
        RecordingProgress progress;
        const QString out = files.path("copy.wav");
        QCOMPARE(mk::cd::copySound(files.write("s.wav", c.sound), out, progress), mk::cd::AudioResult::Done);
        const quint32 length = 40 + 176400 + quint32(c.samples.size());
        QCOMPARE(readFile(out), header(length, length - 45) + QByteArray(176400 - 4, 0) + c.samples);
        QCOMPARE(progress.stages, QStringList({"Adding 1 second leader", "Copying the sound data to the new file."}));
        // 21 leader steps (every 4096 values of 88 200), then one per piece.
        QCOMPARE(mk::cd::percentText(progress.percents.first()), QStringLiteral("4.64%"));
        QCOMPARE(progress.percents.mid(21), c.percents);
    }

    // Output frames from the interpolation rule, written out by hand.
    void resample_data()
    {
        QTest::addColumn<QByteArray>("sound");
        QTest::addColumn<QList<int>>("frames"); // left, right, left, right, ...
        const auto row = [](const char* n, const QByteArray& s, const QList<int>& f) { QTest::newRow(n) << s << f; };
        row("11 025 Hz: four per input frame", canonical(1, 11025, 16, pcm16({0, 1000, -1000})),
            {0, 0, 250, 250, 500, 500, 750, 750, 1000, 1000, 500, 500, 0, 0, -500, -500});
        row("22 050 Hz: halves round to even", canonical(1, 22050, 16, pcm16({1, 2, 3})), {1, 1, 2, 2, 2, 2, 2, 2});
        row("8 000 Hz: step 1814", canonical(1, 8000, 16, pcm16({0, 10000})),
            {0, 0, 1814, 1814, 3628, 3628, 5442, 5442, 7256, 7256, 9070, 9070});
        row("44.1 kHz mono: step 10 000", canonical(1, 44100, 16, pcm16({7, -7, 9})), {7, 7, -7, -7});
        row("44.1 kHz 8-bit stereo", canonical(2, 44100, 8, QByteArray("\x80\x00\xFF\x81\x01\x80", 6)),
            {0, -32768, 32512, 256});
        row("22 050 Hz 8-bit mono", canonical(1, 22050, 8, QByteArray("\x00\xFF", 2)), {-32768, -32768, -128, -128});
        row("16-bit stereo, LIST first",
            riff(fmt(2, 22050, 16) + chunk("LIST", QByteArray(10, 'l')) + data(pcm16({100, -100, 300, 101}))),
            {100, -100, 200, 0});
        row("data tag at 1000",
            riff(fmt(1, 22050, 16) + chunk("junk", QByteArray(1000 - 45, 'j')) + data(pcm16({1, 2, 3, 4}))),
            {1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 4, 4});
        row("data count beyond the end", canonical(1, 22050, 16, pcm16({4, 8}), 400), {4, 4, 6, 6});
        row("one input frame", canonical(1, 22050, 16, pcm16({5})), {});
        row("no samples", canonical(1, 22050, 16, {}), {});
        row("odd byte left over", canonical(1, 22050, 16, pcm16({4, 8}) + "z"), {4, 4, 6, 6});
    }

    void resample()
    {
        QFETCH(QByteArray, sound);
        QFETCH(QList<int>, frames);
        RecordingProgress progress;
        const QString out = files.path("resampled.wav");
        QCOMPARE(mk::cd::resample(files.write("r.wav", sound), out, progress), mk::cd::AudioResult::Done);
        const QByteArray samples = pcm16(frames);
        // The length field holds the next free position: the file length + 1.
        const quint32 next = 44 + 176400 + quint32(samples.size()) + 1;
        QCOMPARE(readFile(out), header(next, next - 45) + QByteArray(176400, 0) + samples);
    }

    // 2001 input frames at 22 050 Hz: progress when 1500, 1000, 500 and 0
    // frames are left; a cancel stops at once and keeps what was written.
    void resampleProgressAndCancel()
    {
        std::vector<int> ramp(2001);
        std::iota(ramp.begin(), ramp.end(), 0);
        const QString sound = files.write("ramp.wav", canonical(1, 22050, 16, pcm16(ramp)));
        RecordingProgress progress;
        QCOMPARE(mk::cd::resample(sound, files.path("ramp-cd.wav"), progress), mk::cd::AudioResult::Done);
        QStringList shown;
        for (double p : progress.percents)
            shown << mk::cd::percentText(p);
        QCOMPARE(shown, QStringList({"25.04%", "50.02%", "75.01%", "100.00%"}));
        QCOMPARE(mk::cd::percentText(0) + mk::cd::percentText(0.5), QStringLiteral(".00%.50%")); // no leading 0

        RecordingProgress cancelling;
        cancelling.cancelAfterChecks = 10;
        const QString out = files.path("ramp-cancelled.wav");
        QCOMPARE(mk::cd::resample(sound, out, cancelling), mk::cd::AudioResult::Cancelled);
        const QByteArray partial = readFile(out);
        QCOMPARE(partial.size(), 44 + 176400 + 10 * 2 * 4); // ten pairs, two output frames each
        QCOMPARE(partial.left(8), QByteArray("RIFF\0\0\0\0", 8)); // lengths never written
        QCOMPARE(sample(partial, 44100 + 19, true), qint16(10)); // 9.5 rounds to even
    }

    // How the export ends for sounds it cannot take, or when it would write over its own sound: a warning (exact text
    // and title), no servo data written after it, the sound unchanged. 48 kHz, 24 bits and mu-law are converted now;
    // only what libsndfile cannot read is refused.
    void refusals_data()
    {
        QTest::addColumn<Refusal>("r");
        const QByteArray s = pcm16({1, 2, 3, 4});
        QTest::newRow("a rate of 0") << Refusal{canonical(1, 0, 16, s), Status::Refused, "Sound Problem",
                                                "The file \"refused.wav\" cannot be read as a sound ("};
        QTest::newRow("CD format, no data tag")
            << Refusal{riff(fmt(2, 44100, 16) + chunk("junk", QByteArray(40, 'j'))), Status::Refused,
                       "Conversion Error",
                       "There was an error while trying to convert your audio file.\rYou may be able to fix this by "
                       "opening it in another program and then saving it again."};
        QTest::newRow("resampling, data tag at 1001")
            << Refusal{riff(fmt(1, 22050, 16) + chunk("junk", QByteArray(1001 - 45, 'j')) + data(s)), Status::Failed,
                       "Error", "There was an error while resampling the sound.\r321 Invalid file format"};
        QTest::newRow("not a file")
            << Refusal{{}, Status::Failed, "Error",
                       "There was an error while checking the sound format.\r53 File not found"};
        QTest::newRow("onto its own sound")
            << Refusal{canonical(2, 44100, 16, s), Status::Refused, "Export Error",
                       "The CD playback file cannot be written over the project's sound:\r"};
    }

    void refusals()
    {
        QFETCH(Refusal, r);
        const QString sound = r.sound.isEmpty() ? files.path("missing.wav") : files.write("refused.wav", r.sound);
        const bool own = r.title == "Export Error";
        const QString out = own ? files.dir.path() + "/./refused.wav" : files.path(QTest::currentDataTag());
        RecordingProgress progress;
        const ExportResult e = exportShow(sound, out, 0, progress);
        QCOMPARE(std::tuple(int(e.status), e.message.value().title, int(e.message->icon)),
                 std::tuple(int(r.status), r.title, int(mk::MessageIcon::Exclamation)));
        QVERIFY2(e.message->text.startsWith(r.text), qPrintable(e.message->text));
        QCOMPARE(QFile::exists(out), own);
        QCOMPARE(readFile(sound), r.sound);
    }
};

QTEST_GUILESS_MAIN(TestCdAudio)
#include "tst_cdaudio.moc"
