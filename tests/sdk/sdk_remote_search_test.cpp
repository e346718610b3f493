// Searching a device's recordings end to end: the descriptions read at the offsets the
// playback page reads, the day marks of a month, refusals, and replies that break the protocol.
#include <string>
#include <vector>

#include "tests/sdk/remote_site.h"

namespace ocv::test {
namespace {

class RemoteSearch : public RemoteSite {
protected:
    static std::vector<std::vector<uint8_t>> FindAll(QVX_HANDLE login, const QVX_FIND_COND& cond, int* last,
                                                     std::string* marks = nullptr) {
        std::vector<std::vector<uint8_t>> files;
        QVX_HANDLE find = 0;
        EXPECT_EQ(QVX_SDK_FindFile(login, &cond, &find), QVX_OK);
        uint8_t d[QVX_FILE_DESC_SIZE];
        int r;
        while ((r = NextFile(find, d)) == QVX_FIND_FILE) files.emplace_back(d, d + sizeof d);
        *last = r;
        if (marks) {
            char m[QVX_DAY_MARKS_SIZE];
            std::memset(m, 'z', sizeof m);
            EXPECT_EQ(QVX_SDK_FindNFileMarks(find, m), QVX_OK);
            marks->assign(m, sizeof m);
        }
        EXPECT_EQ(QVX_SDK_FindClose(find), QVX_OK);
        return files;
    }
};

TEST_F(RemoteSearch, DayOfRecordingsIsReadAtThePagesOffsets) {
    QVX_HANDLE login = Login();
    int last = -1;
    std::string marks;
    auto files = FindAll(login, Day(0, 0, 2025, 1, 10), &last, &marks);
    EXPECT_EQ(last, QVX_FIND_NO_MORE);
    // Two alarm recordings, twenty plan recordings, one manual recording (an even day).
    ASSERT_EQ(files.size(), 23u);
    const uint8_t* first = files.front().data();
    EXPECT_EQ(WordAt(first, 8), 1u);          // the device's file number
    EXPECT_EQ(WordAt(first, 12), 2u);         // alarm
    EXPECT_EQ(WordAt(first, 16), 60u);        // seconds
    EXPECT_EQ(WordAt(first, 20), 60u * 200 * 1000 / 8 / 1024);  // KiB at 200 kbit/s
    EXPECT_EQ(WordAt(first, 36), 2u);
    EXPECT_EQ(WordAt(first, 40), 10u);
    EXPECT_EQ(WordAt(first, 44), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(first + 48), "CH01_20250110_021000_A.rec");
    const uint8_t* plan = files[2].data();
    EXPECT_EQ(WordAt(plan, 12), 3u);
    EXPECT_EQ(WordAt(plan, 16), 1800u);
    EXPECT_EQ(WordAt(plan, 36), 8u);
    const uint8_t* manual = files.back().data();
    EXPECT_EQ(WordAt(manual, 12), 1u);
    EXPECT_EQ(WordAt(manual, 36), 20u);
    EXPECT_EQ(WordAt(manual, 40), 15u);
    uint32_t previous = 0;
    for (const auto& f : files) {
        uint32_t start = (WordAt(f.data(), 36) * 60 + WordAt(f.data(), 40)) * 60 + WordAt(f.data(), 44);
        EXPECT_GE(start, previous) << "in start order";
        previous = start;
        EXPECT_EQ(WordAt(f.data(), 24), 2025u);
        EXPECT_EQ(f.back(), 0) << "names end inside their field";
    }
    // January's marks: every eighth day is a gap for channel 0; the 31st has recordings.
    EXPECT_EQ(marks.substr(0, 32), "01111111011111110111111101111111");
    EXPECT_EQ(marks.substr(32), std::string(32, '\0'));
    QVX_SDK_Logout(login);
}

TEST_F(RemoteSearch, MonthWithRecordingsOnTheThirtyFirstMarksThatDay) {
    QVX_HANDLE login = Login();
    int last = -1;
    std::string marks;
    auto files = FindAll(login, Day(0, 0, 2025, 1, 31), &last, &marks);
    EXPECT_EQ(last, QVX_FIND_NO_MORE);
    EXPECT_EQ(files.size(), 22u);
    EXPECT_EQ(marks[31], '1');
    EXPECT_EQ(marks[30], '1');
    EXPECT_EQ(marks[24], '0') << "channel 0 has a gap on day 24";
    EXPECT_EQ(marks[0], '0');
    // Channel 1's gaps fall a day earlier, on the 31st among them.
    files = FindAll(login, Day(1, 0, 2025, 1, 31), &last, &marks);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(marks[31], '0');
    EXPECT_EQ(marks[30], '1');
    // A month with nothing: the search ends at once and the marks are all '0'.
    files = FindAll(login, Day(0, 0, 2025, 3, 31), &last, &marks);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(last, QVX_FIND_NO_MORE);
    EXPECT_EQ(marks.substr(0, 32), std::string(32, '0'));
    QVX_SDK_Logout(login);
}

TEST_F(RemoteSearch, TypeFilterAndRefusals) {
    QVX_HANDLE login = Login();
    int last = -1;
    auto alarms = FindAll(login, Day(0, 2, 2025, 1, 10), &last);
    ASSERT_EQ(alarms.size(), 2u);
    for (const auto& f : alarms) EXPECT_EQ(WordAt(f.data(), 12), 2u);
    EXPECT_EQ(FindAll(login, Day(0, 1, 2025, 1, 11), &last).size(), 0u) << "no manual recording on odd days";

    // The device has two channels: it refuses a search of the third.
    QVX_HANDLE find = 0;
    QVX_FIND_COND third = Day(2, 0, 2025, 1, 10);
    ASSERT_EQ(QVX_SDK_FindFile(login, &third, &find), QVX_OK);
    uint8_t d[QVX_FILE_DESC_SIZE];
    EXPECT_EQ(NextFile(find, d), QVX_FIND_REFUSED);
    char marks[QVX_DAY_MARKS_SIZE];
    EXPECT_EQ(QVX_SDK_FindNFileMarks(find, marks), QVX_ERR_DEVICE);
    EXPECT_EQ(QVX_SDK_FindClose(find), QVX_OK);
    EXPECT_EQ(QVX_SDK_FindNextFile(find, d), QVX_FIND_INVALID) << "closed";
    EXPECT_EQ(QVX_SDK_FindClose(find), QVX_ERR_HANDLE);

    // Conditions that make no sense never leave the library.
    QVX_FIND_COND bad = Day(0, 0, 2025, 2, 29);
    EXPECT_EQ(QVX_SDK_FindFile(login, &bad, &find), QVX_ERR_FAILED);
    bad = Day(0, 4, 2025, 1, 10);
    EXPECT_EQ(QVX_SDK_FindFile(login, &bad, &find), QVX_ERR_FAILED);
    bad = Day(0, 0, 2025, 1, 10, 12);
    bad.endHour = 11;
    EXPECT_EQ(QVX_SDK_FindFile(login, &bad, &find), QVX_ERR_FAILED);
    QVX_FIND_COND good = Day(0, 0, 2025, 1, 10);
    EXPECT_EQ(QVX_SDK_FindFile(login + 1000, &good, &find), QVX_ERR_HANDLE);
    EXPECT_EQ(QVX_SDK_FindFile(login, &good, nullptr), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_FindNextFile(12345678, d), QVX_FIND_INVALID);
    QVX_SDK_Logout(login);
}

TEST_F(RemoteSearch, BrokenRepliesEndTheSearchAndTheLoginRecovers) {
    QVX_HANDLE login = Login();
    for (const char* how : {"count", "name", "oversize"}) {
        SCOPED_TRACE(how);
        size_t restoredBefore = 0;
        for (auto t : exceptions_->TypesFor(login, 0)) restoredBefore += t == QVX_EXCEPTION_LOGIN_RESTORED;
        ASSERT_TRUE(sim_->ControlOk(std::string("badfind 0 ") + how));
        QVX_HANDLE find = 0;
        QVX_FIND_COND cond = Day(0, 0, 2025, 1, 10);
        ASSERT_EQ(QVX_SDK_FindFile(login, &cond, &find), QVX_OK);
        uint8_t d[QVX_FILE_DESC_SIZE];
        // The library closes a connection that breaks the protocol: the search fails, nothing
        // of the broken reply is handed out.
        EXPECT_EQ(NextFile(find, d), QVX_FIND_ERROR);
        EXPECT_EQ(QVX_SDK_FindNextFile(find, d), QVX_FIND_ERROR);
        EXPECT_EQ(QVX_SDK_FindClose(find), QVX_OK);
        ASSERT_TRUE(WaitUntil(
            [&] {
                size_t restored = 0;
                for (auto t : exceptions_->TypesFor(login, 0)) restored += t == QVX_EXCEPTION_LOGIN_RESTORED;
                return restored > restoredBefore;
            },
            10000));
    }
    // The same login searches again once it is back.
    int last = -1;
    EXPECT_EQ(FindAll(login, Day(0, 0, 2025, 1, 10), &last).size(), 23u);
    EXPECT_EQ(last, QVX_FIND_NO_MORE);
    QVX_SDK_Logout(login);
}

}  // namespace
}  // namespace ocv::test
