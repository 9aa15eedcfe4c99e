#include "pages/render/pagedocument.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextFrame>
#include <QUrl>

PageDocument::PageDocument(PageResourceFunction resources, QObject *parent)
    : QTextDocument(parent), m_resources(std::move(resources))
{
}

QVariant PageDocument::loadResource(int type, const QUrl &name)
{
    // Never the base class: it would read local files for references the page makes up.
    return m_resources ? m_resources(type, name) : QVariant(QByteArray());
}

QFont pageFont()
{
    return QFont(QStringLiteral("Tahoma"));
}

std::unique_ptr<QTextDocument> layOutForPaper(const QString &html, const PageResourceFunction &resources,
                                              QPagedPaintDevice &device)
{
    auto doc = std::make_unique<PageDocument>(resources);
    doc->setDefaultFont(pageFont());
    doc->setHtml(html);
    doc->documentLayout()->setPaintDevice(&device);
    // 2 cm margins in 96-dpi units; the layout scales them to the device.
    const int margin = int((2 / 2.54) * 96);
    QTextFrameFormat format = doc->rootFrame()->frameFormat();
    format.setMargin(margin);
    doc->rootFrame()->setFrameFormat(format);
    doc->setPageSize(QSizeF(device.width(), device.height()));
    return doc;
}

int writePagePdf(const QString &html, const PageResourceFunction &resources, const QString &path,
                 QString *error)
{
    // The writer reports nothing when it cannot open its file, so the file is tried first.
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly)) {
            if (error)
                *error = probe.errorString();
            return 0;
        }
    }
    QPdfWriter writer(path);
    writer.setCreator(QStringLiteral("Ramux"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setResolution(300);
    std::unique_ptr<QTextDocument> doc = layOutForPaper(html, resources, writer);
    const int pages = doc->pageCount();
    doc->print(&writer);
    return pages;
}
