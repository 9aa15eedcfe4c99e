// The demo content importer.
#include "content/demoimport.h"

#include "text/base64.h"
#include "text/cp1251.h"
#include "text/packedcontent.h"
#include "text/ramuxerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <map>

namespace {

// A PNG bigger than this is a mistake in the sources, not an illustration.
constexpr qint64 kMaxImageBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxTextBytes = 8 * 1024 * 1024;

RamuxError sourceError(const QString &file, const QString &what, int line = 0)
{
    if (line > 0)
        return RamuxError(QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what));
    return RamuxError(QStringLiteral("%1: %2").arg(file, what));
}

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw sourceError(path, QStringLiteral("не удается открыть"));
    if (file.size() > kMaxTextBytes)
        throw sourceError(path, QStringLiteral("слишком большой файл"));
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QString text = QString::fromUtf8(bytes);
    text.remove(QLatin1Char('\r'));
    return text;
}

qint64 parseId(const QString &text, const QString &file, int line)
{
    bool ok = false;
    const qint64 id = text.trimmed().toLongLong(&ok);
    // Record keys are 32-bit in the client's schema.
    if (!ok || id < 0 || id > 0x7FFFFFFF)
        throw sourceError(file, QStringLiteral("неверный номер \"%1\"").arg(text), line);
    return id;
}

QList<qint64> parseIdList(const QString &text, const QString &file, int line)
{
    QList<qint64> ids;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty())
            continue;
        const qint64 id = parseId(part, file, line);
        if (!ids.contains(id))
            ids.append(id);
    }
    return ids;
}

// A name as the client will store it: it travels through Windows-1251.
FieldValue nameValue(const QString &text, const QString &file, int line)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    if (!fitsCp1251(text))
        throw sourceError(
            file, QStringLiteral("название не помещается в кодировку Windows-1251: %1").arg(text), line);
    return text;
}

class Packer
{
public:
    explicit Packer(QString imageDir) : m_imageDir(std::move(imageDir)) {}

    QString pack(const QString &html, const QString &source)
    {
        QString packed =
            QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>");
        for (const QString &name : referencedImages(html))
            packed += QLatin1Char('<') + name + QLatin1Char('>') + image(name, source) +
                      QStringLiteral("</") + name + QLatin1Char('>');
        return packed;
    }

    // A packed field from an optional HTML file; NULL when the file is missing or blank.
    FieldValue packFile(const QString &path)
    {
        if (!QFileInfo::exists(path))
            return std::nullopt;
        const QString html = trimControl(readText(path));
        if (html.isEmpty())
            return std::nullopt;
        return pack(html, path);
    }

private:
    QString image(const QString &name, const QString &source)
    {
        auto it = m_images.constFind(name);
        if (it != m_images.constEnd())
            return *it;
        static const QRegularExpression validName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
        // The name becomes an element name of the packed content and of the server's answer.
        if (!validName.match(name).hasMatch())
            throw sourceError(source, QStringLiteral("недопустимое имя рисунка \"%1\"").arg(name));
        QFile file(m_imageDir + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!file.open(QIODevice::ReadOnly))
            throw sourceError(source, QStringLiteral("нет рисунка %1").arg(file.fileName()));
        if (file.size() > kMaxImageBytes)
            throw sourceError(file.fileName(), QStringLiteral("слишком большой рисунок"));
        const QByteArray bytes = file.readAll();
        if (!bytes.startsWith("\x89PNG\r\n\x1A\n"))
            throw sourceError(file.fileName(), QStringLiteral("не PNG"));
        return *m_images.insert(name, Base64EncodeString(bytes));
    }

    QString m_imageDir;
    QHash<QString, QString> m_images;
};

// "id<TAB>name" or "id<TAB>parent<TAB>name" lists; blank lines are skipped.
struct ListLine
{
    int line = 0;
    QStringList fields;
};

QList<ListLine> readList(const QString &path, int fieldCount)
{
    QList<ListLine> lines;
    const QStringList all = readText(path).split(QLatin1Char('\n'));
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).trimmed().isEmpty())
            continue;
        const QStringList fields = all.at(i).split(QLatin1Char('\t'));
        if (fields.size() != fieldCount)
            throw sourceError(path, QStringLiteral("ожидается %1 поля через табуляцию").arg(fieldCount),
                              i + 1);
        lines.append({i + 1, fields});
    }
    return lines;
}

