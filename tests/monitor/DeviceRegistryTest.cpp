// The device registry as the dispatcher and the operator drive it, shown in
// real drop-down lists and labels offscreen: the login text's fields, logins
// and logouts with the selection and details they leave, the operator's choice,
// the drop-down flag, and a full table.
#include "DeviceRegistry.h"

#include "ComboBoxDeviceListsView.h"
#include "LabelDeviceDetailsView.h"
#include "ManualClock.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

using namespace monitor;
using testsupport::ManualClock;

namespace {

// The dispatcher's handling of a login and a logout, step by step, through the
// registry's API.
void login(DeviceRegistry& registry, const std::string& key, const std::string& text)
{
    DeviceLists& lists = registry.lists();
    if (lists.indexOf(key) != DeviceLists::kNone)
        return;
    const DeviceRegistry::Registration r = registry.registerDevice(key, text);
    lists.setLocateStyle(LocateStyle::SelectionOnly);
    lists.setLocateEnabled(true);
    lists.append(key, r.locateText);
    if (lists.count() == 1)
        lists.select(0);
    registry.CmbBxMACIDChange();
}

void logout(DeviceRegistry& registry, const std::string& key)
{
    DeviceLists& lists = registry.lists();
    const std::string saved = lists.locateShownText();
    const int p = lists.indexOf(key);
    if (p == DeviceLists::kNone)
        return;
    lists.remove(p);
    lists.select(lists.count() > p ? p : p - 1);
    registry.releaseDevice(key);
    if (lists.count() == 0) {
        lists.setLocateStyle(LocateStyle::FreeText);
        lists.setLocateEnabled(false);
        lists.setLocateFreeText(saved);
    }
    registry.CmbBxMACIDChange();
}

// Login text of a recorder: Info1, key part, Info3, department, user, locate, ID.
std::string loginText(const std::string& name, const std::string& id)
{
    return "i1," + name + ",i3,Dept" + name + ",User" + name + ",Loc" + name + "," + id;
}

class DeviceRegistryTest : public ::testing::Test
{
protected:
    DeviceRegistryTest()
    {
        m_registry.setNavigationRetitle(
            [this](const std::string& key) { m_retitles.push_back(key); });
        m_registry.setDetailsView(&m_detailsView);
    }

    std::vector<std::string> macIdItems() const
    {
        std::vector<std::string> items;
        for (int i = 0; i < m_macId.count(); ++i)
            items.push_back(m_macId.itemText(i).toStdString());
        return items;
    }

    ManualClock m_clock{{2024, 3, 7, 14, 5, 9, 0}};
    DeviceRegistry m_registry{m_clock};
    QComboBox m_macId;
    QComboBox m_locateId;
    ComboBoxDeviceListsView m_listsView{m_registry, m_macId, m_locateId};
    QLabel m_un, m_id, m_loc, m_dept, m_con, m_conStart;
    LabelDeviceDetailsView m_detailsView{{&m_un, &m_id, &m_loc, &m_dept, &m_con, &m_conStart}};
    std::vector<std::string> m_retitles;
};

} // namespace

