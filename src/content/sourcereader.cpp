// The reference sources reader: a folder in the source format as reference content, for the
// publisher and the demo alike.
#include "content/sourcereader.h"

#include "content/sourcereading.h"

#include "content/sourcefields.h"
#include "content/sourcefile.h"
#include "content/structuredsource.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "text/packedcontent.h"
#include "text/ramuxerror.h"
#include "text/utf8.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <map>

namespace {

using namespace sourcefields;
using sourcereading::ListLine;
using sourcereading::PageLink;
using sourcereading::SourceReader;

struct ItemLinks
{
    qint64 item = 0;
    QString file;
    std::map<QString, QList<qint64>> targets; // link table -> ids in the order written
    std::map<QString, int> lines;             // link table -> line of its key
    structuredsource::ItemBlocks blocks;
};

void loadNamedTable(ContentSet &set, SourceReader &reader, const QString &table, QSet<qint64> &ids)
{
    const QString list = table + QStringLiteral(".tsv");
    ContentTable &t = set.table(table);
    const bool descriptions = reader.descriptionFolderReadable(table);
    QList<ListLine> lines;
    reader.guard([&] { lines = reader.readList(list, 2); });
    for (const ListLine &l : lines) {
        reader.guard([&] {
            const qint64 id = parseId(l.fields.at(0), list, l.line);
            if (ids.contains(id))
                throw sourceError(list, QStringLiteral("номер %1 повторяется").arg(id), l.line);
            ids.insert(id);
            ContentRow &row = t.addRow(id);
            reader.guard(
                [&] { t.set(row, QStringLiteral("name"), nameValue(l.fields.at(1), list, l.line)); });
            if (descriptions)
                t.set(row, QStringLiteral("description"),
                      reader.packFile(QStringLiteral("%1/%2.html").arg(table).arg(id)));
        });
    }
}

ItemLinks loadItem(ContentSet &set, SourceReader &reader, const QString &file, qint64 fileId)
{
    ContentTable &items = set.table(QStringLiteral("items"));
    ContentRow &row = items.addRow(fileId);
    ItemLinks links;
    links.item = fileId;
    links.file = file;
    links.blocks.item = fileId;
    links.blocks.file = file;
    const QStringList lines = reader.readText(file).split(QLatin1Char('\n'));
    int at = 0;
    QSet<QString> seenKeys;
    for (; at < lines.size() && !lines.at(at).startsWith(QStringLiteral("== ")); ++at) {
        const QString &line = lines.at(at);
        if (line.trimmed().isEmpty())
            continue;
        reader.guard([&] {
            const qsizetype colon = line.indexOf(QLatin1Char(':'));
            if (colon <= 0)
                throw sourceError(file, QStringLiteral("ожидается строка \"ключ: значение\""), at + 1);
            const QString key = line.left(colon).trimmed();
            // The value is everything after ": ", spaces included: names are taken as written.
            QString value = line.mid(colon + 1);
            if (value.startsWith(QLatin1Char(' ')))
                value.remove(0, 1);
            if (seenKeys.contains(key))
                throw sourceError(file, QStringLiteral("ключ %1 повторяется").arg(key), at + 1);
            seenKeys.insert(key);
            const auto &kinds = sourceformat::linkKinds();
            const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const sourceformat::LinkKind &k) {
                return key == QLatin1String(k.key);
            });
            if (key == QLatin1String("id")) {
                if (parseId(value, file, at + 1) != fileId)
                    throw sourceError(file, QStringLiteral("номер не совпадает с именем файла"), at + 1);
            } else if (key == QLatin1String("name") || key == QLatin1String("name_lat")) {
                items.set(row, key, nameValue(value, file, at + 1));
            } else if (kind != kinds.end()) {
                const QString table = QString::fromLatin1(kind->table);
                links.targets[table] = parseIdList(value, file, at + 1);
                links.lines[table] = at + 1;
            } else {
                throw sourceError(file, QStringLiteral("неизвестный ключ %1").arg(key), at + 1);
            }
        });
    }
    QSet<QString> seenSections;
    while (at < lines.size()) {
        const QString field = lines.at(at).mid(3).trimmed();
        const int headerLine = at + 1;
        QStringList body;
        for (++at; at < lines.size() && !lines.at(at).startsWith(QStringLiteral("== ")); ++at)
            body.append(lines.at(at));
        const bool block = structuredsource::isBlockSection(field);
        if (!block && !sourceformat::itemSections().contains(field)) {
            reader.error(file, headerLine, QStringLiteral("неизвестный раздел %1").arg(field));
            continue;
        }
        if (seenSections.contains(field)) {
            reader.error(file, headerLine, QStringLiteral("раздел %1 повторяется").arg(field));
            continue;
        }
        seenSections.insert(field);
        if (block) {
            QStringList errors;
            links.blocks.blocks[field] =
                structuredsource::readBlock(field, body, headerLine + 1, file, errors);
            for (const QString &e : errors)
                reader.error(e);
            continue;
        }
        const QString joined = body.join(QLatin1Char('\n'));
        const QString html = trimControl(joined);
        const int firstLine =
            html.isEmpty() ? headerLine : headerLine + lineAt(joined, joined.indexOf(html.at(0)));
        items.set(row, field, html.isEmpty() ? FieldValue() : FieldValue(reader.pack(html, file, firstLine)));
        if (!html.isEmpty())
            links.blocks.texts[field] = html;
    }
    return links;
}

