// The HTML view: shows packed content (a page with its attachments) in a QTextBrowser, serves
// images and style sheets from the attachments and the built-in resources, routes link clicks
// and prints the page.
#pragma once

#include "pages/render/pageresources.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTextBrowser>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

class QPrinter;
class QTextDocument;

class TAbstractHTMLRenderer : public QObject
{
    Q_OBJECT

public:
    using Part = PagePart;
    using LinkHandler = std::function<void(TAbstractHTMLRenderer *view, const QString &link)>;

    explicit TAbstractHTMLRenderer(QObject *owner);
    ~TAbstractHTMLRenderer() override;

    // Clicked links that are neither web nor mail links; may stay unassigned.
    LinkHandler OnLink;
    // Called before a new page replaces the shown one (the window keeps its scroll position).
    std::function<void(TAbstractHTMLRenderer *view)> OnBeforeLoad;

    // Replaces the shown page: the attachments are split anew and the HTML element shown.
    // Invalid Base64 throws "Invalid Base64 Character" after the parts split so far are kept;
    // the previous page then stays on screen.
    void LoadDocument(const QString &text);
    void SplitDocument();
    void ClearParts();
    // The first attachment of that name, letter case ignored.
    const QByteArray *FindPart(QStringView name) const;

    const QString &Document() const { return m_document; }
    const QVector<Part> &Parts() const { return m_parts; }

    virtual void Render() = 0;
    virtual void PrintAll() = 0;
    virtual int PageCount() = 0;

private:
    Q_DISABLE_COPY_MOVE(TAbstractHTMLRenderer)
    QString m_document;
    QVector<Part> m_parts;
};

// The widget: a QTextBrowser that asks its owner for every resource and reports the link text
// exactly as the page wrote it (QUrl would lower-case "ITEM:" to "item:").
class THTMLViewer final : public QTextBrowser
{
    Q_OBJECT

public:
    explicit THTMLViewer(QWidget *parent);
    std::function<QVariant(int type, const QUrl &name)> resourceHandler;

    QVariant loadResource(int type, const QUrl &name) override;

signals:
    void linkClicked(const QString &href);
    void shown();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void onAnchorClicked(const QUrl &url);
    QString m_releasedAnchor;
    int m_parityMargin = 0; // 1 while the viewport's natural width is odd
};

class TPBearHTMLRenderer final : public TAbstractHTMLRenderer
{
    Q_OBJECT

public:
    // The view fills `panel`, which owns both the view and its widget.
    explicit TPBearHTMLRenderer(QWidget *panel);
    ~TPBearHTMLRenderer() override;

    void Render() override;
    void PrintAll() override;
    int PageCount() override;
    void PrintPages(int fromPage, int toPage);
    // Writes the page as it prints to a PDF file on A4; the number of pages, or 0 and `error`.
    int SavePdf(const QString &path, QString *error);
    // The shown page's HTML (a null string before the first page).
    QString Html() const;

    // The zoom level in percent (the style sheet is served scaled to it); changing it lays the
    // shown page out again at about the same place. Printing always uses the sheet as it is.
    int Zoom() const { return m_zoom; }
    void SetZoom(int level);

    // A built-in resource, an attachment, or nothing, for a reference as the page wrote it.
    std::optional<QByteArray> ViewerStreamRequest(const QString &reference) const;
    // Web and mail links go to the system, everything else to OnLink.
    void ViewerHotSpotClick(const QString &link);

    THTMLViewer *Viewer() const { return m_viewer; }
    // When set, print lays out the shown page's HTML as this returns it (the screen keeps all).
    std::function<QString(const QString &html)> PrintFilter;
    // The printer the print operations use; the print dialog sets it up.
    QPrinter &Printer();

    // Opening a web or mail link in the system; replaceable so tests can see the calls (an
    // empty function puts the system's back).
    using OpenUrlFunction = std::function<void(const QString &link)>;
    static void setOpenUrlFunction(OpenUrlFunction function);

private:
    QVariant serveResource(int type, const QUrl &name, bool onScreen) const;
    std::unique_ptr<QTextDocument> printDocument(QPrinter &printer) const;
    void print(int fromPage, int toPage);

    THTMLViewer *m_viewer = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    // The widget's URL of every src/href of the shown page -> the reference as written.
    QHash<QString, QString> m_references;
    void relayOut();
    QString paperHtml() const; // the page as it goes to paper (print filter applied)

    QString m_html;
    int m_zoom = 100;
    bool m_relayOutPending = false; // zoomed while hidden: laid out again when shown
};
