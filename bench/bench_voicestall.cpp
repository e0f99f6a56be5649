// Gaps in the wizard's voice at the sound server while the GUI thread is busy: an utterance is
// handed to his audio output as his voice hands it (all of it within milliseconds, in 48 ms
// chunks), and halfway through the GUI thread is blocked for 100 ms. The utterance is a steady
// tone rather than words, so any silence heard in it is a gap. Recorded from the default sink's
// monitor (a PulseAudio null sink in the benchmark run).
#include "benchreport.h"
#include "benchwait.h"
#include "monitorrecorder.h"
#include "wizard/audioout.h"
#include "wizard/voice.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <cmath>
#include <numbers>
#include <thread>

using namespace calvenza;
using namespace calvenza::bench;

namespace {

constexpr int toneMs = 3000;
constexpr int stallAtMs = 1500;
constexpr int stallMs = 100;
constexpr int chunkSamples = speechSampleRate * 48 / 1000;

QByteArray tone()
{
    QByteArray pcm(qsizetype(speechSampleRate) * toneMs / 1000 * 2, Qt::Uninitialized);
    auto *samples = reinterpret_cast<qint16 *>(pcm.data());
    for (qsizetype i = 0; i < pcm.size() / 2; ++i)
        samples[i]
            = qint16(8000 * std::sin(2 * std::numbers::pi * 440 * double(i) / speechSampleRate));
    return pcm;
}

struct Heard
{
    int gaps = 0;
    int gapMs = 0;
    int lengthMs = 0;
};

// Quiet blocks between the first and the last loud one, counted as runs.
Heard listen(const std::vector<int> &peaks)
{
    Heard heard;
    const auto loud = [](int peak) { return peak > 2000; };
    std::size_t first = 0, last = peaks.size();
    while (first < peaks.size() && !loud(peaks[first]))
        ++first;
    while (last > first && !loud(peaks[last - 1]))
        --last;
    bool inGap = false;
    for (std::size_t i = first; i < last; ++i) {
        if (!loud(peaks[i])) {
            heard.gapMs += MonitorRecorder::blockMs;
            heard.gaps += inGap ? 0 : 1;
        }
        inGap = !loud(peaks[i]);
    }
    heard.lengthMs = int(last - first) * MonitorRecorder::blockMs;
    return heard;
}

} // namespace

int main(int argc, char *argv[])
{
    qunsetenv("CALVENZA_SILENT_AUDIO");
    QCoreApplication app(argc, argv);
    // --calm: the same without blocking, to see that the tone itself is heard whole.
    const bool stall = !app.arguments().contains(QStringLiteral("--calm"));
    const std::string measure
        = "Voice heard at the sound server, GUI thread blocked 100 ms mid-utterance: gaps";
    const std::string target = "no gaps";
    MonitorRecorder recorder;
    std::string error;
    if (!recorder.start(&error)) {
        reportRow(measure, "not measured: no sound server (" + error + ")", target, false);
        return 0;
    }
    WizardClock clock;
    AudioOut audio(AudioOut::Mode::Device, clock);
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        reportRow(measure, "not measured: no sound device", target, false);
        return 0;
    }
    waitFor(2500); // an idle null sink holds back its first two seconds
    const QByteArray pcm = tone();
    const int rounds = 5;
    int gaps = 0, gapMs = 0, longest = 0;
    for (int round = 0; round < rounds; ++round) {
        recorder.keepPeaks(true);
        waitFor(100);
        audio.begin();
        for (qsizetype at = 0; at < pcm.size(); at += chunkSamples * 2)
            audio.append(pcm.mid(at, chunkSamples * 2));
        audio.endOfInput();
        waitFor(stallAtMs);
        if (stall)
            std::this_thread::sleep_for(std::chrono::milliseconds(stallMs)); // the busy GUI thread
        if (!waitForSignal(&audio, &AudioOut::drained, toneMs + 2000)) {
            reportRow(measure, "not measured: the utterance never ended", target, false);
            return 1;
        }
        waitFor(300);
        recorder.keepPeaks(false);
        const Heard heard = listen(recorder.peaks());
        std::printf("round %d: %d gaps, %d ms silent, heard %d ms of %d\n", round + 1, heard.gaps,
            heard.gapMs, heard.lengthMs, toneMs);
        gaps += heard.gaps;
        gapMs += heard.gapMs;
        longest = std::max(longest, heard.lengthMs);
        if (heard.lengthMs < toneMs / 2) {
            reportRow(measure, "not measured: the utterance was not heard", target, false);
            return 1;
        }
    }
    reportRow(measure,
        format("%.0f gaps", gaps) + format(", %.0f ms silent", gapMs)
            + format(" in %.0f utterances of 3 s", rounds)
            + format(" (longest heard %.0f ms)", longest),
        target, gaps == 0);
    return 0;
}