TEST(LoginText, SplitsItsFieldsOneCommaAtATime)
{
    struct Case
    {
        const char* legend;
        const char* text;
        CONNECTIONINFO fields; // Key and LoginTime unused
        const char* locateIdText;
    };
    const Case cases[] = {
        {"eight fields: the ID keeps the rest, commas included",
         "a,b,c,d,e,f,g,h",
         {"", "a", "b", "c", "e", "d", "f", "g,h"},
         "f_g,h"},
        {"seven fields", "a,b,c,d,e,f,g", {"", "a", "b", "c", "e", "d", "f", "g"}, "f_g"},
        {"four fields: the fourth is the ID, the rest empty",
         "a,b,c,d",
         {"", "a", "b", "c", "", "", "", "d"},
         "_d"},
        {"empty text: every field empty", "", {}, "_"},
        {"six commas and nothing after",
         "a,b,c,d,e,f,",
         {"", "a", "b", "c", "e", "d", "f", ""},
         "f_"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        CONNECTIONINFO entry;
        entry.IdNo = "left over from before";
        splitLoginText(entry, c.text);
        EXPECT_EQ(entry.Info1, c.fields.Info1);
        EXPECT_EQ(entry.Info2, c.fields.Info2);
        EXPECT_EQ(entry.Info3, c.fields.Info3);
        EXPECT_EQ(entry.Department, c.fields.Department);
        EXPECT_EQ(entry.UserName, c.fields.UserName);
        EXPECT_EQ(entry.Locate, c.fields.Locate);
        EXPECT_EQ(entry.IdNo, c.fields.IdNo);
        EXPECT_EQ(LocateIdText(entry), c.locateIdText);
    }
}

TEST_F(DeviceRegistryTest, LoginsLogoutsAndTheOperatorsChoiceMoveSelectionAndDetails)
{
    enum class Act
    {
        Login,
        Logout,
        Choose, // the operator picks the next item with the keyboard
        DropDown,
        CloseUp
    };
    struct Expected
    {
        std::vector<std::string> keys;
        int position; // of both lists
        int entry;    // SelectedDeviceIndex
        const char* LblCon;
        const char* LblUN;
        const char* LblConStart;
        bool enabled;
        bool editable;
        const char* shown; // text of the visible list
        const char* retitle;
        bool userBusy;
    };
    struct Step
    {
        const char* legend;
        Act act;
        const char* name;
        Expected after;
    };
    // One row a line.
    // clang-format off
    const Step steps[] = {
        {"the first login is listed and selected", Act::Login, "A",
         {{"A_7"}, 0, 0, "Connection No.=1", "UserA", "Start 14:05:09", true, false, "LocA_7", "A_7", false}},
        {"a second login is appended; the selection stays", Act::Login, "B",
         {{"A_7", "B_7"}, 0, 0, "Connection No.=1", "UserA", "Start 14:05:09", true, false, "LocA_7", "A_7", false}},
        {"the operator chooses the second", Act::Choose, "",
         {{"A_7", "B_7"}, 1, 1, "Connection No.=2", "UserB", "Start 14:06:09", true, false, "LocB_7", "B_7", false}},
        {"opening the list sets UserBusy", Act::DropDown, "",
         {{"A_7", "B_7"}, 1, 1, "Connection No.=2", "UserB", "Start 14:06:09", true, false, "LocB_7", "B_7", true}},
        {"closing it clears UserBusy", Act::CloseUp, "",
         {{"A_7", "B_7"}, 1, 1, "Connection No.=2", "UserB", "Start 14:06:09", true, false, "LocB_7", "B_7", false}},
        {"a third login", Act::Login, "C",
         {{"A_7", "B_7", "C_7"}, 1, 1, "Connection No.=2", "UserB", "Start 14:06:09", true, false, "LocB_7", "B_7", false}},
        {"the first logs out: the selection moves to its position", Act::Logout, "A",
         {{"B_7", "C_7"}, 0, 1, "Connection No.=1", "UserB", "Start 14:06:09", true, false, "LocB_7", "B_7", false}},
        {"a new login takes the freed entry 0, listed last", Act::Login, "D",
         {{"B_7", "C_7", "D_7"}, 0, 1, "Connection No.=1", "UserB", "Start 14:06:09", true, false, "LocB_7", "B_7", false}},
        {"the operator steps down to the second", Act::Choose, "",
         {{"B_7", "C_7", "D_7"}, 1, 2, "Connection No.=2", "UserC", "Start 14:07:09", true, false, "LocC_7", "C_7", false}},
        {"and on to the new recorder, in entry 0", Act::Choose, "",
         {{"B_7", "C_7", "D_7"}, 2, 0, "Connection No.=3", "UserD", "Start 14:08:09", true, false, "LocD_7", "D_7", false}},
        {"the last item logs out: the one before it is selected", Act::Logout, "D",
         {{"B_7", "C_7"}, 1, 2, "Connection No.=2", "UserC", "Start 14:07:09", true, false, "LocC_7", "C_7", false}},
        {"a logout of an unlisted address changes nothing", Act::Logout, "10.0.0.7",
         {{"B_7", "C_7"}, 1, 2, "Connection No.=2", "UserC", "Start 14:07:09", true, false, "LocC_7", "C_7", false}},
        {"the first of two logs out", Act::Logout, "B",
         {{"C_7"}, 0, 2, "Connection No.=1", "UserC", "Start 14:07:09", true, false, "LocC_7", "C_7", false}},
        {"the last logout: nothing selected, blank details, the old text", Act::Logout, "C",
         {{}, -1, 0, "", "", "", false, true, "LocC_7", "", false}},
        {"a login after that lists and selects again", Act::Login, "E",
         {{"E_7"}, 0, 0, "Connection No.=1", "UserE", "Start 14:09:09", true, false, "LocE_7", "E_7", false}},
    };
    // clang-format on
    EXPECT_FALSE(m_locateId.isEnabled()) << "disabled at start";
    for (const Step& s : steps) {
        SCOPED_TRACE(s.legend);
        switch (s.act) {
        case Act::Login:
            login(m_registry, std::string(s.name) + "_7", loginText(s.name, "7"));
            m_clock.advance(60000);
            break;
        case Act::Logout:
            logout(m_registry, std::string(s.name) + "_7");
            break;
        case Act::Choose:
            QTest::keyClick(&m_locateId, Qt::Key_Down);
            break;
        case Act::DropDown:
            m_registry.CmbBxMACIDDropDown();
            break;
        case Act::CloseUp:
            m_registry.CmbBxMACIDCloseUp();
            break;
        }
        const Expected& e = s.after;
        EXPECT_EQ(macIdItems(), e.keys);
        EXPECT_EQ(m_locateId.count(), static_cast<int>(e.keys.size())) << "the lists stay parallel";
        EXPECT_EQ(m_macId.currentIndex(), e.position);
        EXPECT_EQ(m_locateId.currentIndex(), e.position);
        EXPECT_EQ(m_registry.SelectedDeviceIndex(), e.entry);
        EXPECT_EQ(m_con.text().toStdString(), e.LblCon);
        EXPECT_EQ(m_un.text().toStdString(), e.LblUN);
        EXPECT_EQ(m_conStart.text().toStdString(), e.LblConStart);
        EXPECT_EQ(m_locateId.isEnabled(), e.enabled);
        EXPECT_EQ(m_locateId.isEditable(), e.editable);
        EXPECT_EQ(m_locateId.currentText().toStdString(), e.shown);
        ASSERT_FALSE(m_retitles.empty());
        EXPECT_EQ(m_retitles.back(), e.retitle);
        EXPECT_EQ(m_registry.UserBusy(), e.userBusy);
    }
    EXPECT_EQ(m_loc.text(), "LocE");
    EXPECT_EQ(m_id.text(), "7");
    EXPECT_EQ(m_dept.text(), "DeptE");
}

TEST_F(DeviceRegistryTest, AFullTableStillListsTheRecorderWithoutAnEntry)
{
    for (int i = 1; i <= DeviceTable::kSearchedEntries; ++i)
        login(m_registry, "R_" + std::to_string(i), loginText("R", std::to_string(i)));
    EXPECT_EQ(m_registry.table()[98].Key, "R_99") << "the 99th recorder takes entry 98";
    EXPECT_TRUE(m_registry.table()[DeviceTable::kUnregisteredEntry].isFree());

    login(m_registry, "R_100", loginText("R", "100"));
    EXPECT_EQ(m_macId.count(), 100);
    ASSERT_EQ(m_locateId.count(), 100);
    EXPECT_EQ(m_locateId.itemText(99), "LocR_100 (not registered)");
    EXPECT_FALSE(m_registry.table().find("R_100"));
    EXPECT_TRUE(m_registry.table()[DeviceTable::kUnregisteredEntry].isFree()) << "never filled";

    m_registry.locateChosen(99);
    EXPECT_EQ(m_registry.SelectedDeviceIndex(), DeviceTable::kUnregisteredEntry);
    EXPECT_EQ(m_registry.details(), (DeviceDetails{"", "", "", "", "Connection No.=100", ""}))
        << "no other recorder's details";
    EXPECT_EQ(m_retitles.back(), "") << "no other recorder's key on the navigation window";

    m_registry.locateChosen(98);
    EXPECT_EQ(m_registry.SelectedDeviceIndex(), 98);
    EXPECT_EQ(m_un.text(), "UserR");

    logout(m_registry, "R_5");
    logout(m_registry, "R_100");
    EXPECT_EQ(m_macId.count(), 98);
    EXPECT_EQ(m_locateId.count(), 98);
    login(m_registry, "R_100", loginText("R", "100"));
    EXPECT_EQ(m_registry.table().find("R_100"), 4) << "registered in the freed entry";
    EXPECT_EQ(m_locateId.itemText(98), "LocR_100");
}