void loadOffer(ContentSet &set, SourceReader &reader)
{
    const QString file = QString::fromLatin1(sourceformat::OfferFile);
    const std::optional<QString> text = reader.readOptionalText(file);
    if (!text)
        return;
    const QStringList lines = text->split(QLatin1Char('\n'));
    QSet<QString> seen;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const QString key = colon > 0 ? line.left(colon).trimmed() : QString();
        const auto &keys = sourceformat::offerKeys();
        const auto known = std::find_if(keys.begin(), keys.end(), [&](const sourceformat::OfferKey &k) {
            return key == QLatin1String(k.key);
        });
        if (colon <= 0) {
            reader.error(file, i + 1, QStringLiteral("ожидается строка \"ключ: значение\""));
        } else if (known == keys.end()) {
            reader.error(file, i + 1, QStringLiteral("неизвестный ключ %1").arg(key));
        } else if (seen.contains(key)) {
            reader.error(file, i + 1, QStringLiteral("ключ %1 повторяется").arg(key));
        } else {
            seen.insert(key);
            const QString value = line.mid(colon + 1).trimmed();
            // Every client checks the download against it and refuses an offer it cannot read.
            static const QRegularExpression digest(QStringLiteral("^[0-9A-Fa-f]{64}$"));
            if (key == QLatin1String("sha256") && !value.isEmpty() && !digest.match(value).hasMatch())
                reader.error(file, i + 1, QStringLiteral("sha256: ожидается 64 шестнадцатеричные цифры"));
            else if (!value.isEmpty())
                set.meta.insert(QString::fromLatin1(known->meta), value);
        }
    }
}

} // namespace

