// The window at the first start: wide enough for every toolbar button where the screen allows,
// centred, the lists at their design width. The offscreen platform's own screen (800x600) is
// narrower than the toolbar can be, so this test gives itself a wider one.
#include "app/firstsize.h"
#include "app/mainform.h"
#include "fixture.h"

#include <QApplication>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

class TestFirstWindow : public QObject
{
    Q_OBJECT

private slots:
    void widthRule_data();
    void widthRule();
    void firstStartShowsEveryToolbarButton();
};

void TestFirstWindow::widthRule_data()
{
    QTest::addColumn<int>("toolBar");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    const QRect wide(0, 0, 1280, 800);
    QTest::newRow("toolbar fits the design") << 700 << wide << QRect(244, 113, 792, 573);
    QTest::newRow("toolbar exactly the design") << 792 << wide << QRect(244, 113, 792, 573);
    QTest::newRow("toolbar wider") << 893 << wide << QRect(193, 113, 893, 573);
    QTest::newRow("screen narrower than the toolbar")
        << 893 << QRect(0, 0, 800, 600) << QRect(0, 13, 800, 573);
    QTest::newRow("screen narrower than the design") << 700 << QRect(0, 0, 640, 480) << QRect(0, 0, 640, 480);
    QTest::newRow("panel on the left") << 893 << QRect(64, 24, 1216, 776) << QRect(225, 125, 893, 573);
    QTest::newRow("no screen") << 893 << QRect() << QRect(0, 0, 893, 573);
}

void TestFirstWindow::widthRule()
{
    QFETCH(int, toolBar);
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(firstStartGeometry(QSize(792, 573), toolBar, available), expected);
}

void TestFirstWindow::firstStartShowsEveryToolbarButton()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    WindowFixture f;
    f.create();
    TKalmedaRamuxMainForm w({}, f.path);
    const int needed = w.ToolBar1->sizeHint().width();
    if (available.width() < qMax(792, needed))
        QSKIP("this screen is narrower than the toolbar");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    qInfo() << "toolbar needs" << needed << "px; window" << w.geometry();

    QVERIFY(w.width() >= 792);
    QVERIFY(w.width() >= needed);
    QCOMPARE(w.height(), 573);
    QVERIFY(qAbs(w.geometry().center().x() - available.center().x()) <= 1);
    QVERIFY(qAbs(w.geometry().center().y() - available.center().y()) <= 1);
    // No overflow arrow, and every button lies whole inside the toolbar.
    const auto *arrow = w.ToolBar1->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
    QVERIFY(!arrow || !arrow->isVisible());
    for (QToolButton *button : {w.tbDrugs, w.tbGroups, w.tbVendors, w.tbFavourites, w.tbSettings,
                                w.tbAppendix, w.tbAbout, w.tbExit}) {
        QVERIFY2(button->isVisible(), qPrintable(button->text()));
        QVERIFY2(w.ToolBar1->rect().contains(button->geometry()), qPrintable(button->text()));
    }
    // The lists keep their design width; the view takes what the toolbar added.
    QCOMPARE(w.Splitter1->sizes().value(0), 223);
}

int main(int argc, char *argv[])
{
    // A screen wider than the toolbar in any font, unless a real display was chosen.
    QTemporaryDir dir;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QString config = dir.filePath(QStringLiteral("screens.json"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            file.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1600, "height": 900,
                           "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    }
    QApplication app(argc, argv);
    TestFirstWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_firstwindow.moc"
