// The reading tests' window on a copy of the demo reference, with its own user settings folder
// (a window made again in the same fixture is the next start of the program).
#pragma once

#include "app/mainform.h"
#include "app/pdfdialog.h"
#include "mainwindow/fixture.h"
#include "pages/ui/htmlrenderer.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTreeWidget>
#include <memory>

// Demo products used by the tests (ids of data/demo).
constexpr qint64 kLongProduct = 109; // "АМОКСИКЛАВ-ВЕТ СУСПЕНЗИЯ ДЛЯ ИНЪЕКЦИЙ": three printed pages, a picture
constexpr qint64 kShortProduct = 103; // "АМОКСИВАЛ 150"

struct DemoFixture : WindowFixture
{
    DemoFixture()
    {
        const QString demo = qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramux.rxd");
        if (!QFile::copy(demo, path))
            qFatal("the demo database %s is missing", qPrintable(demo));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    ~DemoFixture() { setPdfFileDialogFunction({}); }

    std::unique_ptr<TKalmedaRamuxMainForm> start()
    {
        auto w = std::make_unique<TKalmedaRamuxMainForm>(QStringList{}, path);
        w->show();
        QApplication::setActiveWindow(w.get());
        if (!QTest::qWaitForWindowActive(w.get()))
            qWarning("the window did not become active");
        return w;
    }
};

inline qint64 currentId(const QTreeWidget *tree)
{
    return tree->currentItem() ? tree->currentItem()->data(0, Qt::UserRole).toLongLong() : -1;
}

inline void selectNode(QTreeWidget *tree, qint64 id)
{
    QTreeWidgetItem *node = TKalmedaRamuxMainForm::FindNodeByData(tree->topLevelItem(0), id);
    QVERIFY(node);
    tree->setCurrentItem(node);
}

// The first internal link of that kind ("SECT:", "VEND:") on the page other than to `except`, or 0.
inline qint64 firstLink(TPBearHTMLRenderer *view, const QString &prefix, qint64 except = 0)
{
    const QRegularExpression link(QRegularExpression::escape(prefix) + QStringLiteral("(\\d+)"));
    for (auto it = link.globalMatch(view->Html()); it.hasNext();) {
        const qint64 id = it.next().captured(1).toLongLong();
        if (id != except)
            return id;
    }
    return 0;
}

// Output of a poppler tool on a file (empty when the tool fails).
inline QString popplerOutput(const QString &tool, const QStringList &args)
{
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline int pdfPageCount(const QString &file)
{
    const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    const QRegularExpressionMatch m = pages.match(popplerOutput(QStringLiteral("pdfinfo"), {file}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}
