#include <QTest>
#include <cstring>

#include "shell/status_worker.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/test_classes.h"

using namespace ocv;
using ocv::test::ShellFixture;

namespace {
struct Sent {
    int device, channel;
    uint32_t command;
    int32_t words[15];
    uint32_t length;
};
}  // namespace

void StatusTest::timeSyncMarksEveryChannelAtCheckTime() {
    ShellFixture f({{"127.0.0.1", 37001, 2}, {"127.0.0.2", 37002, 3}});
    QVERIFY(f.ok);
    f.store().MutableSettingsForTesting().ENABLETIME = 1;
    f.store().MutableSettingsForTesting().CHECKTIME = 3600;
    StatusWorker worker(f.store(), StatusWorker::Hooks{nullptr, nullptr, [&] { f.service->timeSync().MarkAll(f.store()); },
                                                        nullptr});
    worker.SetMetersEnabled(false);
    std::vector<Sent> sent;
    TimeSyncWorker sync(f.store(), f.service->timeSync(), [&](int d, int c, uint32_t command, const void* block, uint32_t length) {
        Sent s{d, c, command, {}, length};
        std::memcpy(s.words, block, sizeof(s.words));
        sent.push_back(s);
        return -1;  // a failed send still clears the mark
    });

    SetClockForTesting(2026, 6, 1, 0, 59, 59);
    worker.Tick();
    QCOMPARE(sync.Pass(), 0);
    AdvanceClockForTesting(1);  // 01:00:00
    worker.Tick();
    QCOMPARE(sync.Pass(), 5);
    QCOMPARE(sent.size(), size_t(5));
    for (const Sent& s : sent) {
        QCOMPARE(s.command, 4117u);
        QCOMPARE(s.length, 60u);
        QCOMPARE(s.words[0], 2026);
        QCOMPARE(s.words[1], 6);
        QCOMPARE(s.words[2], 1);
        QCOMPARE(s.words[3], 1);
        QCOMPARE(s.words[4], 0);
        QCOMPARE(s.words[5], 0);
        for (int w = 6; w < 15; ++w) QCOMPARE(s.words[w], 0);
    }
    QCOMPARE(sent[0].device, 0);
    QCOMPARE(sent[4].device, 1);
    QCOMPARE(sent[4].channel, 2);
    QCOMPARE(sync.Pass(), 0);  // marks were cleared
    AdvanceClockForTesting(1);
    worker.Tick();
    QCOMPARE(sync.Pass(), 0);

    // Switched off: nothing at the same second the next day.
    f.store().MutableSettingsForTesting().ENABLETIME = 0;
    SetClockForTesting(2026, 6, 2, 1, 0, 0);
    worker.Tick();
    QCOMPARE(sync.Pass(), 0);
    SetClockSourceForTesting(nullptr);
    RenewClockSnapshot();
}

void StatusTest::dayChangeAndLogPruning() {
    ShellFixture f;
    int resets = 0, prunes = 0;
    std::vector<StatusTick> posted;
    StatusWorker worker(f.store(), StatusWorker::Hooks{[&] { ++resets; }, [&] { ++prunes; }, nullptr,
                                                       [&](const StatusTick& t) { posted.push_back(t); }});
    worker.SetMetersEnabled(false);
    SetClockForTesting(2026, 12, 31, 23, 59, 59);
    worker.Tick();
    QCOMPARE(resets, 0);  // the first tick only shows the date
    QVERIFY(posted.back().dateChanged);
    AdvanceClockForTesting(1);
    worker.Tick();
    QCOMPARE(resets, 1);
    QVERIFY(posted.back().dateChanged);
    QCOMPARE(posted.back().now.year, 2027);
    AdvanceClockForTesting(299);  // 00:04:59
    worker.Tick();
    QCOMPARE(prunes, 0);
    QVERIFY(!posted.back().dateChanged);
    AdvanceClockForTesting(1);
    worker.Tick();
    QCOMPARE(prunes, 1);
    AdvanceClockForTesting(1);
    worker.Tick();
    QCOMPARE(prunes, 1);
    QCOMPARE(resets, 1);
    QCOMPARE(posted.back().cpuPercent, -1);
    SetClockSourceForTesting(nullptr);
    RenewClockSnapshot();
}

void StatusTest::lateTickStillRunsTheTriggersOfTheSecondsItMissed() {
    ShellFixture f({{"127.0.0.1", 37001, 2}});
    QVERIFY(f.ok);
    f.store().MutableSettingsForTesting().ENABLETIME = 1;
    f.store().MutableSettingsForTesting().CHECKTIME = 3600;
    int prunes = 0;
    TimeSyncWorker sync(f.store(), f.service->timeSync(), [](int, int, uint32_t, const void*, uint32_t) { return 0; });
    // A worker that starts at the given local time (its first tick runs that second only).
    auto startAt = [&](int day, int hour, int minute, int second) {
        auto w = std::make_unique<StatusWorker>(
            f.store(), StatusWorker::Hooks{nullptr, [&] { ++prunes; },
                                           [&] { f.service->timeSync().MarkAll(f.store()); }, nullptr});
        w->SetMetersEnabled(false);
        SetClockForTesting(2026, 6, day, hour, minute, second);
        w->Tick();
        return w;
    };

    // A busy machine: the tick after 00:04:59 comes at 00:05:01.
    auto worker = startAt(1, 0, 4, 59);
    AdvanceClockForTesting(2);
    worker->Tick();
    QCOMPARE(prunes, 1);
    // A tick that comes early sees its second twice and runs its triggers once.
    worker = startAt(2, 0, 4, 59);
    AdvanceClockForTesting(1);
    worker->Tick();
    worker->Tick();
    QCOMPARE(prunes, 2);

    // The same for the daily time synchronisation at CHECKTIME (01:00:00): 00:59:58, 01:00:01.
    worker = startAt(2, 0, 59, 58);
    QCOMPARE(sync.Pass(), 0);
    AdvanceClockForTesting(3);
    worker->Tick();
    QCOMPARE(sync.Pass(), 2);

    // The machine slept for two days: each trigger of the last day runs once, not per day.
    worker = startAt(3, 12, 0, 0);
    AdvanceClockForTesting(2 * 86400);
    worker->Tick();
    QCOMPARE(prunes, 3);
    QCOMPARE(sync.Pass(), 2);
    // A clock set back runs the second it lands on, and nothing twice.
    SetClockForTesting(2026, 6, 5, 0, 5, 0);
    worker->Tick();
    worker->Tick();
    QCOMPARE(prunes, 4);
    QCOMPARE(sync.Pass(), 0);
    SetClockSourceForTesting(nullptr);
    RenewClockSnapshot();
}

void StatusTest::networkMeterBoundaries() {
    QVX_NET_RECORD r[3] = {};
    QCOMPARE(NetworkPercent(nullptr, 0), -1);
    r[0].linkSpeed = 100000000;  // 100 Mbit/s
    r[0].received = 1000;
    r[0].sent = 250;
    QCOMPARE(NetworkPercent(r, 1), 10);  // 1250 kB/s of 12500
    r[1].linkSpeed = 999;  // below 1 kbit/s: skipped
    r[1].sent = 5000;
    QCOMPARE(NetworkPercent(r, 2), -1);
    r[2].linkSpeed = 1000000;
    r[2].sent = 6000;
    QCOMPARE(NetworkPercent(r, 3), 100);  // clamped
    r[2].sent = 0xFFFFFFFFu;
    r[2].received = 0xFFFFFFFFu;
    QCOMPARE(NetworkPercent(r, 3), 100);  // no overflow
}
