#include "DeviceLists.h"

namespace monitor {

namespace {

const std::string kNoKey;

} // namespace

void DeviceLists::setView(DeviceListsView* view)
{
    m_view = view;
    if (!m_view)
        return;
    for (const Item& i : m_items)
        m_view->itemAppended(i.key, i.locateText);
    m_view->selectionChanged(m_selected);
    locateIdChanged();
}

int DeviceLists::indexOf(std::string_view key) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].key == key)
            return static_cast<int>(i);
    return kNone;
}

void DeviceLists::append(std::string key, std::string locateText, std::uint64_t connection)
{
    m_items.push_back({std::move(key), std::move(locateText), connection});
    if (m_view)
        m_view->itemAppended(m_items.back().key, m_items.back().locateText);
}

void DeviceLists::remove(int position)
{
    item(position); // throws std::out_of_range for a position that is not there
    m_items.erase(m_items.begin() + position);
    const int before = m_selected;
    if (m_selected == position)
        m_selected = kNone;
    else if (m_selected > position)
        --m_selected;
    if (m_view) {
        m_view->itemRemoved(position);
        m_view->selectionChanged(m_selected);
        if (before == position)
            locateIdChanged();
    }
}

void DeviceLists::select(int position)
{
    if (position != kNone)
        item(position);
    m_selected = position;
    if (m_view) {
        m_view->selectionChanged(m_selected);
        locateIdChanged();
    }
}

const std::string& DeviceLists::selectedKey() const
{
    return m_selected == kNone ? kNoKey : key(m_selected);
}

std::string DeviceLists::locateShownText() const
{
    if (m_locateStyle == LocateStyle::FreeText)
        return m_freeText;
    return m_selected == kNone ? std::string() : locateText(m_selected);
}

void DeviceLists::setLocateEnabled(bool enabled)
{
    m_locateEnabled = enabled;
    locateIdChanged();
}

void DeviceLists::setLocateStyle(LocateStyle style)
{
    if (style == m_locateStyle)
        return;
    if (style == LocateStyle::FreeText)
        m_freeText = locateShownText();
    m_locateStyle = style;
    locateIdChanged();
}

void DeviceLists::setLocateFreeText(std::string text)
{
    m_freeText = std::move(text);
    if (m_locateStyle == LocateStyle::FreeText)
        locateIdChanged();
}

void DeviceLists::locateIdChanged()
{
    if (m_view)
        m_view->locateIdChanged(m_locateEnabled, m_locateStyle, locateShownText());
}

} // namespace monitor
