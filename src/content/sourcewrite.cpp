// Reference content back into readable sources.
#include "content/sourcewrite.h"

#include "content/sourcereader.h"
#include "content/structuredsource.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "text/packedcontent.h"
#include "text/ramuxerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace {

class Renderer
{
public:
    explicit Renderer(SourceFiles &out) : m_out(out) {}

    // The HTML of a packed field, its images kept for images/; a null string when the field
    // would not pack back to the same text.
    QString unpack(const QString &packed, const QString &place)
    {
        QString html;
        bool htmlSeen = false;
        bool ok = true;
        std::vector<std::pair<QString, QByteArray>> attachments;
        try {
            scanPackedContent(packed, [&](QString &name, QString &content) {
                if (!htmlSeen && name == QLatin1String("HTML")) {
                    htmlSeen = true;
                    html = decodeCp1251(base64Decode(content.toLatin1()));
                } else {
                    attachments.emplace_back(name, base64Decode(content.toLatin1()));
                }
            });
        } catch (const std::exception &) {
            ok = false;
        }
        if (!ok || !htmlSeen || html.isEmpty() || trimControl(html) != html) {
            fail(place, QStringLiteral("поле не является упакованным HTML, который можно записать без изменений"));
            return QString();
        }
        QString again = QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>");
        for (const QString &name : referencedImages(html)) {
            const auto it = std::find_if(attachments.begin(), attachments.end(),
                                         [&](const auto &a) { return a.first == name; });
            if (it == attachments.end())
                break; // the comparison below reports it
            again += QLatin1Char('<') + name + QLatin1Char('>') + Base64EncodeString(it->second) +
                     QStringLiteral("</") + name + QLatin1Char('>');
            const QString file = QStringLiteral("images/") + name + QStringLiteral(".png");
            auto known = m_out.files.find(file);
            if (known != m_out.files.end() && known->second != it->second) {
                fail(place, QStringLiteral("рисунок %1 отличается от рисунка с тем же именем в другом поле").arg(name));
                return QString();
            }
            m_out.files[file] = it->second;
        }
        if (again != packed) {
            fail(place, QStringLiteral("поле не удается записать так, чтобы оно упаковалось в тот же текст"));
            return QString();
        }
        return html;
    }

    // A name for a list or header line: it must read back as the same value.
    QString name(const FieldValue &value, const QString &place)
    {
        if (!value)
            return QString();
        for (const QChar c : *value) {
            if (c.unicode() < 0x20) {
                fail(place, QStringLiteral("название содержит управляющий символ"));
                return QString();
            }
        }
        if (value->trimmed().isEmpty())
            fail(place, QStringLiteral("название из одних пробелов"));
        return *value;
    }

    void fail(const QString &place, const QString &what) { m_out.errors.append(place + QStringLiteral(": ") + what); }

private:
    SourceFiles &m_out;
};

QString placeOf(const ContentTable &t, qint64 id, const QString &column = QString())
{
    return column.isEmpty() ? QStringLiteral("%1 %2").arg(t.name).arg(id)
                            : QStringLiteral("%1 %2 %3").arg(t.name).arg(id).arg(column);
}

FieldValue valueOf(const ContentTable &t, const ContentRow &row, const QString &column)
{
    const int at = t.columnIndex(column);
    return at < 0 ? FieldValue() : row.values.value(at);
}

void renderNamed(const ContentSet &content, const QString &table, Renderer &r, SourceFiles &out)
{
    const ContentTable &t = *content.findTable(table);
    QByteArray list;
    for (const ContentRow &row : t.rows) {
        QString line = QString::number(row.id) + QLatin1Char('\t');
        if (table == QLatin1String("sections")) {
            const FieldValue parent = valueOf(t, row, QStringLiteral("parent_id"));
            bool ok = false;
            const qint64 number = parent ? parent->toLongLong(&ok) : 0;
            if (!ok || number < 0 || QString::number(number) != *parent)
                r.fail(placeOf(t, row.id, QStringLiteral("parent_id")), QStringLiteral("не номер группы"));
            line += QString::number(number) + QLatin1Char('\t');
        }
        line += r.name(valueOf(t, row, QStringLiteral("name")), placeOf(t, row.id, QStringLiteral("name")));
        list += line.toUtf8() + '\n';
        if (const FieldValue description = valueOf(t, row, QStringLiteral("description"))) {
            const QString html = r.unpack(*description, placeOf(t, row.id, QStringLiteral("description")));
            if (!html.isNull())
                out.files[QStringLiteral("%1/%2.html").arg(table).arg(row.id)] = html.toUtf8() + '\n';
        }
    }
    out.files[table + QStringLiteral(".tsv")] = list;
}

} // namespace

