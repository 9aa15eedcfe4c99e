#include "db/schema.h"

#include "db/sqlitedb.h"

#include <QFileInfo>

namespace schema {

QByteArray databasePassword()
{
    return QByteArrayLiteral("Wm4#~_Tpz&-!");
}

QString defaultServerAddress()
{
    return QStringLiteral("http://127.0.0.1:8642/api.php");
}

const QStringList &dataTables()
{
    static const QStringList tables = {
        QStringLiteral("sections"),          QStringLiteral("distributors"),
        QStringLiteral("vendors"),           QStringLiteral("dealers"),
        QStringLiteral("items"),             QStringLiteral("items_to_sections"),
        QStringLiteral("items_to_vendors"),  QStringLiteral("items_to_dealers"),
        QStringLiteral("items_to_distributors")};
    return tables;
}

bool isDataTable(const QString &name)
{
    return dataTables().contains(name);
}

const QStringList &structuredTables()
{
    static const QStringList tables = {QStringLiteral("species"), QStringLiteral("item_strengths"),
                                       QStringLiteral("item_doses"), QStringLiteral("item_withdrawals")};
    return tables;
}

bool isStructuredTable(const QString &name)
{
    return structuredTables().contains(name);
}

const QStringList &servedTables()
{
    static const QStringList tables = dataTables() + structuredTables();
    return tables;
}

bool isServedTable(const QString &name)
{
    return servedTables().contains(name);
}

QString structuredStatements()
{
    return QStringLiteral(
        "CREATE TABLE IF NOT EXISTS species (id INTEGER PRIMARY KEY, code TEXT, name TEXT, food INTEGER);\n"
        "CREATE TABLE IF NOT EXISTS item_strengths (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER,"
        " form TEXT, substance TEXT, amount TEXT, amount_unit TEXT, per_amount TEXT, per_unit TEXT,"
        " fractions INTEGER);\n"
        "CREATE TABLE IF NOT EXISTS item_doses (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER,"
        " species_id INTEGER, route TEXT, indication TEXT, substance TEXT, dose_from TEXT, dose_to TEXT,"
        " dose_unit TEXT, basis TEXT, frequency TEXT, duration TEXT, max_single TEXT, max_single_unit TEXT,"
        " source_field TEXT, source_quote TEXT);\n"
        "CREATE TABLE IF NOT EXISTS item_withdrawals (id INTEGER PRIMARY KEY, item_id INTEGER, ord INTEGER,"
        " species_id INTEGER, tissue TEXT, period TEXT, period_unit TEXT, forbidden INTEGER,"
        " source_field TEXT, source_quote TEXT);\n"
        "CREATE INDEX IF NOT EXISTS item_strengths_by_item ON item_strengths (item_id);\n"
        "CREATE INDEX IF NOT EXISTS item_doses_by_item ON item_doses (item_id);\n"
        "CREATE INDEX IF NOT EXISTS item_doses_by_species ON item_doses (species_id);\n"
        "CREATE INDEX IF NOT EXISTS item_withdrawals_by_item ON item_withdrawals (item_id);\n"
        "CREATE INDEX IF NOT EXISTS item_withdrawals_by_species ON item_withdrawals (species_id);\n"
        "CREATE TABLE IF NOT EXISTS sync_positions (table_name TEXT PRIMARY KEY, lu INTEGER NOT NULL DEFAULT "
        "0);\n");
}

void ensureStructuredTables(Database &db)
{
    bool complete = db.hasTable(QStringLiteral("sync_positions"));
    for (const QString &table : structuredTables())
        complete = complete && db.hasTable(table);
    if (complete)
        return; // nothing to write: a read-only file stays untouched
    Transaction tx(db);
    db.exec(structuredStatements());
    tx.commit();
}

QString linkTargetColumn(const QString &linkTable)
{
    if (linkTable == QLatin1String("items_to_sections"))
        return QStringLiteral("section_id");
    if (linkTable == QLatin1String("items_to_vendors"))
        return QStringLiteral("vendor_id");
    if (linkTable == QLatin1String("items_to_dealers"))
        return QStringLiteral("dealer_id");
    if (linkTable == QLatin1String("items_to_distributors"))
        return QStringLiteral("distributor_id");
    return QString();
}

QString createStatements()
{
    QString sql = QStringLiteral(
        "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, name_lat TEXT, description TEXT,"
        " form TEXT, effect TEXT, prescriptions TEXT, dose TEXT, side_effects TEXT,"
        " CONTRA_INDICATION TEXT, special_conditions TEXT, storage_instructions TEXT);\n"
        "CREATE TABLE sections (id INTEGER PRIMARY KEY, parent_id INTEGER, name TEXT, description TEXT);\n"
        "CREATE TABLE vendors (id INTEGER PRIMARY KEY, name TEXT, description TEXT);\n"
        "CREATE TABLE distributors (id INTEGER PRIMARY KEY, name TEXT, description TEXT);\n"
        "CREATE TABLE dealers (id INTEGER PRIMARY KEY, name TEXT, description TEXT);\n"
        "CREATE TABLE items_to_sections (id INTEGER PRIMARY KEY, item_id INTEGER, section_id INTEGER);\n"
        "CREATE TABLE items_to_vendors (id INTEGER PRIMARY KEY, item_id INTEGER, vendor_id INTEGER);\n"
        "CREATE TABLE items_to_dealers (id INTEGER PRIMARY KEY, item_id INTEGER, dealer_id INTEGER);\n"
        "CREATE TABLE items_to_distributors (id INTEGER PRIMARY KEY, item_id INTEGER, distributor_id INTEGER);\n"
        "CREATE TABLE options (id INTEGER PRIMARY KEY, o_upd_serv TEXT, o_prog_upd INTEGER, o_data_upd INTEGER,"
        " ProxyHost TEXT, ProxyPort TEXT, ProxyUser TEXT, ProxyPass TEXT, s_splash TEXT");
    for (const QString &table : dataTables())
        sql += QStringLiteral(", lu_%1 INTEGER DEFAULT 0").arg(table);
    sql += QStringLiteral(");\n");
    return sql;
}

void createSchema(Database &db)
{
    Transaction tx(db);
    db.exec(createStatements());
    db.exec(structuredStatements());
    Statement st = db.prepare(QStringLiteral(
        "INSERT INTO options (id, o_upd_serv, o_prog_upd, o_data_upd, ProxyHost, ProxyPort, ProxyUser, ProxyPass)"
        " VALUES (1, ?1, 1, 1, '', '', '', '')"));
    st.bind(1, defaultServerAddress());
    st.run();
    tx.commit();
}

void createDatabaseFile(const QString &path)
{
    if (QFileInfo::exists(path))
        throw RamuxError(QStringLiteral("Файл уже существует: %1").arg(path));
    Database db;
    db.open(path, databasePassword(), Database::OpenMode::Create);
    createSchema(db);
}

} // namespace schema
