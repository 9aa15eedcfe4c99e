// The demo reference as a client database in a temporary folder, for the search tests.
#pragma once

#include "content/content.h"
#include "content/sourcereader.h"
#include "db/browselists.h"
#include "db/schema.h"
#include "db/snapshot.h"
#include "db/sqlitedb.h"
#include "search/textindex.h"

#include <QTemporaryDir>
#include <QTest>

inline QString writeDemoDatabase(const QTemporaryDir &dir, const QString &name, bool indexed)
{
    const QString path = dir.filePath(name);
    writeClientDatabase(loadDemoContent(demoContentDir()), path);
    if (indexed) {
        Database db;
        db.open(path, schema::databasePassword());
        textindex::rebuild(db);
    }
    return path;
}

// The reference as the window reads it.
struct LoadedReference
{
    Database db;
    ReferenceSnapshot snapshot;
    NameLists names;

    explicit LoadedReference(const QString &path)
    {
        db.open(path, schema::databasePassword());
        loadReferenceTables(db, snapshot);
        names = buildNameLists(snapshot);
    }
};
