// The worker's word to the main window that an update run changed the structured answers
// (strengths, doses, withdrawal periods, species) without a reload of the lists: the window
// re-reads them for the product it shows, quietly. A run that reloads the lists (DataReloadEvent)
// does not send it; the reload covers the structured data too.
#pragma once

#include <QEvent>

inline QEvent::Type StructuredDataChangedMessage()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class StructuredDataChangedEvent final : public QEvent
{
public:
    StructuredDataChangedEvent() : QEvent(StructuredDataChangedMessage()) {}
};
