// A small reference database built inside a test, and the pieces a composer reads from it.
#pragma once

#include "db/browselists.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "text/base64.h"
#include "text/cp1251.h"
#include "pages/productpage.h"

#include <QTemporaryDir>
#include <QVariant>
#include <memory>

namespace fixture {

// Packed content whose HTML element holds the given fragment.
inline QString pack(const QString &html, const QString &extra = {})
{
    return QStringLiteral("<HTML>") + Base64EncodeString(encodeCp1251Html(html)) + QStringLiteral("</HTML>") +
           extra;
}

class PageDb
{
public:
    PageDb()
    {
        path = dir.filePath(QStringLiteral("pages.rxd"));
        schema::createDatabaseFile(path);
        db.open(path, schema::databasePassword());
    }

    // INSERT with bound values; a null QVariant binds NULL.
    void insert(const QString &table, const QStringList &columns, const QVariantList &values)
    {
        QStringList marks;
        for (int i = 1; i <= columns.size(); ++i)
            marks << QStringLiteral("?%1").arg(i);
        Statement st =
            db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (int i = 0; i < values.size(); ++i) {
            const QVariant &v = values[i];
            if (v.isNull())
                st.bindNull(i + 1);
            else if (v.typeId() == QMetaType::QString)
                st.bind(i + 1, v.toString());
            else
                st.bind(i + 1, v.toLongLong());
        }
        st.run();
    }
    void item(qint64 id, const QVariant &name, const QVariant &nameLat = {})
    {
        insert(QStringLiteral("items"),
               {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("name_lat")},
               {id, name, nameLat});
    }
    void setField(const QString &table, qint64 id, const QString &column, const QVariant &value)
    {
        Statement st = db.prepare(QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE id = ?2").arg(table, column));
        if (value.isNull())
            st.bindNull(1);
        else
            st.bind(1, value.toString());
        st.bind(2, id);
        st.run();
    }
    void section(qint64 id, const QVariant &parent, const QVariant &name, const QVariant &description = {})
    {
        insert(QStringLiteral("sections"),
               {QStringLiteral("id"), QStringLiteral("parent_id"), QStringLiteral("name"),
                QStringLiteral("description")},
               {id, parent, name, description});
    }
    void named(const QString &table, qint64 id, const QVariant &name, const QVariant &description = {})
    {
        insert(table, {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("description")},
               {id, name, description});
    }
    void link(const QString &table, qint64 itemId, qint64 targetId)
    {
        insert(table, {QStringLiteral("item_id"), schema::linkTargetColumn(table)}, {itemId, targetId});
    }

    // Loads the snapshot and the name lists; call after the rows are in.
    PageSources sources()
    {
        loadReferenceTables(db, snapshot);
        names = buildNameLists(snapshot);
        return PageSources{db, snapshot, names.russian, names.latin};
    }

    QTemporaryDir dir;
    QString path;
    Database db;
    ReferenceSnapshot snapshot;
    NameLists names;
};

inline QString page(const QString &inner)
{
    return pageskeleton::opening() + inner + pageskeleton::closing();
}

} // namespace fixture
