// The talk's sound on a real sound server, both ways: a private PulseAudio server with a null
// sink whose monitor feeds the default source. A 1 kHz tone written to the client's audio output
// (where the device's voice plays) comes back through the monitor into the players' voice
// capture on the client's microphone (what talk and broadcast send), as 20 ms A-law blocks.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

#include "base/g711.h"
#include "player/audio_output.h"
#include "player/qvx_player.h"
#include "shell/qt_audio.h"
#include "shell/qt_audio_input.h"
#include "tests/support/temp_dir.h"

namespace {

std::string g_server;

// Goertzel power of one frequency relative to the total power of the block.
double ToneShare(const std::vector<int16_t>& s, double freq, double rate) {
    if (s.empty()) return 0;
    double k = 2 * std::cos(2 * M_PI * freq / rate), s1 = 0, s2 = 0, total = 0;
    for (int16_t v : s) {
        double s0 = v + k * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += double(v) * v;
    }
    double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return total > 0 ? power / (total * s.size() / 2) : 0;
}

struct Blocks {
    std::mutex mutex;
    std::vector<int> lengths;
    std::vector<int16_t> samples;
    std::atomic<int> count{0};
};

void OnBlock(const uint8_t* data, int length, uint32_t, void* context) {
    auto* blocks = static_cast<Blocks*>(context);
    std::lock_guard lock(blocks->mutex);
    blocks->lengths.push_back(length);
    for (int i = 0; i < length; ++i) blocks->samples.push_back(ocv::g711::ALawToLinear(data[i]));
    ++blocks->count;
}

// Writes the tone to the output in 20 ms pieces for the given time, keeping the event loop
// turning (the sink is fed from this thread).
void PlayTone(ocv::player::AudioOutput& out, int ms, double freq) {
    std::vector<int16_t> piece(160);
    static int phase = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        for (int16_t& v : piece) v = int16_t(12000 * std::sin(2 * M_PI * freq * phase++ / 8000));
        out.Write(piece.data(), piece.size());
        QTest::qWait(18);
    }
}

}  // namespace

class TalkAudioTest : public QObject {
    Q_OBJECT
private slots:
    void theSpeakersToneComesBackThroughTheMicrophoneAsALawBlocks() {
        if (g_server.empty()) QSKIP("pulseaudio could not be started here");
        ocv::InstallQtAudioOutput();
        ocv::InstallQtAudioInput();
        QVERIFY(ocv::HaveAudioInputDevice());

        int handle = 0;
        QCOMPARE(QVXPlay_VoInit(&handle), 0);
        QVXPlayVoiceAttr attr{QVXPLAY_VOICE_ALAW, 8000, 16, 128000, 2, 1, 0};
        QCOMPARE(QVXPlay_VoSetVAttr(handle, &attr), 0);
        Blocks blocks;
        QCOMPARE(QVXPlay_VoStart(handle, &OnBlock, &blocks), 0);
        // A failed check returns early: the capture still ends before the blocks go.
        struct Release {
            int handle;
            ~Release() { QVXPlay_VoDeInit(handle); }
        } release{handle};

        // Silence first: the microphone hears nothing yet. The server's source may take a
        // moment to start flowing.
        QTRY_VERIFY_WITH_TIMEOUT(blocks.count.load() > 5, 8000);
        QTest::qWait(300);
        {
            std::lock_guard lock(blocks.mutex);
            QVERIFY2(blocks.count.load() > 5, "the microphone delivers blocks while it is quiet too");
            QVERIFY(ToneShare(blocks.samples, 1000, 8000) < 0.2);
            blocks.samples.clear();
        }

        std::unique_ptr<ocv::player::AudioOutput> speaker = ocv::player::MakeAudioOutput();
        QVERIFY(speaker != nullptr);
        QCOMPARE(speaker->Start(8000, 1), 0);
        PlayTone(*speaker, 1500, 1000);
        speaker->Stop();
        QCOMPARE(QVXPlay_VoStop(handle), 0);
        int after = blocks.count.load();
        QTest::qWait(100);
        QCOMPARE(blocks.count.load(), after);  // nothing arrives once stopped

        std::lock_guard lock(blocks.mutex);
        for (int length : blocks.lengths) QCOMPARE(length, 160);  // 20 ms of A-law at 8000 Hz
        QVERIFY2(blocks.samples.size() > 8000, "too little came through the microphone");
        double peak = 0;
        for (int16_t v : blocks.samples) peak = std::max(peak, std::fabs(double(v)));
        QVERIFY2(peak > 2000, "the speaker's tone did not reach the microphone");
        QVERIFY2(ToneShare(blocks.samples, 1000, 8000) > 0.3, "the microphone did not carry the 1 kHz tone");
        QVERIFY(ToneShare(blocks.samples, 1500, 8000) < 0.05);
    }
};

int main(int argc, char** argv) {
    ocv::test::TempDir dir;
    std::string socket = dir / "native";
    setenv("XDG_RUNTIME_DIR", dir.str().c_str(), 1);
    setenv("HOME", dir.str().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    pid_t pa = fork();
    if (pa == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // the server never outlives the test
        std::string native = "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
        execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--log-level=0",
               "--load=module-null-sink sink_name=ocvnull",
               "--load=module-remap-source master=ocvnull.monitor source_name=ocvmic", ("--load=" + native).c_str(),
               (char*)nullptr);
        _exit(127);
    }
    for (int i = 0; i < 100 && pa > 0; ++i) {
        if (access(socket.c_str(), F_OK) == 0) {
            g_server = "unix:" + socket;
            break;
        }
        usleep(50000);
    }
    if (!g_server.empty()) {
        setenv("PULSE_SERVER", g_server.c_str(), 1);
        // The sink's monitor, as a source of its own, stands in for the microphone.
        if (QProcess::execute("pactl", {"set-default-source", "ocvmic"}) != 0 ||
            QProcess::execute("pactl", {"set-default-sink", "ocvnull"}) != 0)
            g_server.clear();
    }
    int rc;
    {
        QApplication app(argc, argv);
        TalkAudioTest test;
        rc = QTest::qExec(&test, argc, argv);
    }
    if (pa > 0) {
        kill(pa, SIGTERM);
        waitpid(pa, nullptr, 0);
    }
    return rc;
}

#include "talk_audio_test.moc"
