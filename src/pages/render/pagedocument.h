// A page laid out for paper: the document both the print button and the PDF writers (the
// window's and the command line's) draw, so a saved page is the printed page.
#pragma once

#include <QFont>
#include <QString>
#include <QTextDocument>
#include <functional>
#include <memory>

class QPagedPaintDevice;
class QUrl;

using PageResourceFunction = std::function<QVariant(int type, const QUrl &name)>;

// A text document that asks `resources` for everything it loads (never the file system).
class PageDocument final : public QTextDocument
{
public:
    explicit PageDocument(PageResourceFunction resources, QObject *parent = nullptr);

protected:
    QVariant loadResource(int type, const QUrl &name) override;

private:
    PageResourceFunction m_resources;
};

// The font a page starts from before its style sheet applies.
QFont pageFont();

// The page's HTML laid out on `device`'s page with 2 cm margins.
std::unique_ptr<QTextDocument> layOutForPaper(const QString &html, const PageResourceFunction &resources,
                                              QPagedPaintDevice &device);

// Writes the page to a PDF file on A4. Returns the number of pages written, or 0 with `error`
// set when the file cannot be written.
int writePagePdf(const QString &html, const PageResourceFunction &resources, const QString &path,
                 QString *error);
