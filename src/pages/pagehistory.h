// The window's one history of shown pages: product, group, manufacturer and partner pages and
// search results, each with where it was shown (toolbar page, list selection, scroll position).
#pragma once

#include <QString>
#include <QVector>
#include <functional>
#include <optional>

enum class HistoryKind { Product, Group, Vendor, Distributor, Dealer, Search };

struct HistoryEntry
{
    HistoryKind kind = HistoryKind::Product;
    qint64 id = 0;          // the record the page shows (unused for search results)
    QString query;          // search results: the query they answer
    int toolbarPage = -1;   // the page index of the toolbar button it was on
    qint64 selectedId = 0;  // the list selection beside the view (0: none)
    qint64 currentItem = 0; // partner pages: the product their back link returns to (0: none)
    int scroll = 0;         // the view's vertical scroll position when it was left
    quint64 serial = 0;     // set by PageHistory: identifies the entry while it lives

    // The same page (scroll and serial aside): showing it again adds no entry.
    bool samePage(const HistoryEntry &other) const;
};

class PageHistory
{
public:
    static constexpr int kLimit = 100;
    using Exists = std::function<bool(const HistoryEntry &)>;

    // Records a newly shown page after the current one: the forward entries are dropped, the
    // oldest entry goes when the history is full. Showing the current page again only updates
    // its place. Returns the serial of the entry now current.
    quint64 visit(HistoryEntry entry);

    // The nearest entry back (or forward) that `exists` accepts; it becomes current. Entries
    // it rejects are removed, so they are not offered again. nullopt when there is none.
    std::optional<HistoryEntry> back(const Exists &exists);
    std::optional<HistoryEntry> forward(const Exists &exists);
    // Whether back() or forward() has an entry to try.
    bool canGoBack() const { return m_current > 0; }
    bool canGoForward() const { return m_current >= 0 && m_current + 1 < m_entries.size(); }

    // Removes every entry `exists` rejects (after a data reload); the current one stays current
    // when it survives, otherwise the nearest older survivor becomes current.
    void prune(const Exists &exists);

    // Stores the scroll position of the entry with that serial, when it is still there.
    void setScroll(quint64 serial, int scroll);

    const HistoryEntry *current() const;
    int size() const { return int(m_entries.size()); }
    int currentIndex() const { return m_current; }
    const QVector<HistoryEntry> &entries() const { return m_entries; }

private:
    std::optional<HistoryEntry> step(int direction, const Exists &exists);

    QVector<HistoryEntry> m_entries;
    int m_current = -1;
    quint64 m_nextSerial = 1;
};
