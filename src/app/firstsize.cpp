#include "app/firstsize.h"

#include <QtGlobal>

QRect firstStartGeometry(const QSize &design, int toolBarWidth, const QRect &available)
{
    QSize size(qMax(design.width(), toolBarWidth), design.height());
    if (available.isEmpty())
        return QRect(QPoint(0, 0), size);
    size = size.boundedTo(available.size());
    QRect rect(QPoint(0, 0), size);
    // Centred by halves of the difference, so an odd pixel goes right and down.
    rect.moveTopLeft(available.topLeft() + QPoint((available.width() - size.width()) / 2,
                                                  (available.height() - size.height()) / 2));
    return rect;
}
