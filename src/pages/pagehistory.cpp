#include "pages/pagehistory.h"

bool HistoryEntry::samePage(const HistoryEntry &other) const
{
    if (kind != other.kind)
        return false;
    if (kind == HistoryKind::Search)
        return query == other.query;
    return id == other.id && currentItem == other.currentItem;
}

quint64 PageHistory::visit(HistoryEntry entry)
{
    if (m_current >= 0 && m_entries[m_current].samePage(entry)) {
        HistoryEntry &now = m_entries[m_current];
        now.toolbarPage = entry.toolbarPage;
        now.selectedId = entry.selectedId;
        return now.serial;
    }
    m_entries.resize(m_current + 1);
    entry.serial = m_nextSerial++;
    m_entries.push_back(entry);
    if (m_entries.size() > kLimit)
        m_entries.remove(0, m_entries.size() - kLimit);
    m_current = int(m_entries.size()) - 1;
    return entry.serial;
}

std::optional<HistoryEntry> PageHistory::step(int direction, const Exists &exists)
{
    int at = m_current + direction;
    while (at >= 0 && at < m_entries.size()) {
        if (!exists || exists(m_entries[at])) {
            m_current = at;
            return m_entries[at];
        }
        m_entries.remove(at);
        if (at < m_current)
            --m_current;
        if (direction < 0)
            --at; // the entry before the removed one moved to no other place
    }
    return std::nullopt;
}

std::optional<HistoryEntry> PageHistory::back(const Exists &exists)
{
    return step(-1, exists);
}

std::optional<HistoryEntry> PageHistory::forward(const Exists &exists)
{
    return step(+1, exists);
}

void PageHistory::prune(const Exists &exists)
{
    QVector<HistoryEntry> kept;
    int current = -1;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (exists(m_entries[i]))
            kept.push_back(m_entries[i]);
        if (i == m_current)
            current = int(kept.size()) - 1; // itself when kept, else the older survivor
    }
    m_entries = std::move(kept);
    m_current = m_entries.isEmpty() ? -1 : std::max(current, 0);
}

void PageHistory::setScroll(quint64 serial, int scroll)
{
    for (HistoryEntry &entry : m_entries) {
        if (entry.serial == serial) {
            entry.scroll = scroll;
            return;
        }
    }
}

const HistoryEntry *PageHistory::current() const
{
    return m_current >= 0 && m_current < m_entries.size() ? &m_entries[m_current] : nullptr;
}