void loadNamedTable(ContentSet &set, Packer &packer, const QString &dir, const QString &table,
                    QSet<qint64> &ids)
{
    const QString list = dir + QLatin1Char('/') + table + QStringLiteral(".tsv");
    ContentTable &t = set.table(table);
    for (const ListLine &l : readList(list, 2)) {
        const qint64 id = parseId(l.fields.at(0), list, l.line);
        if (ids.contains(id))
            throw sourceError(list, QStringLiteral("номер %1 повторяется").arg(id), l.line);
        ids.insert(id);
        ContentRow &row = t.addRow(id);
        t.set(row, QStringLiteral("name"), nameValue(l.fields.at(1), list, l.line));
        t.set(row, QStringLiteral("description"),
              packer.packFile(QStringLiteral("%1/%2/%3.html").arg(dir, table).arg(id)));
    }
}

const QStringList &itemSections()
{
    static const QStringList names = {QStringLiteral("description"),
                                      QStringLiteral("form"),
                                      QStringLiteral("effect"),
                                      QStringLiteral("prescriptions"),
                                      QStringLiteral("dose"),
                                      QStringLiteral("side_effects"),
                                      QStringLiteral("contra_indication"),
                                      QStringLiteral("special_conditions"),
                                      QStringLiteral("storage_instructions")};
    return names;
}

struct ItemLinks
{
    qint64 item = 0;
    std::map<QString, QList<qint64>> targets; // link table -> ids in the order written
};

ItemLinks loadItem(ContentSet &set, Packer &packer, const QString &path, qint64 fileId)
{
    static const std::map<QString, QString> linkKeys = {
        {QStringLiteral("groups"), QStringLiteral("items_to_sections")},
        {QStringLiteral("vendors"), QStringLiteral("items_to_vendors")},
        {QStringLiteral("distributors"), QStringLiteral("items_to_distributors")},
        {QStringLiteral("dealers"), QStringLiteral("items_to_dealers")}};
    ContentTable &items = set.table(QStringLiteral("items"));
    ContentRow &row = items.addRow(fileId);
    ItemLinks links;
    links.item = fileId;
    const QStringList lines = readText(path).split(QLatin1Char('\n'));
    int at = 0;
    QSet<QString> seenKeys;
    for (; at < lines.size() && !lines.at(at).startsWith(QStringLiteral("== ")); ++at) {
        const QString &line = lines.at(at);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            throw sourceError(path, QStringLiteral("ожидается строка \"ключ: значение\""), at + 1);
        const QString key = line.left(colon).trimmed();
        // The value is everything after ": ", spaces included: names are taken as written.
        QString value = line.mid(colon + 1);
        if (value.startsWith(QLatin1Char(' ')))
            value.remove(0, 1);
        if (seenKeys.contains(key))
            throw sourceError(path, QStringLiteral("ключ %1 повторяется").arg(key), at + 1);
        seenKeys.insert(key);
        if (key == QLatin1String("id")) {
            if (parseId(value, path, at + 1) != fileId)
                throw sourceError(path, QStringLiteral("номер не совпадает с именем файла"), at + 1);
        } else if (key == QLatin1String("name") || key == QLatin1String("name_lat")) {
            items.set(row, key, nameValue(value, path, at + 1));
        } else if (auto link = linkKeys.find(key); link != linkKeys.end()) {
            links.targets[link->second] = parseIdList(value, path, at + 1);
        } else {
            throw sourceError(path, QStringLiteral("неизвестный ключ %1").arg(key), at + 1);
        }
    }
    QSet<QString> seenSections;
    while (at < lines.size()) {
        const QString field = lines.at(at).mid(3).trimmed();
        const int headerLine = at + 1;
        if (!itemSections().contains(field))
            throw sourceError(path, QStringLiteral("неизвестный раздел %1").arg(field), headerLine);
        if (seenSections.contains(field))
            throw sourceError(path, QStringLiteral("раздел %1 повторяется").arg(field), headerLine);
        seenSections.insert(field);
        QStringList body;
        for (++at; at < lines.size() && !lines.at(at).startsWith(QStringLiteral("== ")); ++at)
            body.append(lines.at(at));
        const QString html = trimControl(body.join(QLatin1Char('\n')));
        items.set(row, field, html.isEmpty() ? FieldValue() : FieldValue(packer.pack(html, path)));
    }
    return links;
}

} // namespace

