// The channel group page: groups created, renamed and deleted with their log entries, a channel
// in one group at most, the refusals, and the live view's tree following every change at once
// (no restart, no reload by hand).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTreeWidget>

#include "liveview/realplay_dlg.h"
#include "setup/group_rules.h"
#include "setup/group_setup_page.h"
#include "store/text_field.h"
#include "tests/setup/setup_test_support.h"
#include "widgets/event_bridge.h"

using namespace ocv;
using ocv::test::ShellFixture;

namespace {

constexpr int kLogAddGroup = 19;
constexpr int kLogModifyGroup = 20;
constexpr int kLogDeleteGroup = 21;

// Two devices whose channels the demo group holds; ports on which nothing listens.
std::vector<mkdb::DemoDevice> Site() { return {{"127.0.0.1", 9, 4}, {"127.0.0.1", 7, 2}}; }

int GroupIdOf(ConfigStore& store, const char* name) {
    for (const GroupInfo& g : store.groups())
        if (FieldText(g.name) == name) return g.id;
    return -1;
}

// The live view tree as text: "group: members | group: members".
std::string TreeText(QTreeWidget* tree) {
    std::string out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* g = tree->topLevelItem(i);
        if (!out.empty()) out += " | ";
        out += g->text(0).toStdString() + ": " + std::to_string(g->childCount());
    }
    return out;
}

}  // namespace

TEST(GroupSetupPage, GroupsAreAddedRenamedAndDeletedWithTheirLogEntries) {
    ShellFixture f(Site());
    ASSERT_TRUE(f.ok);
    EventBridge bridge(f.service->hub());
    LogInAs(f.store().user(f.SlotOf("admin")));
    UIGroupSetupDlg page(f.store(), f.service->log(), bridge, nullptr);

    page.nameEdit()->setText("  Gate  ");
    page.AddGroup();
    const int gate = GroupIdOf(f.store(), "Gate");
    ASSERT_GT(gate, 0) << "the name is trimmed";
    EXPECT_EQ(page.groupTree()->topLevelItemCount(), 2);

    // Refusals leave the groups as they are.
    for (const char* bad : {"", "   ", "Gate", "Demo"}) {
        f.messages.clear();
        page.nameEdit()->setText(bad);
        page.AddGroup();
        ASSERT_EQ(f.messages.size(), 1u) << bad;
        EXPECT_EQ(f.messages[0].kind, kMsgWarning);
    }
    EXPECT_EQ(f.store().groups().size(), 2u);

    page.SelectGroup(gate);
    page.nameEdit()->setText("Gate");  // its own name: no change, accepted
    f.messages.clear();
    page.RenameGroup();
    EXPECT_TRUE(f.messages.empty());
    page.nameEdit()->setText("Demo");
    page.RenameGroup();
    EXPECT_EQ(f.Texts().back(), "The group name already exists!");
    page.nameEdit()->setText("North gate");
    page.RenameGroup();
    EXPECT_EQ(GroupIdOf(f.store(), "North gate"), gate);

    f.answer = false;  // the question is answered Cancel
    page.SelectGroup(gate);
    page.DeleteGroup();
    EXPECT_EQ(f.store().groups().size(), 2u);
    f.answer = true;
    page.SelectGroup(gate);
    page.DeleteGroup();
    EXPECT_EQ(GroupIdOf(f.store(), "North gate"), -1);

    // Nothing selected.
    page.groupTree()->setCurrentItem(nullptr);
    page.DeleteGroup();
    EXPECT_EQ(f.Texts().back(), "Please select a group!");

    const std::vector<int> log = test::OperationLog(f);
    EXPECT_EQ(test::CountOf(log, kLogAddGroup), 1);
    EXPECT_EQ(test::CountOf(log, kLogModifyGroup), 2);  // the accepted renames
    EXPECT_EQ(test::CountOf(log, kLogDeleteGroup), 1);
}

