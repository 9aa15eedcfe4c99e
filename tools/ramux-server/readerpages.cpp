// The reader's shell, its model and the browse lists.
#include "readerpages.h"

#include "content/content.h"
#include "db/sqlitedb.h"
#include "pages/productpage.h"
#include "pages/webpage.h"
#include "search/textindex.h"

#include <QDateTime>
#include <QUrl>

using webpage::escape;

namespace {

const QString kSiteName = QStringLiteral("Справочник Ramux");
const QString kDemoNotice = QStringLiteral(
    "Содержимое этой демонстрационной базы — иллюстративное и не является клиническими рекомендациями.");

QString dataDate(const QString &publishedAt)
{
    const QDateTime when = QDateTime::fromString(publishedAt, Qt::ISODate);
    if (publishedAt.isEmpty() || !when.isValid())
        return QStringLiteral("<p id=\"data-date\">Дата публикации данных неизвестна</p>");
    const QDateTime utc = when.toUTC();
    return QStringLiteral("<p id=\"data-date\">Данные на <time datetime=\"%1\">%2 UTC</time></p>")
        .arg(escape(utc.toString(Qt::ISODate)), escape(utc.toString(QStringLiteral("dd.MM.yyyy, HH:mm"))));
}

QString letterPath(const QString &letter)
{
    return QStringLiteral("/letter/") + QString::fromLatin1(QUrl::toPercentEncoding(letter));
}

// A list of links, one a line, each a tap target of its own.
QString entryList(const QString &id, const QVector<BrowseNode> &nodes, LinkTarget target)
{
    QString html = QStringLiteral("<ul class=\"entries\" id=\"%1\">").arg(id);
    for (const BrowseNode &node : nodes)
        html += QStringLiteral("<li><a href=\"%1\">%2</a></li>")
                    .arg(webpage::recordPath(target, node.id), escape(node.text));
    return html + QStringLiteral("</ul>");
}

// The tree of groups as nested lists; depth is bounded by the tree builder.
void appendTree(QString &html, const QVector<BrowseNode> &nodes)
{
    html += QStringLiteral("<ul>");
    for (const BrowseNode &node : nodes) {
        html += QStringLiteral("<li><a href=\"%1\">%2</a>")
                    .arg(webpage::recordPath(LinkTarget::Section, node.id), escape(node.text));
        if (!node.children.isEmpty())
            appendTree(html, node.children);
        html += QStringLiteral("</li>");
    }
    html += QStringLiteral("</ul>");
}

QString letterIndex(const QString &id, const QString &label, const BrowseNode *root)
{
    if (!root || root->children.isEmpty())
        return QString();
    QString html = QStringLiteral("<nav class=\"letters\" id=\"%1\" aria-label=\"%2\"><h2>%3</h2><ul>")
                       .arg(id, escape(label), escape(label));
    for (const BrowseNode &letter : root->children)
        html += QStringLiteral("<li><a href=\"%1\">%2</a></li>")
                    .arg(escape(letterPath(letter.text)), escape(letter.text));
    return html + QStringLiteral("</ul></nav>");
}

ReaderAnswer page(const ReaderContext &context, const readerpages::Shell &shell, int status = 200)
{
    ReaderAnswer answer;
    answer.status = status;
    answer.body = readerpages::render(context, shell);
    return answer;
}

} // namespace

std::shared_ptr<const ReaderModel> buildReaderModel(Database &db, const QByteArray &version)
{
    auto model = std::make_shared<ReaderModel>();
    model->version = version;
    loadReferenceTables(db, model->snapshot);
    model->names = buildNameLists(model->snapshot);
    model->products = buildProductTree(model->names);
    model->groups = buildSectionTree(model->snapshot);
    model->makers = buildVendorList(model->snapshot);
    const PageSources sources{db, model->snapshot, model->names.russian, model->names.latin};
    model->catalogs = buildSearchCatalogs(sources);
    Statement st = db.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?1"));
    st.bind(1, QString::fromLatin1(contentmeta::PublishedAt));
    if (st.step())
        model->publishedAt = st.text(0);
    model->textIndex = textindex::isUsable(db);
    return model;
}

