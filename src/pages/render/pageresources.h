// What a shown or printed page loads besides its HTML: its attachments, the built-in resources
// (style sheet, cover picture) and a placeholder for images that cannot be read. No widgets, so
// the command-line companion writes pages with the same resources as the window.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <QVector>
#include <functional>
#include <optional>

class QUrl;

// The text of a built-in resource (ABOUT_HTML, MORE_HTML, STYLE_CSS, COVER_PNG), name matched
// without letter case; nullopt for any other name.
std::optional<QByteArray> builtInResource(const QString &name);

struct PagePart
{
    QString name;
    QByteArray data;
};

// Appends the attachments of packed content to `parts`. Invalid Base64 throws "Invalid Base64
// Character" after the parts split so far are appended.
void splitPackedPage(const QString &packed, QVector<PagePart> &parts);
// The first attachment of that name, letter case ignored.
const PagePart *findPagePart(const QVector<PagePart> &parts, QStringView name);
// The page's HTML (its HTML attachment, Windows-1251), or a null string when it has none.
QString pageHtml(const QVector<PagePart> &parts);
// A reference as the page wrote it: "RES:name" is a built-in resource, anything else an
// attachment of that name (a copy).
std::optional<QByteArray> pageStream(const QVector<PagePart> &parts, const QString &reference);

// Every src and href value of the page, keyed by the form the text widgets ask for it in.
QHash<QString, QString> collectReferences(const QString &html);

// How a page's resources are answered: the reference as written goes to `stream`; an image
// that cannot be read becomes a placeholder and a missing resource an empty one, so a text
// document never turns a page's reference into a file path of its own. `styleFilter`, when set,
// rewrites the style sheet (RES:style_css) on its way; `sheetSuffix` follows every style sheet
// (the dark colours on a dark desktop's screen).
struct PageResourceServer
{
    std::function<std::optional<QByteArray>(const QString &reference)> stream;
    QHash<QString, QString> references;
    std::function<QByteArray(const QByteArray &css)> styleFilter;
    QByteArray sheetSuffix;

    QVariant serve(int type, const QUrl &name) const;
};