TEST(GroupSetupPage, AChannelBelongsToOneGroupAtMost) {
    ShellFixture f(Site());
    EventBridge bridge(f.service->hub());
    LogInAs(f.store().user(f.SlotOf("admin")));
    UIGroupSetupDlg page(f.store(), f.service->log(), bridge, nullptr);
    const int demo = GroupIdOf(f.store(), "Demo");
    ASSERT_EQ(f.store().groups()[0].memberCount(), 6);

    page.nameEdit()->setText("Yard");
    page.AddGroup();
    const int yard = GroupIdOf(f.store(), "Yard");

    // Every channel is in the demo group: the rules refuse a second membership, and the tree does
    // not even offer them.
    EXPECT_STREQ(AddMemberRefusal(f.store(), yard, 0, 1), "The channel already belongs to a group!");
    page.SelectGroup(yard);
    page.SelectChannels({{0, 1}});
    page.AddMembers();
    EXPECT_EQ(FindGroup(f.store(), yard)->memberCount(), 0);
    EXPECT_EQ(f.Texts().back(), "Please select a channel!");

    // Out of the demo group, into the yard.
    page.SelectGroup(demo);
    page.SelectMembers({{0, 1}, {1, 0}});
    page.RemoveMembers();
    EXPECT_EQ(FindGroup(f.store(), demo)->memberCount(), 4);
    page.SelectGroup(yard);
    page.SelectChannels({{0, 1}, {1, 0}});
    page.AddMembers();
    ASSERT_EQ(FindGroup(f.store(), yard)->memberCount(), 2);
    EXPECT_EQ(GroupOfChannel(f.store(), 1, 0)->id, yard);

    // A selected device stands for its free channels only.
    page.SelectGroup(demo);
    page.SelectMembers({{0, 0}, {0, 2}, {0, 3}});
    page.RemoveMembers();
    page.SelectGroup(yard);
    page.channelTree()->clearSelection();
    page.channelTree()->topLevelItem(0)->setSelected(true);
    page.AddMembers();
    EXPECT_EQ(FindGroup(f.store(), yard)->memberCount(), 5);
    EXPECT_EQ(FindGroup(f.store(), demo)->memberCount(), 1);

    // Rules for what cannot be selected in the tree at all.
    EXPECT_STREQ(AddMemberRefusal(f.store(), 9999, 1, 1), "Please select a group!");
    EXPECT_STREQ(AddMemberRefusal(f.store(), yard, 1, 5), "Please select a channel!");
    EXPECT_STREQ(AddMemberRefusal(f.store(), yard, 200, 0), "Please select a channel!");
    EXPECT_EQ(test::CountOf(test::OperationLog(f), kLogModifyGroup), 2 + 2 + 3 + 3);
}

TEST(GroupSetupPage, GroupNameAndCountLimits) {
    ShellFixture f;
    EXPECT_STREQ(GroupNameRefusal(f.store(), std::string(kTextBytes, 'g')), "The group name is too long!");
    EXPECT_EQ(GroupNameRefusal(f.store(), std::string(kTextBytes - 1, 'g')), nullptr);
    while (static_cast<int>(f.store().groups().size()) < kMaxShownGroups)
        ASSERT_EQ(f.store().AddGroup(("g" + std::to_string(f.store().groups().size())).c_str()), 0);
    EXPECT_STREQ(NewGroupRefusal(f.store()), "No more groups can be created!");

    EventBridge bridge(f.service->hub());
    LogInAs(f.store().user(f.SlotOf("admin")));
    UIGroupSetupDlg page(f.store(), f.service->log(), bridge, nullptr);
    page.nameEdit()->setText("one too many");
    page.AddGroup();
    EXPECT_EQ(f.Texts().back(), "No more groups can be created!");
    EXPECT_EQ(static_cast<int>(f.store().groups().size()), kMaxShownGroups);
}

TEST(GroupSetupPage, TheLiveViewTreeFollowsEveryGroupChangeWithoutARestart) {
    ShellFixture f(Site());
    auto window = test::LoggedInWindow(f);
    ASSERT_TRUE(window);
    auto* live = window->findChild<UIRealPlayDlg*>();
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(TreeText(live->tree()), "Demo: 6");

    window->OpenPage("loadDevice");
    auto* page = window->findChild<UIGroupSetupDlg*>();
    ASSERT_NE(page, nullptr);
    auto settle = [&] {
        window->events().DeliverPending();
        QCoreApplication::processEvents();
    };

    page->nameEdit()->setText("Yard");
    page->AddGroup();
    settle();
    EXPECT_EQ(TreeText(live->tree()), "Demo: 6 | Yard: 0");

    page->SelectGroup(GroupIdOf(f.store(), "Demo"));
    page->SelectMembers({{1, 0}, {1, 1}});
    page->RemoveMembers();
    page->SelectGroup(GroupIdOf(f.store(), "Yard"));
    page->SelectChannels({{1, 0}, {1, 1}});
    page->AddMembers();
    settle();
    EXPECT_EQ(TreeText(live->tree()), "Demo: 4 | Yard: 2");
    EXPECT_NE(live->ChannelItem(1, 1, 0), nullptr);
    EXPECT_EQ(live->ChannelItem(0, 1, 0), nullptr);

    page->nameEdit()->setText("Back yard");
    page->RenameGroup();
    settle();
    EXPECT_EQ(TreeText(live->tree()), "Demo: 4 | Back yard: 2");

    page->DeleteGroup();
    settle();
    EXPECT_EQ(TreeText(live->tree()), "Demo: 4");
}
