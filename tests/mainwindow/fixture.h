// Shared set-up of the main-window tests: a database file of the schema in a temporary folder,
// error boxes and process exits recorded instead of shown or performed.
#pragma once

#include "app/messageboxes.h"
#include "db/schema.h"
#include "db/sqlitedb.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

struct WindowFixture
{
    QTemporaryDir dir;
    QString path;
    QStringList errors;
    QList<int> exits;

    WindowFixture()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The window keeps its layout per user: each fixture starts as a first start, and no
        // test reaches the user's own settings.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
        path = dir.filePath(QStringLiteral("ramux.rxd"));
        setErrorBoxHandler([this](const QString &text) { errors << text; });
        setExitHandler([this](int code) { exits << code; });
    }
    ~WindowFixture()
    {
        setErrorBoxHandler({});
        setExitHandler({});
    }

    // A database of the schema with the given statements run on it.
    void create(const QString &sql = QString())
    {
        schema::createDatabaseFile(path);
        if (!sql.isEmpty())
            run(sql);
    }

    // A database built entirely from the given statements (for tables of other shapes).
    void createRaw(const QString &sql)
    {
        Database db;
        db.open(path, schema::databasePassword(), Database::OpenMode::Create);
        db.exec(sql);
    }

    void run(const QString &sql)
    {
        Database db;
        db.open(path, schema::databasePassword());
        db.exec(sql);
    }
};

// Every node text of a tree in tree order, two spaces of indent per level. A node that shows an
// expand button but has no children yet (a product letter not opened) is opened and closed
// again, as a user looking at the whole list would open it.
inline QStringList treeTexts(QTreeWidget *tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *item, int depth) {
        out << QString(depth * 2, QLatin1Char(' ')) + item->text(0);
        if (item->childCount() == 0 && item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator) {
            item->setExpanded(true);
            item->setExpanded(false);
        }
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}
