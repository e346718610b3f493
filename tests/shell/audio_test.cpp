// An alarm sound really reaches the sound server: a private PulseAudio server with a null sink
// is started, the sink's monitor is recorded with parec while QtWavPlayer plays a 1 kHz tone on
// a plain thread (as the alarm sound thread does), and the tone is found in the recording.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "shell/qt_audio.h"
#include "tests/support/temp_dir.h"

namespace {

ocv::test::TempDir* g_dir = nullptr;
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

std::vector<int16_t> ReadRaw(const QString& path) {
    QFile f(path);
    std::vector<int16_t> out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    QByteArray b = f.readAll();
    out.resize(b.size() / 2);
    std::memcpy(out.data(), b.constData(), out.size() * 2);
    return out;
}

void WriteToneWav(const std::string& path, int rate, double freq, double seconds) {
    int n = int(rate * seconds);
    std::ofstream o(path, std::ios::binary);
    auto le32 = [&](uint32_t v) { o.write(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [&](uint16_t v) { o.write(reinterpret_cast<const char*>(&v), 2); };
    o << "RIFF";
    le32(36 + n * 2);
    o << "WAVEfmt ";
    le32(16);
    le16(1);
    le16(1);
    le32(rate);
    le32(rate * 2);
    le16(2);
    le16(16);
    o << "data";
    le32(n * 2);
    for (int i = 0; i < n; ++i) le16(uint16_t(int16_t(12000 * std::sin(2 * M_PI * freq * i / rate))));
}

QStringList RecordArgs(const QString& file) {
    return {"-d", "ocvnull.monitor", "--format=s16le", "--rate=8000", "--channels=1", "--raw", file};
}

}  // namespace

class AudioTest : public QObject {
    Q_OBJECT
private slots:
    void alarmSoundReachesTheSink() {
        if (g_server.empty()) QSKIP("pulseaudio could not be started here");
        std::string wav = *g_dir / "tone.wav";
        WriteToneWav(wav, 8000, 1000, 1.5);

        // Silence first: the monitor alone holds no tone.
        QString quiet = QString::fromStdString(*g_dir / "quiet.raw");
        QProcess rec;
        rec.start("parec", RecordArgs(quiet));
        QVERIFY(rec.waitForStarted(5000));
        QTest::qWait(800);
        rec.terminate();
        rec.waitForFinished(5000);
        QVERIFY(ToneShare(ReadRaw(quiet), 1000, 8000) < 0.2);

        QString loud = QString::fromStdString(*g_dir / "loud.raw");
        rec.start("parec", RecordArgs(loud));
        QVERIFY(rec.waitForStarted(5000));
        QTest::qWait(300);
        ocv::QtWavPlayer player;
        QVERIFY(ocv::HaveAudioOutputDevice());
        // PlayBlocking returns once the tone was played (or after its bounded wait).
        std::thread sound([&] { player.PlayBlocking(wav); });
        sound.join();
        QTest::qWait(300);
        rec.terminate();
        rec.waitForFinished(5000);
        std::vector<int16_t> samples = ReadRaw(loud);
        QVERIFY2(samples.size() > 8000, "recording too short");
        double peak = 0;
        for (int16_t v : samples) peak = std::max(peak, std::fabs(double(v)));
        QVERIFY2(peak > 2000, "nothing reached the sink");
        QVERIFY2(ToneShare(samples, 1000, 8000) > 0.5, "the sink did not carry the 1 kHz tone");
        QVERIFY(ToneShare(samples, 1500, 8000) < 0.05);
    }
};

int main(int argc, char** argv) {
    ocv::test::TempDir dir;
    g_dir = &dir;
    std::string socket = dir / "native";
    setenv("XDG_RUNTIME_DIR", dir.str().c_str(), 1);
    setenv("HOME", dir.str().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    pid_t pa = fork();
    if (pa == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // the server never outlives the test
        std::string sink = "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
        execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--log-level=0",
               "--load=module-null-sink sink_name=ocvnull", ("--load=" + sink).c_str(), (char*)nullptr);
        _exit(127);
    }
    for (int i = 0; i < 100 && pa > 0; ++i) {
        if (access(socket.c_str(), F_OK) == 0) {
            g_server = "unix:" + socket;
            break;
        }
        usleep(50000);
    }
    if (!g_server.empty()) setenv("PULSE_SERVER", g_server.c_str(), 1);
    int rc;
    {
        QApplication app(argc, argv);
        AudioTest test;
        rc = QTest::qExec(&test, argc, argv);
    }
    if (pa > 0) {
        kill(pa, SIGTERM);
        waitpid(pa, nullptr, 0);
    }
    return rc;
}

#include "audio_test.moc"