QStringList referencedImages(const QString &html)
{
    static const QRegularExpression src(QStringLiteral("<img\\b[^>]*?\\bsrc=\"([^\"]*)\""),
                                        QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (auto it = src.globalMatch(html); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

QString packDemoHtml(const QString &html, const QString &imageDir)
{
    SourceProblems problems;
    SourceReader reader(QFileInfo(imageDir).path(), problems);
    const QString packed = reader.pack(html, QStringLiteral("HTML"), 1);
    if (!problems.errors.isEmpty())
        throw RamuxError(problems.errors.join(QLatin1Char('\n')));
    return packed;
}

ContentSet readSourceDir(const QString &dir, SourceProblems &problems, SourceChecks checks)
{
    ContentSet set = ContentSet::empty();
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        problems.errors.append(QStringLiteral("%1: нет такой папки").arg(dir));
        return set;
    }
    SourceReader reader(dir, problems);

    QSet<qint64> sectionIds;
    std::vector<std::pair<qint64, int>> parents; // parent id, line
    {
        const QString list = QStringLiteral("sections.tsv");
        ContentTable &t = set.table(QStringLiteral("sections"));
        const bool descriptions = reader.descriptionFolderReadable(QStringLiteral("sections"));
        QList<ListLine> lines;
        reader.guard([&] { lines = reader.readList(list, 3); });
        for (const ListLine &l : lines) {
            reader.guard([&] {
                const qint64 id = parseId(l.fields.at(0), list, l.line);
                if (sectionIds.contains(id))
                    throw sourceError(list, QStringLiteral("номер %1 повторяется").arg(id), l.line);
                sectionIds.insert(id);
                const qint64 parent = parseId(l.fields.at(1), list, l.line);
                parents.emplace_back(parent, l.line);
                ContentRow &row = t.addRow(id);
                t.set(row, QStringLiteral("parent_id"), QString::number(parent));
                reader.guard(
                    [&] { t.set(row, QStringLiteral("name"), nameValue(l.fields.at(2), list, l.line)); });
                if (descriptions)
                    t.set(row, QStringLiteral("description"),
                          reader.packFile(QStringLiteral("sections/%1.html").arg(id)));
            });
        }
    }
    std::map<QString, QSet<qint64>> targetIds;
    loadNamedTable(set, reader, QStringLiteral("vendors"), targetIds[QStringLiteral("vendors")]);
    loadNamedTable(set, reader, QStringLiteral("distributors"), targetIds[QStringLiteral("distributors")]);
    loadNamedTable(set, reader, QStringLiteral("dealers"), targetIds[QStringLiteral("dealers")]);
    targetIds[QStringLiteral("sections")] = sectionIds;

    {
        QStringList errors;
        structuredsource::readSpecies(dir, set, errors);
        for (const QString &e : errors)
            reader.error(e);
    }

    // Products in id order, so link rows are numbered the same way on every run.
    std::vector<std::pair<qint64, QString>> files;
    // A missing or unreadable folder is no "no products": published, it would delete them all.
    const QString itemsFault = sourcefile::folderFault(
        dir, QStringLiteral("items"), QStringLiteral("нет папки с файлами препаратов"),
        QStringLiteral("папку с файлами препаратов не удается прочитать"));
    if (!itemsFault.isEmpty())
        problems.errors.append(itemsFault);
    // System entries too: a pipe or device named like a product file is reported, not skipped.
    const QFileInfoList entries = QDir(reader.path(QStringLiteral("items")))
                                      .entryInfoList({QStringLiteral("*.txt")}, QDir::Files | QDir::System);
    for (const QFileInfo &info : entries) {
        const QString relative = QStringLiteral("items/") + info.fileName();
        reader.guard([&] { files.emplace_back(parseId(info.completeBaseName(), relative, 0), relative); });
    }
    std::sort(files.begin(), files.end());
    std::vector<ItemLinks> links;
    QSet<qint64> itemIds;
    for (size_t i = 0; i < files.size(); ++i) {
        if (i > 0 && files[i].first == files[i - 1].first) {
            reader.error(
                files[i].second, 0,
                QStringLiteral("номер %1 повторяется (%2)").arg(files[i].first).arg(files[i - 1].second));
            continue;
        }
        itemIds.insert(files[i].first);
        reader.guard([&] { links.push_back(loadItem(set, reader, files[i].second, files[i].first)); });
    }
    targetIds[QStringLiteral("items")] = itemIds;
    {
        std::vector<structuredsource::ItemBlocks> blocks;
        for (ItemLinks &item : links)
            blocks.push_back(std::move(item.blocks));
        QStringList errors;
        structuredsource::addItemRows(blocks, set, errors);
        for (const QString &e : errors)
            reader.error(e);
    }

    // Link rows are kept as written; the demo keeps some that name a missing record, as real
    // data has them and the client must cope. A publisher gets them reported instead.
    for (const sourceformat::LinkKind &kind : sourceformat::linkKinds()) {
        const QString table = QString::fromLatin1(kind.table);
        ContentTable &t = set.table(table);
        const QSet<qint64> &known = targetIds[QString::fromLatin1(kind.target)];
        qint64 next = 0;
        for (const ItemLinks &item : links) {
            auto it = item.targets.find(table);
            if (it == item.targets.end())
                continue;
            for (qint64 id : it->second) {
                if (checks == SourceChecks::Publish && !known.contains(id))
                    reader.error(
                        item.file, item.lines.at(table),
                        QStringLiteral("нет записи %1 в %2").arg(id).arg(QString::fromLatin1(kind.target)));
                ContentRow &row = t.addRow(++next);
                t.set(row, QStringLiteral("item_id"), QString::number(item.item));
                t.set(row, QString::fromLatin1(kind.column), QString::number(id));
            }
        }
    }
    if (checks == SourceChecks::Publish) {
        for (const auto &[parent, line] : parents) {
            if (parent != 0 && !sectionIds.contains(parent))
                reader.warning(QStringLiteral("sections.tsv"), line,
                               QStringLiteral("нет родительской группы %1").arg(parent));
        }
        for (const PageLink &link : reader.pageLinks()) {
            if (link.table.isEmpty())
                reader.error(link.file, link.line, QStringLiteral("неверный номер в ссылке"));
            else if (!targetIds[link.table].contains(link.id))
                reader.error(
                    link.file, link.line,
                    QStringLiteral("ссылка на запись %1, которой нет в %2").arg(link.id).arg(link.table));
        }
    }

    reader.guard([&] {
        if (const FieldValue page = reader.packFile(QStringLiteral("greeting.html")))
            set.meta.insert(QString::fromLatin1(contentmeta::Greeting), *page);
    });
    reader.guard([&] { loadOffer(set, reader); });
    set.assignStamps();
    return set;
}

ContentSet loadDemoContent(const QString &dir)
{
    if (dir.isEmpty() || !QFileInfo::exists(dir + QStringLiteral("/sections.tsv")))
        throw RamuxError(QStringLiteral("Нет демонстрационного содержимого в папке \"%1\"").arg(dir));
    SourceProblems problems;
    ContentSet set = readSourceDir(dir, problems, SourceChecks::Demo);
    if (!problems.errors.isEmpty())
        throw RamuxError(QStringLiteral("%1: %2").arg(dir, problems.errors.join(QStringLiteral("\n"))));
    return set;
}
