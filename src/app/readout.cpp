#include "app/readout.h"

#include <QAbstractTextDocumentLayout>
#include <QResizeEvent>
#include <QScrollBar>
#include <cmath>

Readout::Readout(QWidget *parent, const QString &objectName, const QString &accessibleName)
    : QTextBrowser(parent)
{
    setObjectName(objectName);
    setAccessibleName(accessibleName);
    setFrameShape(QFrame::NoFrame);
    setOpenLinks(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Read with the keyboard like any field; Tab goes on to the next control.
    setTabChangesFocus(true);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    document()->setDocumentMargin(2);
    setFixedHeight(0);
}

void Readout::display(const QString &html, const QString &plain)
{
    setHtml(html);
    setAccessibleDescription(plain);
    m_fittedWidth = -1;
    fitHeight();
}

void Readout::resizeEvent(QResizeEvent *event)
{
    QTextBrowser::resizeEvent(event);
    if (event->size().width() != m_fittedWidth)
        fitHeight();
}

void Readout::fitHeight()
{
    const int width = viewport()->width();
    document()->setTextWidth(width);
    m_fittedWidth = this->width();
    setFixedHeight(int(std::ceil(document()->size().height())) + 2 * frameWidth());
}
