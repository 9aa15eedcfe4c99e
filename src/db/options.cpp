#include "db/options.h"

#include "db/schema.h"
#include "db/sqlitedb.h"

namespace {

// The options row is the first row by rowid, as every read takes it; its `id` may be NULL in
// a table of another shape, so it cannot serve as the key.
std::optional<qint64> optionsRowId(Database &db)
{
    Statement st = db.prepare(QStringLiteral("SELECT rowid FROM options ORDER BY rowid LIMIT 1"));
    if (!st.step())
        return std::nullopt;
    return st.int64(0);
}

// Reads one field of the options row. Throws when the column or the table is missing.
// Returns: outer nullopt = no row; inner nullopt = NULL.
std::optional<std::optional<QString>> readField(Database &db, const QString &field)
{
    const std::optional<QString> column = db.findColumn(QStringLiteral("options"), field);
    if (!column)
        throw DbError(QStringLiteral("no such column: %1").arg(field), 1);
    Statement st = db.prepare(QStringLiteral("SELECT %1 FROM options ORDER BY rowid LIMIT 1").arg(quoteIdentifier(*column)));
    if (!st.step())
        return std::nullopt;
    return st.optText(0);
}

bool asBool(const QString &text)
{
    const QString t = text.trimmed().toLower();
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (ok)
        return n != 0;
    return t == QLatin1String("true") || t == QLatin1String("yes");
}

} // namespace

StoredOptions LoadStoredOptions(Database &db)
{
    StoredOptions o;
    auto text = [&](const char *field, QString &out, const QString &fallback) {
        try {
            const auto v = readField(db, QString::fromLatin1(field));
            out = (v && *v) ? **v : QString();
        } catch (const std::exception &) {
            out = fallback;
        }
    };
    auto flag = [&](const char *field, bool &out) {
        try {
            const auto v = readField(db, QString::fromLatin1(field));
            out = (v && *v) ? asBool(**v) : false;
        } catch (const std::exception &) {
            out = true;
        }
    };
    text("o_upd_serv", o.updServ, schema::defaultServerAddress());
    flag("o_prog_upd", o.progUpd);
    flag("o_data_upd", o.dataUpd);
    text("ProxyHost", o.proxyHost, QString());
    text("ProxyPort", o.proxyPort, QString());
    text("ProxyUser", o.proxyUser, QString());
    text("ProxyPass", o.proxyPass, QString());
    return o;
}

StoredOptions LoadWorkerOptions(Database &db)
{
    StoredOptions o;
    o.updServ = schema::defaultServerAddress();
    try {
        const auto v = readField(db, QStringLiteral("o_upd_serv"));
        if (v)
            o.updServ = *v ? **v : QString();
    } catch (const std::exception &) {
    }
    auto flag = [&](const char *field, bool &out) {
        try {
            const auto v = readField(db, QString::fromLatin1(field));
            if (v)
                out = *v ? asBool(**v) : false;
        } catch (const std::exception &) {
        }
    };
    flag("o_prog_upd", o.progUpd);
    flag("o_data_upd", o.dataUpd);
    return o;
}

