#include "pages/ui/htmlrenderer.h"

#include "text/base64.h"
#include "text/cp1251.h"
#include "pages/links.h"
#include "pages/theme.h"
#include "text/packedcontent.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
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

// Base64 text to bytes; any character beyond ASCII is not Base64 and must fail as such.
QByteArray decodePart(const QString &content)
{
    const QString data = trimControl(content);
    QByteArray ascii(data.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char16_t u = data[i].unicode();
        ascii[i] = u < 128 ? char(u) : '\x01';
    }
    return base64Decode(ascii);
}

// Every src and href value of the page, keyed by the form the widget will ask for it in.
QHash<QString, QString> collectReferences(const QString &html)
{
    static const QRegularExpression attribute(
        QStringLiteral("\\b(?:src|href)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    QHash<QString, QString> references;
    auto it = attribute.globalMatch(html);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QString value = m.captured(1);
        if (!m.hasCaptured(1))
            value = m.hasCaptured(2) ? m.captured(2) : m.captured(3);
        const QString key = QUrl(value).toString();
        // When two spellings meet in one key, the first on the page decides.
        if (!references.contains(key))
            references.insert(key, value);
    }
    return references;
}

QImage missingImage()
{
    static const QImage image = [] {
        QImage placeholder(QStringLiteral(":/qt-project.org/styles/commonstyle/images/file-16.png"));
        if (placeholder.isNull()) {
            placeholder = QImage(1, 1, QImage::Format_ARGB32);
            placeholder.fill(Qt::transparent);
        }
        return placeholder;
    }();
    return image;
}

} // namespace

std::optional<QByteArray> builtInResource(const QString &name)
{
    initResources();
    const QString upper = name.toUpper();
    static const QRegularExpression plainName(QStringLiteral("^[A-Z0-9_]+$"));
    if (!plainName.match(upper).hasMatch())
        return std::nullopt;
    QFile file(QStringLiteral(":/html/") + upper);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// ---------------------------------------------------------------------------------------------

TAbstractHTMLRenderer::TAbstractHTMLRenderer(QObject *owner) : QObject(owner) {}

TAbstractHTMLRenderer::~TAbstractHTMLRenderer() = default;

void TAbstractHTMLRenderer::LoadDocument(const QString &text)
{
    ClearParts();
    m_document = text;
    SplitDocument();
    Render();
}

void TAbstractHTMLRenderer::SplitDocument()
{
    scanPackedContent(m_document, [this](QString &name, QString &content) {
        m_parts.push_back(Part{trimControl(name), decodePart(content)});
    });
}

void TAbstractHTMLRenderer::ClearParts()
{
    m_parts.clear();
}

const QByteArray *TAbstractHTMLRenderer::FindPart(QStringView name) const
{
    for (const Part &part : m_parts) {
        if (part.name.compare(name, Qt::CaseInsensitive) == 0)
            return &part.data;
    }
    return nullptr;
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
    m_viewer->resourceHandler = [this](int type, const QUrl &name) { return serveResource(type, name); };
    connect(m_viewer, &THTMLViewer::linkClicked, this, &TPBearHTMLRenderer::ViewerHotSpotClick);

    QFont font(QStringLiteral("Tahoma"));
    m_viewer->setFont(font);
    m_viewer->document()->setDefaultFont(font);
    // Links only: no selection, and the widget never follows a link by itself.
    m_viewer->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
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
    m_references = collectReferences(m_html);
    // clear() drops the images of the previous page, so every page asks for its own again.
    m_viewer->document()->clear();
    m_viewer->setHtml(m_html);
}

std::optional<QByteArray> TPBearHTMLRenderer::ViewerStreamRequest(const QString &reference) const
{
    if (reference.startsWith(QLatin1String("RES:"))) {
        QString name = reference;
        name.remove(QLatin1String("RES:"), Qt::CaseInsensitive);
        return builtInResource(trimControl(name));
    }
    if (const QByteArray *part = FindPart(reference))
        return QByteArray(part->constData(), part->size()); // a copy: the part stays the view's
    return std::nullopt;
}

QVariant TPBearHTMLRenderer::serveResource(int type, const QUrl &name) const
{
    const QString key = name.toString();
    QString reference = m_references.value(key);
    if (reference.isEmpty()) {
        // Not written in an attribute (a CSS url(), say): the scheme came lower-cased.
        reference = name.scheme() == QLatin1String("res") ? QStringLiteral("RES:") + key.mid(4) : key;
    }
    const std::optional<QByteArray> data = ViewerStreamRequest(reference);
    if (type == QTextDocument::ImageResource) {
        // The widget reads the reference as a file path when it gets no usable image; a page
        // must never reach the disk that way, so an unusable image becomes a placeholder.
        QImage image;
        if (data)
            image.loadFromData(*data);
        if (image.isNull())
            image = missingImage();
        return image;
    }
    // On a dark desktop the screen gets the dark colours after every sheet; paper stays light.
    if (data && type == QTextDocument::StyleSheetResource && currentTheme() == Theme::Dark && !m_lightSheets)
        return QVariant(*data + '\n' + builtInResource(QStringLiteral("DARK_CSS")).value_or(QByteArray()));
    // An empty answer rather than none: none would send the widget to the file system.
    return data ? QVariant(*data) : QVariant(QByteArray());
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
    // Parented to the browser so the copy still asks the view for its images.
    std::unique_ptr<QTextDocument> doc;
    if (currentTheme() == Theme::Dark) {
        // The screen's copy carries the dark colours: paper gets the page laid out anew from
        // the light sheets.
        doc = std::make_unique<QTextDocument>(m_viewer);
        doc->setDefaultFont(m_viewer->document()->defaultFont());
        m_lightSheets = true;
        doc->setHtml(m_html);
        m_lightSheets = false;
    } else {
        doc.reset(m_viewer->document()->clone(m_viewer));
    }
    doc->documentLayout()->setPaintDevice(&printer);
    // 2 cm margins in 96-dpi units; the layout scales them to the printer.
    const int margin = int((2 / 2.54) * 96);
    QTextFrameFormat format = doc->rootFrame()->frameFormat();
    format.setMargin(margin);
    doc->rootFrame()->setFrameFormat(format);
    doc->setPageSize(QSizeF(printer.width(), printer.height()));
    return doc;
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
