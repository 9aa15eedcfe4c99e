// The HTML view offscreen: packed pages, attachments, built-in resources, link routing, printing.
#include "text/base64.h"
#include "text/cp1251.h"
#include "text/ramuxerror.h"
#include "pages/ui/htmlrenderer.h"
#include "pages/ui/printing.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPrinter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextTable>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QWidget>

namespace {

QString b64(const QByteArray &bytes)
{
    return QString::fromLatin1(base64Encode(bytes));
}

QString packedPage(const QString &html, const QString &attachments = {})
{
    return QStringLiteral("<HTML>") + b64(encodeCp1251Html(html)) + QStringLiteral("</HTML>") + attachments;
}

QByteArray png(QColor color, int size = 40)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString element(const QString &name, const QByteArray &data)
{
    return QLatin1Char('<') + name + QLatin1Char('>') + b64(data) + QStringLiteral("</") + name +
           QLatin1Char('>');
}

// How many pixels of the grabbed view are (close to) the colour.
int countPixels(QWidget *widget, QColor color)
{
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - color.red()) < 8 && qAbs(c.green() - color.green()) < 8 &&
                qAbs(c.blue() - color.blue()) < 8)
                ++count;
        }
    }
    return count;
}

int pdfPageCount(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString text = QString::fromLatin1(file.readAll());
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    return int(text.count(page));
}

} // namespace

class TestHtmlView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void base64WithBlanksShowsThePage();
    void attachmentsByNameInAnyCaseFirstWins();
    void imagesComeFromAttachmentsAndResourcesAfresh();
    void resourceSchemeIsExactUpperCase();
    void unknownReferencesGetNothingAndNoFiles();
    void pageWithoutHtmlKeepsThePreviousOne();
    void invalidBase64KeepsEarlierPartsAndThePage();
    void webLinksGoToTheSystemOthersToOnLink();
    void clickedLinkKeepsItsCase();
    void textCannotBeSelected();
    void printsAPageRangeAndImages();
    void printButtonFollowsTheDialog();
    void tablesWrapToTheViewAtEveryWidth();

private:
    QWidget *m_panel = nullptr;
    TPBearHTMLRenderer *m_view = nullptr;
    QStringList m_opened;
    QStringList m_links;
};

void TestHtmlView::init()
{
    m_panel = new QWidget;
    m_panel->resize(500, 400);
    m_view = new TPBearHTMLRenderer(m_panel);
    m_opened.clear();
    m_links.clear();
    TPBearHTMLRenderer::setOpenUrlFunction([this](const QString &link) { m_opened << link; });
    m_view->OnLink = [this](TAbstractHTMLRenderer *view, const QString &link) {
        QCOMPARE(view, m_view);
        m_links << link;
    };
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel));
}

void TestHtmlView::cleanup()
{
    delete m_panel; // owns the view and its widget
    m_panel = nullptr;
    m_view = nullptr;
}

void TestHtmlView::base64WithBlanksShowsThePage()
{
    QString data = b64(encodeCp1251Html(QStringLiteral("<p>Страница один</p>")));
    QString broken;
    for (int i = 0; i < data.size(); ++i)
        broken += data[i] + QString::fromLatin1(i % 3 == 0 ? "\r\n" : i % 5 == 0 ? "  " : "");
    m_view->LoadDocument(QStringLiteral(" <  HTML >\n") + broken + QStringLiteral("</HTML>"));
    QCOMPARE(m_view->Viewer()->toPlainText(), QStringLiteral("Страница один"));
    QCOMPARE(m_view->Parts().size(), 1);
    QCOMPARE(m_view->Parts().first().name, QStringLiteral("HTML"));
}