void SaveStoredOptions(Database &db, const StoredOptions &o)
{
    Transaction tx(db);
    const std::optional<qint64> id = optionsRowId(db);
    qint64 key = 0;
    if (id) {
        key = *id;
    } else {
        Statement ins = db.prepare(QStringLiteral("INSERT INTO options (id) VALUES (1)"));
        ins.run();
        key = db.lastInsertRowId();
    }
    const QString columns[] = {QStringLiteral("o_upd_serv"), QStringLiteral("o_prog_upd"),
                               QStringLiteral("o_data_upd"), QStringLiteral("ProxyHost"),
                               QStringLiteral("ProxyPort"),  QStringLiteral("ProxyUser"),
                               QStringLiteral("ProxyPass")};
    QStringList sets;
    for (const QString &c : columns) {
        const std::optional<QString> real = db.findColumn(QStringLiteral("options"), c);
        if (!real)
            throw DbError(QStringLiteral("no such column: %1").arg(c), 1);
        sets << quoteIdentifier(*real) + QStringLiteral(" = ?");
    }
    Statement st = db.prepare(QStringLiteral("UPDATE options SET %1 WHERE rowid = ?").arg(sets.join(QLatin1String(", "))));
    st.bind(1, o.updServ.isNull() ? QString(QLatin1String("")) : o.updServ);
    st.bind(2, qint64(o.progUpd ? 1 : 0));
    st.bind(3, qint64(o.dataUpd ? 1 : 0));
    int i = 4;
    for (const QString *v : {&o.proxyHost, &o.proxyPort, &o.proxyUser, &o.proxyPass})
        st.bind(i++, v->isNull() ? QString(QLatin1String("")) : *v);
    st.bind(8, key);
    st.run();
    tx.commit();
}

std::optional<QString> readStoredSplash(Database &db)
{
    try {
        const auto v = readField(db, QStringLiteral("s_splash"));
        if (v && *v)
            return **v;
    } catch (const std::exception &) {
    }
    return std::nullopt;
}

void storeSplash(Database &db, const QString &page)
{
    Transaction tx(db);
    const std::optional<qint64> id = optionsRowId(db);
    if (!id) {
        Statement ins = db.prepare(QStringLiteral("INSERT INTO options (id, s_splash) VALUES (1, ?1)"));
        ins.bind(1, page.isNull() ? QString(QLatin1String("")) : page);
        ins.run();
    } else {
        Statement st = db.prepare(QStringLiteral("UPDATE options SET s_splash = ?1 WHERE rowid = ?2"));
        st.bind(1, page.isNull() ? QString(QLatin1String("")) : page);
        st.bind(2, *id);
        st.run();
    }
    tx.commit();
}

qint64 readTablePosition(Database &db, const QString &table)
{
    if (schema::isStructuredTable(table)) {
        try {
            Statement st = db.prepare(QStringLiteral("SELECT lu FROM sync_positions WHERE table_name = ?1"));
            st.bind(1, table);
            return st.step() ? st.int64(0) : 0;
        } catch (const std::exception &) {
            return 0; // an older file without the table: nothing received yet
        }
    }
    if (!schema::isDataTable(table))
        return 0;
    try {
        const auto v = readField(db, QStringLiteral("lu_") + table);
        if (v && *v) {
            bool ok = false;
            const qint64 n = (**v).trimmed().toLongLong(&ok);
            return ok ? n : 0;
        }
    } catch (const std::exception &) {
    }
    return 0;
}

void writeTablePosition(Database &db, const QString &table, qint64 position)
{
    if (schema::isStructuredTable(table)) {
        // Tables beyond the nine keep their positions in a table of their own, never in options.
        Statement st = db.prepare(
            QStringLiteral("INSERT OR REPLACE INTO sync_positions (table_name, lu) VALUES (?1, ?2)"));
        st.bind(1, table);
        st.bind(2, position);
        st.run();
        return;
    }
    if (!schema::isDataTable(table))
        throw RamuxError(QStringLiteral("unknown table: %1").arg(table));
    const std::optional<QString> column = db.findColumn(QStringLiteral("options"), QStringLiteral("lu_") + table);
    if (!column)
        throw DbError(QStringLiteral("no such column: lu_%1").arg(table), 1);
    const std::optional<qint64> id = optionsRowId(db);
    if (!id) {
        Statement ins = db.prepare(QStringLiteral("INSERT INTO options (id, %1) VALUES (1, ?1)").arg(quoteIdentifier(*column)));
        ins.bind(1, position);
        ins.run();
        return;
    }
    Statement st = db.prepare(QStringLiteral("UPDATE options SET %1 = ?1 WHERE rowid = ?2").arg(quoteIdentifier(*column)));
    st.bind(1, position);
    st.bind(2, *id);
    st.run();
}
