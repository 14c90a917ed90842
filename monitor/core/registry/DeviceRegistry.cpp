#include "DeviceRegistry.h"

#include "DateTimeFormat.h"

namespace monitor {

namespace {

constexpr std::string_view kConnectionNumberCaption = "Connection No.=";
constexpr std::string_view kStartCaption = "Start ";
constexpr std::string_view kStartTimePattern = "hh:nn:ss";

} // namespace

DeviceRegistry::DeviceRegistry(const platform::Clock& clock) : m_clock(clock) {}

void DeviceRegistry::setDetailsView(DeviceDetailsView* view)
{
    m_detailsView = view;
    if (m_detailsView)
        m_detailsView->showDetails(m_details);
}

DeviceRegistry::Registration DeviceRegistry::registerDevice(std::string_view key,
                                                            std::string_view loginText)
{
    const platform::DateTimeMs now = platform::toDateTimeMs(m_clock.now());
    Registration result;
    result.entry = m_table.registerDevice(key, loginText, now);
    if (result.entry) {
        result.locateText = LocateIdText(m_table[*result.entry]);
    } else {
        CONNECTIONINFO unregistered;
        splitLoginText(unregistered, loginText);
        result.locateText = LocateIdText(unregistered).append(kUnregisteredMark);
    }
    return result;
}

void DeviceRegistry::CmbBxMACIDChange()
{
    // One selection serves both lists, so the hidden list already shows the
    // position chosen in the visible one.
    const std::string& key = m_lists.selectedKey();
    if (const std::optional<int> entry = m_table.find(key))
        m_selectedDeviceIndex = *entry;
    else if (!key.empty())
        m_selectedDeviceIndex = DeviceTable::kUnregisteredEntry;

    bool unregistered = m_selectedDeviceIndex == DeviceTable::kUnregisteredEntry;
    if (m_entrySource) {
        std::optional<CONNECTIONINFO> sourced;
        if (!key.empty())
            sourced = m_entrySource(key);
        unregistered = !sourced;
        m_sourcedEntry = sourced.value_or(CONNECTIONINFO{});
    }
    const CONNECTIONINFO& entry = selectedEntry();
    if (key.empty()) {
        m_details = DeviceDetails{};
    } else {
        m_details.LblConStart =
            unregistered ? std::string()
                         : std::string(kStartCaption) +
                               platform::formatDateTime(kStartTimePattern,
                                                        platform::fromDateTimeMs(entry.LoginTime));
        m_details.LblCon =
            std::string(kConnectionNumberCaption) + std::to_string(m_lists.selected() + 1);
        m_details.LblUN = entry.UserName;
        m_details.LblID = entry.IdNo;
        m_details.LblLoc = entry.Locate;
        m_details.LblDept = entry.Department;
    }
    if (m_detailsView)
        m_detailsView->showDetails(m_details);

    if (m_retitle)
        m_retitle(entry.Key);

    if (key != m_toldKey) {
        m_toldKey = key;
        if (m_selectionChanged)
            m_selectionChanged(m_toldKey);
    }
}

void DeviceRegistry::locateChosen(int position)
{
    m_lists.select(position);
    CmbBxMACIDChange();
}

} // namespace monitor