void TestHtmlView::attachmentsByNameInAnyCaseFirstWins()
{
    m_view->LoadDocument(packedPage(QStringLiteral("x"), element(QStringLiteral("Logo"), "first") +
                                                             element(QStringLiteral("LOGO"), "second") +
                                                             QStringLiteral("<EMPTY></EMPTY>")));
    QCOMPARE(m_view->Parts().size(), 4);
    QCOMPARE(*m_view->FindPart(u"logo"), QByteArray("first"));
    QCOMPARE(*m_view->FindPart(u"LOGO"), QByteArray("first"));
    QCOMPARE(m_view->ViewerStreamRequest(QStringLiteral("lOgO")).value(), QByteArray("first"));
    QCOMPARE(*m_view->FindPart(u"empty"), QByteArray());
    QVERIFY(!m_view->FindPart(u"missing"));
    // The reference is used unchanged: blanks around it are part of the name.
    QVERIFY(!m_view->ViewerStreamRequest(QStringLiteral(" LOGO")));
}

void TestHtmlView::imagesComeFromAttachmentsAndResourcesAfresh()
{
    const QString html = QStringLiteral("<img src=\"LOGO\"><img src=\"logo\"><img src=\"Logo\">");
    m_view->LoadDocument(packedPage(html, element(QStringLiteral("LOGO"), png(Qt::red))));
    // The focused view's caret may stand over one column of the first image.
    QTRY_VERIFY(countPixels(m_view->Viewer(), Qt::red) >= 3 * 40 * 40 - 40);
    // The same name on the next page is asked for again, not taken from a cache.
    m_view->LoadDocument(packedPage(html, element(QStringLiteral("LOGO"), png(Qt::blue))));
    QTRY_VERIFY(countPixels(m_view->Viewer(), Qt::blue) >= 3 * 40 * 40 - 40);
    QCOMPARE(countPixels(m_view->Viewer(), Qt::red), 0);

    // The built-in cover, with blanks around its name, and the built-in style sheet.
    const std::optional<QByteArray> cover = builtInResource(QStringLiteral("cover_png"));
    QVERIFY(cover && !cover->isEmpty());
    QCOMPARE(QImage::fromData(*cover).size(), QSize(128, 128));
    QCOMPARE(m_view->ViewerStreamRequest(QStringLiteral("RES:  cover_png ")), cover);
    QCOMPARE(m_view->ViewerStreamRequest(QStringLiteral("RES:res:Style_Css")),
             builtInResource(QStringLiteral("STYLE_CSS")));
    m_view->LoadDocument(packedPage(QStringLiteral("<img src=\"RES: cover_png \">")));
    QTRY_VERIFY(m_view->Viewer()
                    ->document()
                    ->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("RES: cover_png ")))
                    .isValid());
}

void TestHtmlView::resourceSchemeIsExactUpperCase()
{
    // An attachment whose name looks like a resource reference: only the lower-case spelling
    // reaches it; "RES:" goes to the built-in cover.
    const QString attachment = element(QStringLiteral("res:cover_png"), png(Qt::green, 30));
    m_view->LoadDocument(packedPage(QStringLiteral("<img src=\"res:cover_png\">"), attachment));
    QTRY_VERIFY(countPixels(m_view->Viewer(), Qt::green) >= 30 * 30 - 30); // a caret may cover a column
    m_view->LoadDocument(packedPage(QStringLiteral("<img src=\"RES:cover_png\">"), attachment));
    QTest::qWait(50);
    QCOMPARE(countPixels(m_view->Viewer(), Qt::green), 0);
    // Lower or mixed case is an attachment name, found here because the page carries one.
    QCOMPARE(QImage::fromData(m_view->ViewerStreamRequest(QStringLiteral("res:cover_png")).value()).size(),
             QSize(30, 30));
    QCOMPARE(QImage::fromData(m_view->ViewerStreamRequest(QStringLiteral("Res:cover_png")).value()).size(),
             QSize(30, 30));
    QCOMPARE(m_view->ViewerStreamRequest(QStringLiteral("RES:cover_png")),
             builtInResource(QStringLiteral("COVER_PNG")));
}

