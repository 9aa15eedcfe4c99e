// The reader's record pages, their images and the results page, composed by the desktop's
// composers and made fit for the web by webpage::forWeb.
#include "readerpages.h"

#include "content/htmlallowlist.h"
#include "db/sqlitedb.h"
#include "pages/htmljoiner.h"
#include "pages/grouppage.h"
#include "pages/linkpage.h"
#include "pages/productpage.h"
#include "pages/webpage.h"
#include "search/finder.h"
#include "search/textfold.h"
#include "text/base64.h"
#include "text/packedcontent.h"

#include <QSet>

using webpage::escape;

namespace readerpages {

namespace {

// What the desktop's results page says while its worker builds the index; on the server no
// one builds it, so the reader says what is the case instead.
const QString kDesktopPendingNotice =
    QStringLiteral("<P><I>Описания ещё индексируются — показаны результаты по названиям.</I></P>");
const QString kNamesOnlyNotice = QStringLiteral(
    "<p id=\"names-only\" class=\"notice\">Указатель описаний для этого справочника не построен — "
    "показаны результаты только по названиям.</p>\n");
// The partner page's back link when there is no product to go back to.
const QString kEmptyBackLink = QStringLiteral("<A HREF=\"ITEM:\">Назад</A><BR><HR>");

QString trimmedName(const std::optional<QString> &name)
{
    return name ? trimControl(*name) : QString();
}

QString kindWord(LinkTarget kind)
{
    return webpage::recordPath(kind, 0).section(QLatin1Char('/'), 1, 1);
}

// The group's ancestors from the top down, each a link; the group itself last, as text.
QString groupBreadcrumbs(const ReferenceSnapshot &s, qint64 id)
{
    QStringList parts;
    QSet<qint64> seen{id};
    const SectionRow *row = s.sections.locate(id);
    qint64 parent = row ? row->parentId.value_or(0) : 0;
    while (parent > 0 && !seen.contains(parent) && seen.size() < kMaxGroupDepth) {
        seen.insert(parent);
        const SectionRow *up = s.sections.locate(parent);
        if (!up)
            break;
        parts.prepend(
            QStringLiteral("<li><a href=\"%1\">%2</a></li>")
                .arg(webpage::recordPath(LinkTarget::Section, parent), escape(trimmedName(up->name))));
        parent = up->parentId.value_or(0);
    }
    parts.prepend(QStringLiteral("<li><a href=\"/groups\">Группы</a></li>"));
    parts.prepend(QStringLiteral("<li><a href=\"/\">Главная</a></li>"));
    return QStringLiteral("<nav class=\"breadcrumbs\" aria-label=\"Путь\"><ol>") + parts.join(QString()) +
           QStringLiteral("</ol></nav>\n");
}

ReaderAnswer composed(const ReaderContext &context, const QString &kind, const QString &title,
                      const ComposedPage &page, webpage::WebContext web, const QString &breadcrumbs = {},
                      const readerpages::AnswersHtml &answers = {})
{
    web.images = webpage::attachmentNames(page.document);
    Shell shell;
    shell.kind = kind;
    shell.title = title;
    shell.breadcrumbs = breadcrumbs;
    // The reader's h1 names the record; the composed page's own title would say it again.
    QString body = page.body;
    const QString composedTitle = QStringLiteral("<H3>") + title + QStringLiteral("</H3><BR/>");
    const qsizetype at = body.indexOf(composedTitle);
    if (at >= 0)
        body.remove(at, composedTitle.size());
    shell.main = answers.jumps + QStringLiteral("<div class=\"record\" id=\"record\">") +
                 webpage::forWeb(body, web) + QStringLiteral("</div>") + answers.section;
    ReaderAnswer answer;
    answer.body = render(context, shell);
    return answer;
}

// The packed texts a record's page is made of, where its attachments travel.
QStringList packedTexts(const ReaderContext &context, LinkTarget kind, qint64 id)
{
    QStringList texts;
    auto add = [&texts](const std::optional<QString> &text) {
        if (text)
            texts << *text;
    };
    const ReferenceSnapshot &s = context.model.snapshot;
    switch (kind) {
    case LinkTarget::Item: {
        if (!s.items.locate(id))
            break;
        const ItemTexts t = readItemTexts(context.db, id);
        for (const auto *field :
             {&t.description, &t.form, &t.effect, &t.prescriptions, &t.dose, &t.sideEffects,
              &t.contraIndication, &t.specialConditions, &t.storageInstructions})
            add(*field);
        break;
    }
    case LinkTarget::Section:
        if (s.sections.locate(id))
            add(readDescription(context.db, QStringLiteral("sections"), id));
        break;
    case LinkTarget::Vendor:
        if (s.vendors.locate(id))
            add(readDescription(context.db, QStringLiteral("vendors"), id));
        break;
    case LinkTarget::Distributor:
        if (s.distributors.locate(id))
            add(readDescription(context.db, QStringLiteral("distributors"), id));
        break;
    case LinkTarget::Dealer:
        if (s.dealers.locate(id))
            add(readDescription(context.db, QStringLiteral("dealers"), id));
        break;
    }
    return texts;
}

} // namespace

ReaderAnswer record(const ReaderContext &context, LinkTarget kind, qint64 id, std::optional<qint64> from,
                    const QHash<QString, QString> &parameters)
{
    // The publisher's fields, not the composed page: the page's own wrappers stay as they are.
    const PackedFieldFilter allowList(&htmlallowlist::cleanPacked);
    const ReaderModel &m = context.model;
    const ReferenceSnapshot &s = m.snapshot;
    const PageSources sources{context.db, s, m.names.russian, m.names.latin};
    webpage::WebContext web;
    web.imageBase = webpage::recordPath(kind, id) + QStringLiteral("/image/");
    switch (kind) {
    case LinkTarget::Item: {
        if (!s.items.locate(id))
            break;
        web.fromItem = id;
        QString title = finder::productName(s, id);
        if (title.isEmpty())
            title = QStringLiteral("Препарат");
        return composed(context, QStringLiteral("item"), title, composeProductPage(sources, id), web, {},
                        answersSection(context, id, parameters));
    }
    case LinkTarget::Section: {
        const SectionRow *row = s.sections.locate(id);
        if (!row)
            break;
        const BrowseNode *node = nodeAtPath(m.groups, findNodePath(m.groups, id));
        const std::optional<ComposedPage> page =
            composeGroupPage(sources, id, node ? childNodesOf(*node) : QVector<ChildNode>());
        if (!page)
            break;
        QString title = trimmedName(row->name);
        return composed(context, QStringLiteral("group"), title.isEmpty() ? QStringLiteral("Группа") : title,
                        *page, web, groupBreadcrumbs(s, id));
    }
    case LinkTarget::Vendor: {
        const NamedRow *row = s.vendors.locate(id);
        const std::optional<ComposedPage> page = row ? composeVendorPage(sources, id) : std::nullopt;
        if (!page)
            break;
        const QString title = trimmedName(row->name);
        return composed(context, QStringLiteral("maker"),
                        title.isEmpty() ? QStringLiteral("Производитель") : title, *page, web);
    }
    case LinkTarget::Distributor:
    case LinkTarget::Dealer: {
        const bool distributor = kind == LinkTarget::Distributor;
        const NamedRow *row = (distributor ? s.distributors : s.dealers).locate(id);
        if (!row)
            break;
        if (from && !s.items.locate(*from))
            from.reset(); // no such product to go back to
        std::optional<ComposedPage> page = composePartnerPage(
            sources, distributor ? PartnerKind::Distributor : PartnerKind::Dealer, id, from);
        if (!page)
            break;
        if (!from)
            page->body.replace(kEmptyBackLink, QString());
        QString title = trimmedName(row->name);
        if (title.isEmpty())
            title = distributor ? QStringLiteral("Поставщик") : QStringLiteral("Продавец");
        return composed(context, kindWord(kind), title, *page, web);
    }
    }
    return notFound(context);
}

ReaderAnswer image(const ReaderContext &context, LinkTarget kind, qint64 id, const QString &name)
{
    const QString wanted = trimControl(name);
    for (const QString &text : packedTexts(context, kind, id)) {
        QByteArray data;
        bool found = false;
        scanPackedContent(text, [&](QString &partName, QString &content) {
            const QString trimmed = trimControl(partName);
            if (found || trimmed.compare(wanted, Qt::CaseInsensitive) != 0 ||
                trimmed.compare(QLatin1String("HTML"), Qt::CaseInsensitive) == 0)
                return;
            found = true;
            const QString base64 = trimControl(content);
            QByteArray ascii(base64.size(), Qt::Uninitialized);
            for (qsizetype i = 0; i < base64.size(); ++i)
                ascii[i] = base64[i].unicode() < 128 ? char(base64[i].unicode()) : '\x01';
            try {
                data = base64Decode(ascii);
            } catch (const std::exception &) {
                data.clear(); // a damaged attachment is no image
            }
        });
        if (!found)
            continue;
        const QByteArray type = webpage::imageType(data);
        if (type.isEmpty())
            break;
        ReaderAnswer answer;
        answer.type = type;
        answer.body = data;
        return answer;
    }
    return notFound(context);
}

ReaderAnswer search(const ReaderContext &context, const QString &typed)
{
    // Bounded as the desktop's search box bounds it: characters first, then words.
    const QString query = textfold::cleanQuery(typed)
                              .split(QLatin1Char(' '), Qt::SkipEmptyParts)
                              .mid(0, textfold::kMaxQueryWords)
                              .join(QLatin1Char(' '));
    Shell shell;
    shell.kind = QStringLiteral("search");
    shell.title = QStringLiteral("Результаты поиска");
    shell.query = query;
    if (query.isEmpty()) {
        shell.main = QStringLiteral("<p id=\"search-hint\">Введите в поле поиска название препарата, группы "
                                    "или производителя либо слова из описания.</p>");
        ReaderAnswer answer;
        answer.body = render(context, shell);
        return answer;
    }
    const ReaderModel &m = context.model;
    const PageSources sources{context.db, m.snapshot, m.names.russian, m.names.latin};
    SearchPage found = composeSearchPage(sources, m.catalogs, query);
    QString body = found.page.body;
    body.replace(QStringLiteral("<H3>Результаты поиска</H3>"), QString()); // the reader's h1 says it
    if (found.textsPending) {
        body.replace(kDesktopPendingNotice, QString());
        shell.main += kNamesOnlyNotice;
    }
    shell.main += QStringLiteral("<div class=\"results\" id=\"results\">") +
                  webpage::forWeb(body, webpage::WebContext()) + QStringLiteral("</div>");
    ReaderAnswer answer;
    answer.body = render(context, shell);
    return answer;
}

} // namespace readerpages
