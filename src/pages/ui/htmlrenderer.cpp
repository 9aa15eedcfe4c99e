#include "pages/ui/htmlrenderer.h"

#include "pages/links.h"
#include "pages/render/pagedocument.h"
#include "pages/stylezoom.h"
#include "pages/ui/screenfit.h"
#include "text/cp1251.h"
#include "pages/theme.h"
#include "text/packedcontent.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPrinter>
#include <QScrollBar>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

// The resources are compiled into a static library; make sure they are registered.
static void initResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

void openInSystem(const QString &link)
{
    // The system's open action ignores blanks around the address; QUrl does not.
    QDesktopServices::openUrl(QUrl(trimControl(link), QUrl::TolerantMode));
}

TPBearHTMLRenderer::OpenUrlFunction &openUrlFunction()
{
    static TPBearHTMLRenderer::OpenUrlFunction function = openInSystem;
    return function;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TAbstractHTMLRenderer::TAbstractHTMLRenderer(QObject *owner) : QObject(owner) {}

TAbstractHTMLRenderer::~TAbstractHTMLRenderer() = default;

void TAbstractHTMLRenderer::LoadDocument(const QString &text)
{
    if (OnBeforeLoad)
        OnBeforeLoad(this);
    ClearParts();
    m_document = text;
    SplitDocument();
    Render();
}

void TAbstractHTMLRenderer::SplitDocument()
{
    splitPackedPage(m_document, m_parts);
}

void TAbstractHTMLRenderer::ClearParts()
{
    m_parts.clear();
}

const QByteArray *TAbstractHTMLRenderer::FindPart(QStringView name) const
{
    const PagePart *part = findPagePart(m_parts, name);
    return part ? &part->data : nullptr;
}

// ---------------------------------------------------------------------------------------------

THTMLViewer::THTMLViewer(QWidget *parent) : QTextBrowser(parent)
{
    connect(this, &QTextBrowser::anchorClicked, this, &THTMLViewer::onAnchorClicked);
}

QVariant THTMLViewer::loadResource(int type, const QUrl &name)
{
    // Never the base class: it would read local files for references the page makes up.
    return resourceHandler ? resourceHandler(type, name) : QVariant(QByteArray());
}

void THTMLViewer::mouseReleaseEvent(QMouseEvent *event)
{
    m_releasedAnchor = anchorAt(event->position().toPoint());
    QTextBrowser::mouseReleaseEvent(event);
    m_releasedAnchor.clear();
}

void THTMLViewer::resizeEvent(QResizeEvent *event)
{
    // A table laid out at the full width comes out an even number of pixels wide: on an odd
    // width it would stand out by one and bring up a sideways scroll bar. The page is laid out
    // on an even width; the spare pixel stays blank at the right. Setting the margin resizes the
    // viewport again, which then keeps the margin it has.
    const int natural = viewport()->width() + m_parityMargin;
    const int margin = natural % 2;
    if (margin != m_parityMargin) {
        m_parityMargin = margin;
        setViewportMargins(0, 0, margin, 0);
    }
    QTextBrowser::resizeEvent(event);
}

void THTMLViewer::showEvent(QShowEvent *event)
{
    QTextBrowser::showEvent(event);
    emit shown();
}

void THTMLViewer::onAnchorClicked(const QUrl &url)
{
    // The anchor as written: under the mouse, or under the cursor for keyboard activation.
    QString href = m_releasedAnchor;
    if (href.isEmpty())
        href = textCursor().charFormat().anchorHref();
    if (href.isEmpty())
        href = url.toString();
    emit linkClicked(href);
}

// ---------------------------------------------------------------------------------------------

TPBearHTMLRenderer::TPBearHTMLRenderer(QWidget *panel) : TAbstractHTMLRenderer(panel)
{
    initResources();
    m_viewer = new THTMLViewer(panel);
    if (!panel->layout()) {
        auto *layout = new QVBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    panel->layout()->addWidget(m_viewer);

    m_viewer->setFrameShape(QFrame::NoFrame);
    QPalette palette = m_viewer->palette();
    // The page background before and around a page: the one its style sheet sets.
    const bool dark = currentTheme() == Theme::Dark;
    palette.setColor(QPalette::Base, dark ? QColor(QRgb(kDarkPageBackground)) : QColor(Qt::white));
    palette.setColor(QPalette::Text, dark ? QColor(QRgb(kDarkPageText)) : QColor(Qt::black));
    m_viewer->setPalette(palette);
    m_viewer->resourceHandler = [this](int type, const QUrl &name) { return serveResource(type, name, true); };
    connect(m_viewer, &THTMLViewer::linkClicked, this, &TPBearHTMLRenderer::ViewerHotSpotClick);
    connect(m_viewer, &THTMLViewer::shown, this, [this] {
        if (m_relayOutPending)
            relayOut();
    });

    const QFont font = pageFont();
    m_viewer->setFont(font);
    m_viewer->document()->setDefaultFont(font);
    // Read-only with a keyboard caret, so that a screen reader can follow the text line by
    // line; the mouse selects nothing, as before. Links open from the mouse and the keyboard,
    // and never by the widget itself.
    m_viewer->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::LinksAccessibleByMouse |
                                      Qt::LinksAccessibleByKeyboard);
    m_viewer->setOpenLinks(false);
    m_viewer->setOpenExternalLinks(false);
}

TPBearHTMLRenderer::~TPBearHTMLRenderer() = default;

void TPBearHTMLRenderer::setOpenUrlFunction(OpenUrlFunction function)
{
    openUrlFunction() = function ? std::move(function) : OpenUrlFunction(openInSystem);
}

void TPBearHTMLRenderer::Render()
{
    const QByteArray *html = FindPart(u"HTML");
    if (!html)
        return;
    m_html = decodeCp1251(*html);
    m_relayOutPending = false;
    m_references = collectReferences(m_html);
    // clear() drops the images of the previous page, so every page asks for its own again.
    m_viewer->document()->clear();
    m_viewer->setHtml(m_html);
    fitTablesToView(m_viewer->document());
}

QString TPBearHTMLRenderer::Html() const
{
    return m_html;
}

void TPBearHTMLRenderer::SetZoom(int level)
{
    level = stylezoom::clamped(level);
    if (level == m_zoom)
        return;
    m_zoom = level;
    if (m_html.isNull())
        return;
    // Only the view on screen is laid out at once; the others when they are shown.
    if (!m_viewer->isVisible()) {
        m_relayOutPending = true;
        return;
    }
    relayOut();
}

void TPBearHTMLRenderer::relayOut()
{
    m_relayOutPending = false;
    QScrollBar *bar = m_viewer->verticalScrollBar();
    const double place = bar->maximum() > 0 ? double(bar->value()) / bar->maximum() : 0.0;
    m_viewer->document()->clear();
    m_viewer->setHtml(m_html);
    fitTablesToView(m_viewer->document());
    if (place > 0) {
        m_viewer->document()->pageCount(); // lays the whole page out, so the range is final
        bar->setValue(int(place * bar->maximum() + 0.5));
    }
}

std::optional<QByteArray> TPBearHTMLRenderer::ViewerStreamRequest(const QString &reference) const
{
    return pageStream(Parts(), reference);
}

QVariant TPBearHTMLRenderer::serveResource(int type, const QUrl &name, bool onScreen) const
{
    PageResourceServer server;
    server.stream = [this](const QString &reference) { return ViewerStreamRequest(reference); };
    server.references = m_references;
    if (onScreen && m_zoom != stylezoom::kDefault) {
        const int level = m_zoom;
        server.styleFilter = [level](const QByteArray &css) { return stylezoom::scaleStyleSheet(css, level); };
    }
    // On a dark desktop the screen gets the dark colours after every sheet; paper stays light.
    if (onScreen && currentTheme() == Theme::Dark)
        server.sheetSuffix = builtInResource(QStringLiteral("DARK_CSS")).value_or(QByteArray());
    return server.serve(type, name);
}

void TPBearHTMLRenderer::ViewerHotSpotClick(const QString &link)
{
    if (isShellLink(link)) {
        openUrlFunction()(link);
        return;
    }
    if (OnLink)
        OnLink(this, link);
}

QPrinter &TPBearHTMLRenderer::Printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
    return *m_printer;
}