void TestHtmlView::unknownReferencesGetNothingAndNoFiles()
{
    QVERIFY(!m_view->ViewerStreamRequest(QStringLiteral("RES:nothing_here")));
    QVERIFY(!m_view->ViewerStreamRequest(QStringLiteral("RES:../icons/exit.png")));
    QVERIFY(!m_view->ViewerStreamRequest(QStringLiteral("RES:")));

    // A page naming a local image file must not get it from the disk.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("red.png"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(png(Qt::red));
    file.close();
    m_view->LoadDocument(
        packedPage(QStringLiteral("<html><head><link rel=\"stylesheet\" type=\"text/css\" "
                                  "href=\"RES:zzz\"></head><body><img src=\"%1\"><img src=\"%2\">"
                                  "<img src=\"RES:nope\"><p>still here</p></body></html>")
                       .arg(path, QUrl::fromLocalFile(path).toString())));
    QTest::qWait(50);
    QCOMPARE(countPixels(m_view->Viewer(), Qt::red), 0);
    QVERIFY2(m_view->Viewer()->toPlainText().contains(QStringLiteral("still here")),
             qPrintable(m_view->Viewer()->toPlainText()));
    // An attachment that is no image, named like a file in the working folder, gets the
    // placeholder and no file either.
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QFile::copy(path, dir.filePath(QStringLiteral("LOGO"))));
    m_view->LoadDocument(packedPage(QStringLiteral("<img src=\"LOGO\"><p>still here</p>"),
                                    element(QStringLiteral("LOGO"), "not an image")));
    QTest::qWait(50);
    QCOMPARE(countPixels(m_view->Viewer(), Qt::red), 0);
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
    // And the view goes on working.
    m_view->LoadDocument(packedPage(QStringLiteral("<p>next</p>")));
    QCOMPARE(m_view->Viewer()->toPlainText(), QStringLiteral("next"));
}

void TestHtmlView::pageWithoutHtmlKeepsThePreviousOne()
{
    m_view->LoadDocument(packedPage(QStringLiteral("<p>Препарат</p>")));
    m_view->LoadDocument(element(QStringLiteral("LOGO"), "abc") + QStringLiteral("plain text <b>bold</b>"));
    QCOMPARE(m_view->Viewer()->toPlainText(), QStringLiteral("Препарат"));
    QVERIFY(!m_view->FindPart(u"HTML"));
    QCOMPARE(*m_view->FindPart(u"LOGO"), QByteArray("abc"));
    QVERIFY(m_view->Document().startsWith(QStringLiteral("<LOGO>")));
}

void TestHtmlView::invalidBase64KeepsEarlierPartsAndThePage()
{
    m_view->LoadDocument(packedPage(QStringLiteral("<p>Препарат</p>")));
    try {
        m_view->LoadDocument(element(QStringLiteral("LOGO"), "abc") +
                             QStringLiteral("<HTML>QUJD\tREVG</HTML>") +
                             element(QStringLiteral("AFTER"), "x"));
        QFAIL("expected an error");
    } catch (const RamuxError &e) {
        QCOMPARE(e.message(), QStringLiteral("Invalid Base64 Character"));
    }
    QCOMPARE(m_view->Parts().size(), 1);
    QCOMPARE(m_view->Parts().first().name, QStringLiteral("LOGO"));
    QCOMPARE(m_view->Viewer()->toPlainText(), QStringLiteral("Препарат"));
    // Non-ASCII inside the Base64 is no Base64 either.
    QVERIFY_THROWS_EXCEPTION(RamuxError, m_view->LoadDocument(QStringLiteral("<HTML>QUJ\u0414</HTML>")));
}

