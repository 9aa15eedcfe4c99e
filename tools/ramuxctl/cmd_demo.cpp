// ramuxctl demo PATH: a small demo database (replaced by the full demo content importer).
#include "command.h"

#include "db/schema.h"
#include "db/sqlitedb.h"
#include "pages/base64.h"
#include "pages/cp1251.h"

namespace {

QString pack(const QString &html)
{
    return QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>");
}

int demo(CommandContext &ctx)
{
    if (ctx.args.size() != 1) {
        printErr(QStringLiteral("usage: ramuxctl demo PATH\n"));
        return 2;
    }
    schema::createDatabaseFile(ctx.args.first());
    Database db;
    db.open(ctx.args.first(), schema::databasePassword());
    Transaction tx(db);
    auto run = [&](const QString &sql, const QList<QString> &values) {
        Statement st = db.prepare(sql);
        for (int i = 0; i < values.size(); ++i)
            st.bind(i + 1, values[i]);
        st.run();
    };
    run(QStringLiteral("INSERT INTO sections (id, parent_id, name, description) VALUES (1, 0, ?1, ?2)"),
        {QStringLiteral("Противопаразитарные средства"), pack(QStringLiteral("<p>Демонстрационная группа.</p>"))});
    run(QStringLiteral("INSERT INTO sections (id, parent_id, name) VALUES (2, 1, ?1)"), {QStringLiteral("Антигельминтики")});
    run(QStringLiteral("INSERT INTO vendors (id, name, description) VALUES (1, ?1, ?2)"),
        {QStringLiteral("ООО «Демофарм»"), pack(QStringLiteral("<p>Вымышленный производитель.</p>"))});
    run(QStringLiteral("INSERT INTO items (id, name, name_lat, form, dose) VALUES (101, ?1, ?2, ?3, ?4)"),
        {QStringLiteral("Альбенвет суспензия"), QStringLiteral("Albenvetum"),
         pack(QStringLiteral("<p>Суспензия для приёма внутрь (демонстрационный текст).</p>")),
         pack(QStringLiteral("<p>Демонстрационные данные, не клиническая рекомендация.</p>"))});
    run(QStringLiteral("INSERT INTO items_to_sections (id, item_id, section_id) VALUES (1, 101, 2)"), {});
    run(QStringLiteral("INSERT INTO items_to_vendors (id, item_id, vendor_id) VALUES (1, 101, 1)"), {});
    tx.commit();
    return 0;
}

} // namespace

RAMUXCTL_COMMAND(demo, "demo", "demo PATH", demo);