std::unique_ptr<QTextDocument> TPBearHTMLRenderer::printDocument(QPrinter &printer) const
{
    // A fresh layout from the page's HTML: the view's own document carries the zoomed sheet.
    return layOutForPaper(
        paperHtml(), [this](int type, const QUrl &name) { return serveResource(type, name, false); }, printer);
}

int TPBearHTMLRenderer::SavePdf(const QString &path, QString *error)
{
    return writePagePdf(
        paperHtml(), [this](int type, const QUrl &name) { return serveResource(type, name, false); }, path, error);
}

QString TPBearHTMLRenderer::paperHtml() const
{
    return PrintFilter ? PrintFilter(m_html) : m_html;
}

int TPBearHTMLRenderer::PageCount()
{
    return printDocument(Printer())->pageCount();
}

void TPBearHTMLRenderer::print(int fromPage, int toPage)
{
    QPrinter &printer = Printer();
    std::unique_ptr<QTextDocument> doc = printDocument(printer);
    printer.setFromTo(fromPage, toPage);
    doc->print(&printer);
}

void TPBearHTMLRenderer::PrintAll()
{
    print(0, 0); // 0..0 is the whole document
}

void TPBearHTMLRenderer::PrintPages(int fromPage, int toPage)
{
    fromPage = std::max(fromPage, 1);
    if (toPage < fromPage)
        return;
    print(fromPage, toPage);
}