void TestHtmlView::webLinksGoToTheSystemOthersToOnLink()
{
    const QStringList web{QStringLiteral("http://example.org/"), QStringLiteral("HTTPS://example.org/a?b=c"),
                          QStringLiteral("  ftp://files.example.org"),
                          QStringLiteral("Mailto:info@example.org"), QStringLiteral("\thttp://x")};
    for (const QString &link : web)
        m_view->ViewerHotSpotClick(link);
    QCOMPARE(m_opened, web); // unchanged, blanks included
    QVERIFY(m_links.isEmpty());

    m_view->ViewerHotSpotClick(QStringLiteral("SECT:7"));
    m_view->ViewerHotSpotClick(QStringLiteral(" item: 12"));
    m_view->ViewerHotSpotClick(QStringLiteral("www.example.org"));
    QCOMPARE(m_links, (QStringList{QStringLiteral("SECT:7"), QStringLiteral(" item: 12"),
                                   QStringLiteral("www.example.org")}));
    QCOMPARE(m_opened.size(), web.size());

    // Without OnLink (the splash view) an internal link does nothing.
    m_view->OnLink = nullptr;
    m_view->ViewerHotSpotClick(QStringLiteral("ITEM:1"));
    QCOMPARE(m_links.size(), 3);
}

void TestHtmlView::clickedLinkKeepsItsCase()
{
    m_view->LoadDocument(packedPage(QStringLiteral("<p><a href=\"ITEM: 12\">Препарат</a></p>"
                                                   "<p><a href=\"mailto:vet@example.org\">почта</a></p>")));
    THTMLViewer *viewer = m_view->Viewer();
    auto clickBlock = [&](int block) {
        QTextCursor cursor(viewer->document()->findBlockByNumber(block));
        cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 2);
        const QPoint at = viewer->cursorRect(cursor).center();
        QTest::mouseClick(viewer->viewport(), Qt::LeftButton, {}, at);
    };
    clickBlock(0);
    QTRY_COMPARE(m_links, QStringList{QStringLiteral("ITEM: 12")});
    clickBlock(1);
    QTRY_COMPARE(m_opened, QStringList{QStringLiteral("mailto:vet@example.org")});
    QCOMPARE(m_links.size(), 1);
    // The widget followed nothing: the page is still there.
    QVERIFY(viewer->toPlainText().startsWith(QStringLiteral("Препарат")));
}

void TestHtmlView::textCannotBeSelected()
{
    m_view->LoadDocument(
        packedPage(QStringLiteral("<p>Обычный текст без ссылок, довольно длинная строка</p>")));
    THTMLViewer *viewer = m_view->Viewer();
    QTextCursor cursor(viewer->document()->firstBlock());
    const QPoint from = viewer->cursorRect(cursor).center();
    cursor.movePosition(QTextCursor::EndOfBlock);
    const QPoint to = viewer->cursorRect(cursor).center();
    QTest::mousePress(viewer->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(viewer->viewport(), (from + to) / 2);
    QTest::mouseMove(viewer->viewport(), to);
    QTest::mouseRelease(viewer->viewport(), Qt::LeftButton, {}, to);
    QTest::mouseDClick(viewer->viewport(), Qt::LeftButton, {}, from);
    QVERIFY(viewer->textCursor().selectedText().isEmpty());
    QVERIFY(m_links.isEmpty());
}

void TestHtmlView::printsAPageRangeAndImages()
{
    QString html = QStringLiteral("<p><img src=\"LOGO\"></p>");
    for (int i = 0; i < 300; ++i)
        html += QStringLiteral("<p>Строка %1 длинного описания препарата.</p>").arg(i);
    m_view->LoadDocument(packedPage(html, element(QStringLiteral("LOGO"), png(Qt::red))));
    QTemporaryDir dir;
    QPrinter &printer = m_view->Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("all.pdf")));
    const int pages = m_view->PageCount();
    QVERIFY2(pages >= 5, qPrintable(QString::number(pages)));

    m_view->PrintAll();
    QCOMPARE(pdfPageCount(dir.filePath(QStringLiteral("all.pdf"))), pages);
    QFile all(dir.filePath(QStringLiteral("all.pdf")));
    QVERIFY(all.open(QIODevice::ReadOnly));
    QVERIFY2(all.readAll().contains("/Subtype /Image"), "the image is printed");

    printer.setOutputFileName(dir.filePath(QStringLiteral("range.pdf")));
    m_view->PrintPages(2, 3);
    QCOMPARE(pdfPageCount(dir.filePath(QStringLiteral("range.pdf"))), 2);
}