QString demoContentDir()
{
    const QString fromEnv = qEnvironmentVariable("RAMUX_DEMO_DIR");
    if (!fromEnv.isEmpty())
        return QFileInfo(fromEnv).isDir() ? QDir(fromEnv).absolutePath() : QString();
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates.append(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/ramux/demo"));
#ifdef RAMUX_SOURCE_DIR
    candidates.append(QStringLiteral(RAMUX_SOURCE_DIR "/data/demo"));
#endif
    for (const QString &dir : candidates) {
        if (QFileInfo::exists(dir + QStringLiteral("/sections.tsv")))
            return QDir(dir).absolutePath();
    }
    return QString();
}

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
    Packer packer(imageDir);
    return packer.pack(html, QStringLiteral("HTML"));
}

ContentSet loadDemoContent(const QString &dir)
{
    if (dir.isEmpty() || !QFileInfo::exists(dir + QStringLiteral("/sections.tsv")))
        throw RamuxError(QStringLiteral("Нет демонстрационного содержимого в папке \"%1\"").arg(dir));
    ContentSet set = ContentSet::empty();
    Packer packer(dir + QStringLiteral("/images"));

    QSet<qint64> sectionIds;
    {
        const QString list = dir + QStringLiteral("/sections.tsv");
        ContentTable &t = set.table(QStringLiteral("sections"));
        for (const ListLine &l : readList(list, 3)) {
            const qint64 id = parseId(l.fields.at(0), list, l.line);
            if (sectionIds.contains(id))
                throw sourceError(list, QStringLiteral("номер %1 повторяется").arg(id), l.line);
            sectionIds.insert(id);
            ContentRow &row = t.addRow(id);
            t.set(row, QStringLiteral("parent_id"), QString::number(parseId(l.fields.at(1), list, l.line)));
            t.set(row, QStringLiteral("name"), nameValue(l.fields.at(2), list, l.line));
            t.set(row, QStringLiteral("description"),
                  packer.packFile(QStringLiteral("%1/sections/%2.html").arg(dir).arg(id)));
        }
    }
    QSet<qint64> vendorIds, distributorIds, dealerIds;
    loadNamedTable(set, packer, dir, QStringLiteral("vendors"), vendorIds);
    loadNamedTable(set, packer, dir, QStringLiteral("distributors"), distributorIds);
    loadNamedTable(set, packer, dir, QStringLiteral("dealers"), dealerIds);

    // Products in id order, so link rows are numbered the same way on every run.
    std::vector<std::pair<qint64, QString>> files;
    const QFileInfoList entries =
        QDir(dir + QStringLiteral("/items")).entryInfoList({QStringLiteral("*.txt")}, QDir::Files);
    for (const QFileInfo &info : entries)
        files.emplace_back(parseId(info.completeBaseName(), info.filePath(), 0), info.filePath());
    std::sort(files.begin(), files.end());
    std::vector<ItemLinks> links;
    for (size_t i = 0; i < files.size(); ++i) {
        if (i > 0 && files[i].first == files[i - 1].first)
            throw sourceError(files[i].second, QStringLiteral("номер повторяется"));
        links.push_back(loadItem(set, packer, files[i].second, files[i].first));
    }

    // Link rows are kept as written, also when they name a missing record: real data has such
    // rows, and the client must cope with them.
    const std::map<QString, QString> linkTables = {
        {QStringLiteral("items_to_sections"), QStringLiteral("section_id")},
        {QStringLiteral("items_to_vendors"), QStringLiteral("vendor_id")},
        {QStringLiteral("items_to_distributors"), QStringLiteral("distributor_id")},
        {QStringLiteral("items_to_dealers"), QStringLiteral("dealer_id")}};
    for (const auto &[table, column] : linkTables) {
        ContentTable &t = set.table(table);
        qint64 next = 0;
        for (const ItemLinks &item : links) {
            auto it = item.targets.find(table);
            if (it == item.targets.end())
                continue;
            for (qint64 id : it->second) {
                ContentRow &row = t.addRow(++next);
                t.set(row, QStringLiteral("item_id"), QString::number(item.item));
                t.set(row, column, QString::number(id));
            }
        }
    }

    const QString greeting = dir + QStringLiteral("/greeting.html");
    if (const FieldValue page = packer.packFile(greeting))
        set.meta.insert(QString::fromLatin1(contentmeta::Greeting), *page);
    set.assignStamps();
    return set;
}
