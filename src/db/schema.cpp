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
