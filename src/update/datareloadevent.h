// The worker's request that the main window reload its data, as an application event.
#pragma once

#include <QEvent>
#include <QString>

// The name the event type is known by (kept from the registered window message it stands for).
inline QString dataReloadMessageName()
{
    return QStringLiteral("{15082208-28FA-45A8-BCAD-B4CE24F83880}");
}

// Registered once per process; the same value on every call.
inline QEvent::Type DataReloadMessage()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Posted with both parameters 0 by the update run; the receiver ignores them.
class DataReloadEvent final : public QEvent
{
public:
    DataReloadEvent(qintptr wParam = 0, qintptr lParam = 0) : QEvent(DataReloadMessage()), m_w(wParam), m_l(lParam) {}
    qintptr wParam() const { return m_w; }
    qintptr lParam() const { return m_l; }

private:
    qintptr m_w;
    qintptr m_l;
};