SourceFiles renderSources(const ContentSet &content)
{
    SourceFiles out;
    Renderer r(out);
    ContentSet sorted = content;
    for (ContentTable &t : sorted.tables)
        std::sort(t.rows.begin(), t.rows.end(), [](const ContentRow &a, const ContentRow &b) { return a.id < b.id; });

    for (const char *table : {"sections", "vendors", "distributors", "dealers"})
        renderNamed(sorted, QString::fromLatin1(table), r, out);

    const ContentTable &items = *sorted.findTable(QStringLiteral("items"));
    QSet<qint64> itemIds;
    for (const ContentRow &row : items.rows)
        itemIds.insert(row.id);

    // Link targets per product, in link id order: the order a product file lists them in.
    QHash<qint64, std::map<QString, QList<qint64>>> links;
    for (const sourceformat::LinkKind &kind : sourceformat::linkKinds()) {
        const ContentTable &t = *sorted.findTable(QString::fromLatin1(kind.table));
        QSet<QPair<qint64, qint64>> seen;
        for (const ContentRow &row : t.rows) {
            bool okItem = false, okTarget = false;
            const qint64 item = valueOf(t, row, QStringLiteral("item_id")).value_or(QString()).toLongLong(&okItem);
            const qint64 target =
                valueOf(t, row, QString::fromLatin1(kind.column)).value_or(QString()).toLongLong(&okTarget);
            if (!okItem || !okTarget || !itemIds.contains(item)) {
                out.warnings.append(placeOf(t, row.id) + QStringLiteral(": связь без препарата не записана"));
                continue;
            }
            if (seen.contains({item, target})) {
                out.warnings.append(placeOf(t, row.id) + QStringLiteral(": повторная связь не записана"));
                continue;
            }
            seen.insert({item, target});
            links[item][QString::fromLatin1(kind.table)].append(target);
        }
    }

    const std::map<qint64, QString> blocks =
        structuredsource::renderItemBlocks(sorted, out.errors, out.warnings);
    if (const QByteArray species = structuredsource::renderSpecies(sorted, out.errors); !species.isEmpty())
        out.files[QString::fromLatin1(structuredsource::SpeciesFile)] = species;

    for (const ContentRow &row : items.rows) {
        QString text = QStringLiteral("id: %1\n").arg(row.id);
        for (const char *key : {"name", "name_lat"}) {
            const QString column = QString::fromLatin1(key);
            if (const FieldValue value = valueOf(items, row, column))
                text += column + QStringLiteral(": ") + r.name(value, placeOf(items, row.id, column)) + QLatin1Char('\n');
        }
        const auto &mine = links[row.id];
        for (const sourceformat::LinkKind &kind : sourceformat::linkKinds()) {
            const auto it = mine.find(QString::fromLatin1(kind.table));
            if (it == mine.end())
                continue;
            QStringList ids;
            for (qint64 id : it->second)
                ids.append(QString::number(id));
            text += QString::fromLatin1(kind.key) + QStringLiteral(": ") + ids.join(QStringLiteral(", ")) + QLatin1Char('\n');
        }
        for (const QString &section : sourceformat::itemSections()) {
            const FieldValue value = valueOf(items, row, section);
            if (!value)
                continue;
            const QString place = placeOf(items, row.id, section);
            const QString html = r.unpack(*value, place);
            if (html.isNull())
                continue;
            if (html.startsWith(QStringLiteral("== ")) || html.contains(QStringLiteral("\n== "))) {
                r.fail(place, QStringLiteral("строка текста начинается с \"== \""));
                continue;
            }
            text += QStringLiteral("== ") + section + QLatin1Char('\n') + html + QLatin1Char('\n');
        }
        if (const auto it = blocks.find(row.id); it != blocks.end())
            text += it->second;
        out.files[QStringLiteral("items/%1.txt").arg(row.id)] = text.toUtf8();
    }

    if (const auto greeting = content.meta.constFind(QString::fromLatin1(contentmeta::Greeting));
        greeting != content.meta.constEnd() && !trimControl(*greeting).isEmpty()) {
        const QString html = r.unpack(*greeting, QStringLiteral("greeting"));
        if (!html.isNull())
            out.files[QStringLiteral("greeting.html")] = html.toUtf8() + '\n';
    }

    QString offer;
    for (const sourceformat::OfferKey &key : sourceformat::offerKeys()) {
        const QString value = content.meta.value(QString::fromLatin1(key.meta));
        if (value.isEmpty())
            continue;
        if (value != value.trimmed() || value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
            r.fail(QString::fromLatin1(key.meta), QStringLiteral("значение с переводом строки или пробелами по краям"));
        offer += QString::fromLatin1(key.key) + QStringLiteral(": ") + value + QLatin1Char('\n');
    }
    if (!offer.isEmpty())
        out.files[QString::fromLatin1(sourceformat::OfferFile)] = offer.toUtf8();
    return out;
}

void writeSourceFiles(const SourceFiles &sources, const QString &dir)
{
    QDir target(dir);
    if (target.exists() && !target.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        throw RamuxError(QStringLiteral("Папка не пуста: %1").arg(dir));
    for (const auto &[relative, bytes] : sources.files) {
        const QString path = dir + QLatin1Char('/') + relative;
        if (!QDir().mkpath(QFileInfo(path).path()))
            throw RamuxError(QStringLiteral("Не удается создать папку для %1").arg(path));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size() || !file.flush())
            throw RamuxError(QStringLiteral("Не удается записать %1").arg(path));
    }
}
