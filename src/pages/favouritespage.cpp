#include "pages/favouritespage.h"

#include "db/snapshot.h"
#include "db/userdata.h"
#include "pages/htmljoiner.h"
#include "pages/notebox.h"
#include "text/packedcontent.h"
#include "text/ramuxerror.h"

#include <QRegularExpression>
#include <algorithm>

namespace favouritespage {

QString noteStart(const QString &note)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QString line = note;
    line.replace(blanks, QStringLiteral(" "));
    line = line.trimmed();
    if (line.size() <= kNoteStartLength)
        return line;
    QString cut = line.left(kNoteStartLength);
    const qsizetype space = cut.lastIndexOf(QLatin1Char(' '));
    if (space > kNoteStartLength / 2)
        cut.truncate(space);
    return cut + QChar(0x2026);
}

} // namespace favouritespage

namespace {

struct Entry
{
    qint64 id = 0;
    QString name;
    bool present = false;
    QString note;
};

QString entryHtml(const Entry &e)
{
    QString html = QStringLiteral("<LI>");
    if (e.present) {
        html += QStringLiteral("<A HREF=\"ITEM:%1\">%2</A>").arg(e.id).arg(e.name.toHtmlEscaped());
        if (!e.note.isEmpty())
            html += QStringLiteral(" &mdash; <I>") + favouritespage::noteStart(e.note).toHtmlEscaped() + QStringLiteral("</I>");
    } else {
        html += QStringLiteral("<B>") + (e.name + favouritespage::goneMark()).toHtmlEscaped() + QStringLiteral("</B>");
        if (!e.note.isEmpty())
            html += QStringLiteral("<BR>") + notebox::escapedText(e.note);
    }
    return html + QStringLiteral("</LI>");
}

void appendList(THTMLJoiner &joiner, const QString &heading, QVector<Entry> entries, const QString &emptyText)
{
    joiner.AddHTML(QStringLiteral("<H3>") + heading + QStringLiteral("</H3>"));
    if (entries.isEmpty()) {
        joiner.AddHTML(QStringLiteral("<P>") + emptyText + QStringLiteral("</P>"));
        return;
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        const int order = compareNames(a.name, b.name);
        return order != 0 ? order < 0 : a.id < b.id;
    });
    joiner.AddHTML(QStringLiteral("<UL>"));
    for (const Entry &e : entries)
        joiner.AddHTML(entryHtml(e));
    joiner.AddHTML(QStringLiteral("</UL>"));
}

} // namespace

ComposedPage composeFavouritesPage(Database &db, const ReferenceSnapshot &snapshot)
{
    THTMLJoiner joiner;
    ComposedPage page;
    joiner.AddHTML(pageskeleton::opening());
    try {
        QVector<Entry> starred, noted;
        for (const userdata::UserItem &item : userdata::allItems(db)) {
            Entry e;
            e.id = item.id;
            e.note = item.note;
            const ItemRow *row = snapshot.items.locate(item.id);
            e.present = row != nullptr;
            e.name = row ? trimControl(row->name.value_or(QString())) : item.lastName;
            if (e.name.isEmpty())
                e.name = QStringLiteral("Препарат %1").arg(item.id);
            if (item.favourite)
                starred.push_back(e);
            else if (!item.note.isEmpty())
                noted.push_back(e);
        }
        appendList(joiner, QStringLiteral("Избранное"), starred,
                   QStringLiteral("Здесь будут препараты, отмеченные кнопкой «В избранное» (Ctrl+D)."));
        appendList(joiner, QStringLiteral("С заметками"), noted,
                   QStringLiteral("Заметок к другим препаратам нет."));
    } catch (const std::exception &e) {
        const auto *ramux = dynamic_cast<const RamuxError *>(&e);
        page.error = ramux ? ramux->message() : QString::fromUtf8(e.what());
    }
    joiner.AddHTML(pageskeleton::closing());
    page.document = joiner.GetDocument();
    page.body = joiner.body();
    return page;
}