namespace readerpages {

QByteArray render(const ReaderContext &context, const Shell &shell)
{
    QString html;
    html.reserve(shell.main.size() + 4096);
    html += QStringLiteral("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
                           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                           "<meta name=\"color-scheme\" content=\"light dark\">\n<title>");
    html += escape(shell.title) + QStringLiteral(" — ") + kSiteName;
    html += QStringLiteral("</title>\n<link rel=\"stylesheet\" href=\"%1\">\n</head>\n")
                .arg(QString::fromLatin1(ReaderSite::stylePath()));
    html += QStringLiteral("<body class=\"page-%1\">\n").arg(escape(shell.kind));
    html += QStringLiteral(
        "<a class=\"skip-link\" href=\"#main\">Перейти к содержанию</a>\n"
        "<header class=\"site-header\">\n"
        "<form class=\"search\" id=\"search-form\" role=\"search\" action=\"/search\" method=\"get\">\n"
        "<label for=\"q\">Поиск препарата, группы или производителя</label>\n"
        "<div class=\"search-row\"><input id=\"q\" name=\"q\" type=\"search\" value=\"");
    html += escape(shell.query);
    html += QStringLiteral(
        "\" maxlength=\"200\" autocomplete=\"off\"><button type=\"submit\">Найти</button></div>\n"
        "</form>\n<p class=\"site-name\"><a href=\"/\">");
    html += kSiteName;
    html += QStringLiteral("</a></p>\n</header>\n"
                           "<nav class=\"site-nav\" aria-label=\"Разделы справочника\"><ul>"
                           "<li><a href=\"/\">Главная</a></li><li><a href=\"/groups\">Группы</a></li>"
                           "<li><a href=\"/makers\">Производители</a></li></ul></nav>\n"
                           "<main id=\"main\" tabindex=\"-1\">\n");
    html += shell.breadcrumbs;
    html += QStringLiteral("<h1 id=\"page-title\">") + escape(shell.title) + QStringLiteral("</h1>\n");
    html += shell.main;
    html += QStringLiteral("\n</main>\n<footer class=\"site-footer\">\n");
    html += dataDate(context.model.publishedAt);
    if (context.demo)
        html += QStringLiteral("<p id=\"demo-notice\" class=\"demo-notice\">") + kDemoNotice +
                QStringLiteral("</p>");
    html += QStringLiteral("\n</footer>\n</body>\n</html>\n");
    return html.toUtf8();
}

ReaderAnswer home(const ReaderContext &context)
{
    const ReaderModel &m = context.model;
    Shell shell;
    shell.kind = QStringLiteral("home");
    shell.title = kSiteName;
    shell.main += letterIndex(QStringLiteral("letters-ru"), QStringLiteral("Препараты по русскому названию"),
                              m.products.size() > 0 ? &m.products[0] : nullptr);
    shell.main +=
        letterIndex(QStringLiteral("letters-lat"), QStringLiteral("Препараты по латинскому названию"),
                    m.products.size() > 1 ? &m.products[1] : nullptr);
    if (m.products.isEmpty() || (m.products[0].children.isEmpty() && m.products.value(1).children.isEmpty()))
        shell.main += QStringLiteral("<p id=\"empty-reference\">Справочник пока пуст.</p>");
    shell.main += QStringLiteral("<h2>Списки</h2><ul class=\"entries\" id=\"browse\">"
                                 "<li><a href=\"/groups\">Фармакологические группы</a></li>"
                                 "<li><a href=\"/makers\">Производители</a></li></ul>");
    return page(context, shell);
}

ReaderAnswer letter(const ReaderContext &context, const QString &letter)
{
    // Russian letters first, as the home page lists them; the Latin ones have their own.
    for (int root = 0; root < context.model.products.size(); ++root) {
        for (const BrowseNode &node : context.model.products[root].children) {
            if (node.text != letter)
                continue;
            Shell shell;
            shell.kind = QStringLiteral("letter");
            shell.title = QStringLiteral("Препараты на букву %1").arg(letter);
            shell.breadcrumbs = QStringLiteral("<nav class=\"breadcrumbs\" aria-label=\"Путь\"><ol>"
                                               "<li><a href=\"/\">Главная</a></li><li>%1</li></ol></nav>\n")
                                    .arg(escape(context.model.products[root].text));
            shell.main = entryList(QStringLiteral("entries"), node.children, LinkTarget::Item);
            return page(context, shell);
        }
    }
    return notFound(context);
}

ReaderAnswer groups(const ReaderContext &context)
{
    Shell shell;
    shell.kind = QStringLiteral("groups");
    shell.title = QStringLiteral("Фармакологические группы");
    if (context.model.groups.isEmpty()) {
        shell.main = QStringLiteral("<p>Групп в справочнике нет.</p>");
    } else {
        shell.main = QStringLiteral("<div class=\"tree\" id=\"group-tree\">");
        appendTree(shell.main, context.model.groups);
        shell.main += QStringLiteral("</div>");
    }
    return page(context, shell);
}

ReaderAnswer makers(const ReaderContext &context)
{
    Shell shell;
    shell.kind = QStringLiteral("makers");
    shell.title = QStringLiteral("Производители");
    shell.main = context.model.makers.isEmpty()
                     ? QStringLiteral("<p>Производителей в справочнике нет.</p>")
                     : entryList(QStringLiteral("entries"), context.model.makers, LinkTarget::Vendor);
    return page(context, shell);
}

ReaderAnswer notFound(const ReaderContext &context)
{
    Shell shell;
    shell.kind = QStringLiteral("not-found");
    shell.title = QStringLiteral("Страница не найдена");
    shell.main =
        QStringLiteral("<p id=\"not-found\">Такой страницы в справочнике нет: возможно, запись удалена "
                       "или адрес набран с ошибкой. Найдите нужное через поиск или "
                       "<a href=\"/\">начните с главной страницы</a>.</p>");
    return page(context, shell, 404);
}

} // namespace readerpages