void TestHtmlView::printButtonFollowsTheDialog()
{
    QString html;
    for (int i = 0; i < 300; ++i)
        html += QStringLiteral("<p>Строка %1.</p>").arg(i);
    m_view->LoadDocument(packedPage(html));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dialog.pdf"));
    m_view->Printer().setOutputFormat(QPrinter::PdfFormat);
    m_view->Printer().setOutputFileName(path);
    const int pages = m_view->PageCount();
    QVERIFY(pages >= 3);

    int shown = 0;
    setPrintDialogFunction([&](QPrinter &printer, int pageCount, QWidget *) {
        ++shown;
        // The dialog opens on the whole page: 1 to the page count.
        [&] {
            QCOMPARE(pageCount, pages);
            QCOMPARE(printer.fromPage(), 1);
            QCOMPARE(printer.toPage(), pages);
        }();
        return false; // cancelled
    });
    printViewWithDialog(*m_view, m_panel);
    QCOMPARE(shown, 1);
    QVERIFY(!QFile::exists(path));

    setPrintDialogFunction([&](QPrinter &printer, int, QWidget *) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 3);
        return true;
    });
    printViewWithDialog(*m_view, m_panel);
    QCOMPARE(pdfPageCount(path), 2);

    setPrintDialogFunction([&](QPrinter &, int, QWidget *) { return true; });
    printViewWithDialog(*m_view, m_panel);
    QCOMPARE(pdfPageCount(path), pages);
    setPrintDialogFunction({});
}

// Tables in product texts never make the view scroll sideways: the demo's dose table (product
// 145) at every width around the first start's, and tables that fix their width or forbid
// wrapping. Paper keeps the page as written.
void TestHtmlView::tablesWrapToTheViewAtEveryWidth()
{
    QFile demo(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/data/demo/items/145.txt"));
    QVERIFY(demo.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(demo.readAll());
    const qsizetype from = text.indexOf(QLatin1String("<table"));
    const qsizetype to = text.indexOf(QLatin1String("</table>"));
    QVERIFY(from > 0 && to > from);
    const QString dose = text.mid(from, to + 8 - from);
    const QString hostile = QStringLiteral(
        "<table border=\"1\" width=\"900\"><tr><td nowrap>очень длинная строка без переносов, которая не "
        "помещается в ширину окна просмотра</td><td width=\"400\">Доза</td></tr></table>"
        "<table border=\"1\" width=\"150%\"><tr><td>https://example.org/very/long/path/without/any/spaces/"
        "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx</td><td>x</td></tr></table>");
    const QString html = QStringLiteral("<html><head><link rel=\"stylesheet\" type=\"text/css\" "
                                        "href=\"RES:style_css\"></head><body><div class=\"common-wrapper\">"
                                        "<p>Препарат задают перорально в дозах:</p>%1%2</div></body></html>")
                             .arg(dose, hostile);
    m_view->LoadDocument(packedPage(html));
    THTMLViewer *viewer = m_view->Viewer();
    for (int width = 540; width <= 600; ++width) {
        m_panel->resize(width, 400);
        QCoreApplication::processEvents();
        QVERIFY(viewer->document()->size().width() <= viewer->viewport()->width());
        QVERIFY2(viewer->horizontalScrollBar()->maximum() == 0,
                 qPrintable(QStringLiteral("width %1: the page scrolls sideways by %2")
                                .arg(width)
                                .arg(viewer->horizontalScrollBar()->maximum())));
    }
    // The dose table still shows its four columns side by side, its cells wrapped.
    const QList<QTextFrame *> frames = viewer->document()->rootFrame()->childFrames();
    QCOMPARE(frames.size(), 3);
    auto *table = qobject_cast<QTextTable *>(frames.first());
    QVERIFY(table);
    QCOMPARE(table->columns(), 4);
    // The page goes to paper as written.
    QCOMPARE(m_view->Html(), html);
}

QTEST_MAIN(TestHtmlView)
#include "tst_htmlview.moc"
