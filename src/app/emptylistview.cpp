#include "app/emptylistview.h"

#include <QPainter>

TEmptyNoticeListView::TEmptyNoticeListView(QWidget *parent) : QListView(parent) {}

QString TEmptyNoticeListView::noticeText()
{
    return QStringLiteral("Ничего не найдено");
}

int TEmptyNoticeListView::noticeHeight() const
{
    return fontMetrics().height() + 8 + 2 * frameWidth();
}

void TEmptyNoticeListView::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (model() && model()->rowCount(rootIndex()) > 0)
        return;
    QPainter painter(viewport());
    QFont font = painter.font();
    font.setItalic(true);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     noticeText());
}
