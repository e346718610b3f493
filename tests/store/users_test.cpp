// User accounts: unique names, 64 slots, modify and delete by id.
#include <cstring>

#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

using UsersTest = StoreTest;

UserInfo User(const std::string& name, const std::string& password, int level, int option) {
    UserInfo u{};
    CopyText(u.userName, name);
    CopyText(u.password, password);
    u.level = level;
    u.option = option;
    return u;
}

TEST_F(UsersTest, NamesAreUniqueCaseSensitivelyAndSlotsRunOut) {
    ASSERT_EQ(store_.AddUser(User("admin", "", kLevelAdministrator, kAllRights)), 0);
    EXPECT_EQ(store_.AddUser(User("admin", "other", kLevelGuest, 0)), -2);
    EXPECT_EQ(store_.AddUser(User("Admin", "x", kLevelViewUser, kViewUserRights)), 0);
    EXPECT_EQ(store_.AddUser(User("", "x", kLevelGuest, 0)), -1);
    EXPECT_EQ(Count("USERINFO"), 2);
    for (int i = 2; i < kMaxUsers; ++i) ASSERT_EQ(store_.AddUser(User("u" + std::to_string(i), "", 2, 0)), 0);
    EXPECT_EQ(store_.AddUser(User("one-too-many", "", 2, 0)), -1);
    EXPECT_EQ(Count("USERINFO"), kMaxUsers);
    EXPECT_GT(store_.user(1).id, store_.user(0).id);
}

TEST_F(UsersTest, ModifyKeepsTheNameDeleteFreesTheSlotAndReloadAgrees) {
    ASSERT_EQ(store_.AddUser(User("admin", "", kLevelAdministrator, kAllRights)), 0);
    ASSERT_EQ(store_.AddUser(User("viewer", "pw", kLevelViewUser, kViewUserRights)), 0);
    UserInfo changed = store_.user(1);
    CopyText(changed.userName, "renamed");
    CopyText(changed.password, "NewPass");
    changed.option = kViewUserRights | 64;
    ASSERT_EQ(store_.ModifyUser(changed), 0);
    EXPECT_STREQ(store_.user(1).userName, "viewer");
    EXPECT_STREQ(store_.user(1).password, "NewPass");
    EXPECT_EQ(store_.user(1).option, 2302);

    auto again = Reload();
    EXPECT_STREQ(again->user(0).userName, "admin");
    EXPECT_STREQ(again->user(0).password, "");
    EXPECT_EQ(again->user(0).option, kAllRights);
    EXPECT_STREQ(again->user(1).userName, "viewer");
    EXPECT_STREQ(again->user(1).password, "NewPass");
    EXPECT_EQ(again->user(1).level, kLevelViewUser);
    EXPECT_EQ(again->user(1).option, 2302);

    ASSERT_EQ(store_.DeleteUser(store_.user(0)), 0);
    EXPECT_EQ(store_.user(0).id, -1);
    EXPECT_STREQ(store_.user(0).userName, "");
    EXPECT_EQ(Count("USERINFO"), 1);
    // The freed slot is the next one used.
    ASSERT_EQ(store_.AddUser(User("admin", "again", 0, kAllRights)), 0);
    EXPECT_STREQ(store_.user(0).password, "again");
}

TEST_F(UsersTest, PasswordCutMidCharacterIsStoredWithoutTheBrokenCharacter) {
    // Sixteen "é" are 32 bytes; a cut by bytes into the 32-byte field keeps 31: fifteen whole
    // characters and the first byte of the sixteenth, which nobody can type.
    std::string accents;
    for (int i = 0; i < 16; ++i) accents += "\xC3\xA9";
    UserInfo u = User("night shift", "", kLevelViewUser, kViewUserRights);
    std::memcpy(u.password, accents.data(), sizeof(u.password) - 1);
    u.password[sizeof(u.password) - 1] = '\0';
    ASSERT_EQ(store_.AddUser(u), 0);
    EXPECT_EQ(std::string(store_.user(0).password), accents.substr(0, 30));
    EXPECT_EQ(Query(path_, "select PASSWORD from USERINFO"), accents.substr(0, 30));

    UserInfo changed = store_.user(0);
    std::memcpy(changed.password, ("ab" + accents).data(), sizeof(changed.password) - 1);
    ASSERT_EQ(store_.ModifyUser(changed), 0);  // "ab" and 14.5 characters: the half goes
    EXPECT_EQ(std::string(store_.user(0).password), "ab" + accents.substr(0, 28));
    EXPECT_EQ(Reload()->user(0).password, "ab" + accents.substr(0, 28));
}

}  // namespace
}  // namespace ocv::test
