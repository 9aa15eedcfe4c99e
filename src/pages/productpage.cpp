#include "pages/productpage.h"

#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "pages/htmljoiner.h"
#include "pages/notebox.h"
#include "text/packedcontent.h"

#include <QSet>
#include <exception>

namespace pageskeleton {
QString opening()
{
    return QStringLiteral(
        "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"RES:style_css\"></head>"
        "<body><div class=\"common-wrapper\">");
}

QString closing()
{
    return QStringLiteral("</div></body></html>");
}
} // namespace pageskeleton

namespace {

bool isPresent(const std::optional<QString> &field)
{
    return field && !trimControl(*field).isEmpty();
}

QString errorText(const std::exception &e)
{
    if (const auto *ramux = dynamic_cast<const RamuxError *>(&e))
        return ramux->message();
    return QString::fromLocal8Bit(e.what());
}

// One block of manufacturers, distributors or dealers: the entries of the link rows of this
// product whose target exists, with a singular or plural heading. A failing entry is dropped.
template <typename MakeEntry>
void appendTargetList(THTMLJoiner &joiner, const RowTable<LinkRow> &links, const RowTable<NamedRow> &targets,
                      qint64 itemId, const QString &singular, const QString &plural, MakeEntry makeEntry)
{
    QString entries;
    int count = 0;
    for (const LinkRow &link : links.rows) {
        if (link.itemId != itemId)
            continue;
        try {
            const NamedRow *target = link.targetId ? targets.locate(*link.targetId) : nullptr;
            if (!target)
                continue;
            const QString entry = makeEntry(*target);
            entries += QLatin1String("<LI>") + entry + QLatin1String("</LI>");
            ++count;
        } catch (const std::exception &) {
            // The entry is left out and not counted; the next row still gets its chance.
        }
    }
    if (count == 0)
        return;
    joiner.AddHTML(count == 1 ? singular : plural);
    joiner.AddHTML(entries);
    joiner.AddHTML(QStringLiteral("</UL>"));
}

QString linkEntry(const QString &prefix, const NamedRow &row)
{
    return QLatin1String("<A HREF=\"") + prefix + QString::number(row.id) + QLatin1String("\">") +
           row.name.value_or(QString()) + QLatin1String("</A>");
}

void composeBody(THTMLJoiner &joiner, const PageSources &src, qint64 itemId)
{
    const ReferenceSnapshot &s = src.snapshot;
    const ItemRow *item = s.items.locate(itemId);
    if (!item)
        return;
    joiner.AddHTML(notebox::forItem(src.db, itemId));

    const ItemTexts texts = readItemTexts(src.db, itemId);
    if (isPresent(texts.description)) {
        joiner.AddPacked(trimControl(*texts.description));
        joiner.AddHTML(QStringLiteral("<BR/>"));
    }
    if (isPresent(item->name))
        joiner.AddHTML(QLatin1String("<H3>") + trimControl(*item->name) + QLatin1String("</H3><BR/>"));
    if (isPresent(item->nameLat)) {
        joiner.AddHTML(QStringLiteral("<B>Латинское название:</B><BR>"));
        joiner.AddHTML(trimControl(*item->nameLat));
    }

    const std::pair<const std::optional<QString> *, const char16_t *> sections[] = {
        {&texts.form, u"<BR><BR><B>Форма выпуска:</B><BR>"},
        {&texts.effect, u"<BR><BR><B>Фармакологические свойства:</B><BR>"},
        {&texts.prescriptions, u"<BR><BR><B>Показания:</B><BR>"},
        {&texts.dose, u"<BR><BR><B>Дозы и способ применения:</B><BR>"},
        {&texts.sideEffects, u"<BR><BR><B>Побочные действия:</B><BR>"},
        {&texts.contraIndication, u"<BR><BR><B>Противопоказания:</B><BR>"},
        {&texts.specialConditions, u"<BR><BR><B>Особые указания:</B><BR>"},
        {&texts.storageInstructions, u"<BR><BR><B>Условия хранения:</B><BR>"},
    };
    for (const auto &[field, heading] : sections) {
        if (!isPresent(*field))
            continue;
        joiner.AddHTML(QString::fromUtf16(heading));
        joiner.AddPacked(trimControl(**field));
    }

    int groups = 0;
    for (const LinkRow &link : s.itemsToSections.rows) {
        if (link.itemId != itemId || !link.targetId)
            continue;
        const QString path = GetSectionPath(s.sections, *link.targetId, QString());
        if (path.isEmpty())
            continue;
        if (groups++ == 0)
            joiner.AddHTML(QStringLiteral("<BR><BR><B>Препарат входит в следующие группы:</B><UL>"));
        joiner.AddHTML(QLatin1String("<LI>") + path + QLatin1String("</LI>"));
    }
    if (groups > 0)
        joiner.AddHTML(QStringLiteral("</UL>"));

    appendTargetList(joiner, s.itemsToVendors, s.vendors, itemId, QStringLiteral("<B>Производитель:</B><UL>"),
                     QStringLiteral("<B>Производители:</B><UL>"),
                     [](const NamedRow &row) { return linkEntry(QStringLiteral("VEND:"), row); });
    // A distributor or dealer without any description has no page of its own to link to.
    const auto distributorEntry = [](const QString &prefix) {
        return [prefix](const NamedRow &row) {
            return row.descriptionIsNull ? row.name.value_or(QString()) : linkEntry(prefix, row);
        };
    };
    appendTargetList(joiner, s.itemsToDistributors, s.distributors, itemId,
                     QStringLiteral("<B>Поставщик:</B><UL>"), QStringLiteral("<B>Поставщики:</B><UL>"),
                     distributorEntry(QStringLiteral("DIST:")));
    appendTargetList(joiner, s.itemsToDealers, s.dealers, itemId, QStringLiteral("<B>Продавец:</B><UL>"),
                     QStringLiteral("<B>Продавцы:</B><UL>"), distributorEntry(QStringLiteral("DEAL:")));
}

} // namespace

QString GetSectionPath(const RowTable<SectionRow> &sections, qint64 sectionId, const QString &tail)
{
    static const QString arrow = QStringLiteral(" <FONT face=\"Times New Roman\">&rarr;</FONT> ");
    QString result = tail;
    QSet<qint64> visited;
    qint64 id = sectionId;
    for (;;) {
        if (visited.contains(id) || visited.size() >= kMaxGroupDepth)
            return result; // a parent loop or an endless chain: the groups gathered so far
        visited.insert(id);
        const SectionRow *row = sections.locate(id);
        if (!row || !row->name)
            return result;
        QString text = QLatin1String("<A HREF=\"SECT:") + QString::number(id) + QLatin1String("\">") +
                       *row->name + QLatin1String("</A>");
        if (!trimControl(result).isEmpty())
            text += arrow + result;
        result = std::move(text);
        if (row->parentId.value_or(0) <= 0)
            return result;
        id = *row->parentId;
    }
}

ComposedPage composeProductPage(const PageSources &sources, qint64 itemId)
{
    THTMLJoiner joiner;
    ComposedPage page;
    joiner.AddHTML(pageskeleton::opening());
    try {
        composeBody(joiner, sources, itemId);
    } catch (const std::exception &e) {
        page.error = errorText(e);
    }
    joiner.AddHTML(pageskeleton::closing());
    page.document = joiner.GetDocument();
    page.body = joiner.body();
    return page;
}
