// The in-memory reference content and its writer into a client database.
#include "content/content.h"

#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QHash>
#include <algorithm>

int ContentTable::columnIndex(const QString &column) const
{
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).compare(column, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

ContentRow &ContentTable::addRow(qint64 id)
{
    ContentRow row;
    row.id = id;
    for (int i = 0; i < columns.size(); ++i)
        row.values.append(std::nullopt);
    rows.push_back(std::move(row));
    return rows.back();
}

void ContentTable::set(ContentRow &row, const QString &column, const FieldValue &value) const
{
    const int at = columnIndex(column);
    if (at < 0)
        throw RamuxError(QStringLiteral("Таблица %1 не имеет поля %2").arg(name, column));
    row.values[at] = value;
}

namespace contentschema {

const QStringList &columns(const QString &table)
{
    // Read once from the client's own schema, so the two never drift apart.
    static const QHash<QString, QStringList> all = [] {
        QHash<QString, QStringList> result;
        Database db;
        db.open(QStringLiteral(":memory:"), QByteArray(), Database::OpenMode::Create);
        db.exec(schema::createStatements());
        db.exec(schema::structuredStatements());
        for (const QString &name : schema::servedTables()) {
            QStringList cols = db.columns(name);
            cols.removeIf(
                [](const QString &c) { return c.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0; });
            result.insert(name, cols);
        }
        return result;
    }();
    static const QStringList none;
    auto it = all.constFind(table);
    return it == all.constEnd() ? none : *it;
}

} // namespace contentschema

ContentSet ContentSet::empty()
{
    ContentSet set;
    for (const QString &name : schema::servedTables()) {
        ContentTable table;
        table.name = name;
        table.columns = contentschema::columns(name);
        set.tables.push_back(std::move(table));
    }
    return set;
}

ContentTable &ContentSet::table(const QString &name)
{
    for (ContentTable &t : tables) {
        if (t.name == name)
            return t;
    }
    throw RamuxError(QStringLiteral("Нет таблицы %1").arg(name));
}

const ContentTable *ContentSet::findTable(const QString &name) const
{
    for (const ContentTable &t : tables) {
        if (t.name == name)
            return &t;
    }
    return nullptr;
}

void ContentSet::assignStamps()
{
    qint64 stamp = 0;
    for (ContentTable &t : tables) {
        std::sort(t.rows.begin(), t.rows.end(),
                  [](const ContentRow &a, const ContentRow &b) { return a.id < b.id; });
        for (ContentRow &row : t.rows)
            row.stamp = ++stamp;
    }
}

qint64 ContentSet::highestStamp() const
{
    qint64 highest = 0;
    for (const ContentTable &t : tables) {
        for (const ContentRow &row : t.rows)
            highest = std::max(highest, row.stamp);
    }
    return highest;
}

void writeClientDatabase(const ContentSet &content, const QString &path)
{
    schema::createDatabaseFile(path);
    Database db;
    db.open(path, schema::databasePassword());
    Transaction tx(db);
    for (const ContentTable &t : content.tables) {
        if (!schema::isServedTable(t.name))
            continue;
        // Column names come from the schema we created, never from the content.
        QStringList names{QStringLiteral("id")};
        QStringList marks{QStringLiteral("?1")};
        for (int i = 0; i < t.columns.size(); ++i) {
            const auto declared = db.findColumn(t.name, t.columns.at(i));
            if (!declared)
                throw RamuxError(QStringLiteral("Таблица %1 не имеет поля %2").arg(t.name, t.columns.at(i)));
            names.append(quoteIdentifier(*declared));
            marks.append(QStringLiteral("?%1").arg(i + 2));
        }
        Statement insert = db.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(quoteIdentifier(t.name), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        qint64 highest = 0;
        for (const ContentRow &row : t.rows) {
            insert.reset();
            insert.bind(1, row.id);
            for (int i = 0; i < t.columns.size(); ++i)
                insert.bind(i + 2, row.values.value(i));
            insert.run();
            highest = std::max(highest, row.stamp);
        }
        // The nine keep their positions in options, the others in a table of their own.
        Statement position =
            schema::isDataTable(t.name)
                ? db.prepare(QStringLiteral("UPDATE options SET %1 = ?1 WHERE id = 1")
                                 .arg(quoteIdentifier(QStringLiteral("lu_") + t.name)))
                : db.prepare(QStringLiteral(
                      "INSERT OR REPLACE INTO sync_positions (table_name, lu) VALUES (?2, ?1)"));
        position.bind(1, highest);
        if (!schema::isDataTable(t.name))
            position.bind(2, t.name);
        position.run();
    }
    tx.commit();
}
