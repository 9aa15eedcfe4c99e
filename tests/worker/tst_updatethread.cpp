// TUpdateThread with a real main window (a plain QMainWindow stands in for it): status bar,
// tray hint, details window, reload event, close request, stop request, ending the process.
#include "sync/syncprocess.h"
#include "sync/syncserver.h"

#include "update/datareloadevent.h"
#include "update/ui/updatethread.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <atomic>

namespace {

class Window final : public QMainWindow
{
public:
    int closes = 0;
    int reloads = 0;
    QStringList messages;
    QStringList events; // details and reload, in the order they reached this window

    Window()
    {
        connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString &text) {
            if (!text.isEmpty())
                messages << text;
        });
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closes;
        QMainWindow::closeEvent(event);
    }
    void customEvent(QEvent *event) override
    {
        if (event->type() == DataReloadMessage()) {
            ++reloads;
            events << QStringLiteral("reload");
        }
    }
};

} // namespace

class TestUpdateThread : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    QString newDatabase(const QString &server, bool data, bool program = false)
    {
        const QString path = m_dir.filePath(QStringLiteral("w%1.rxd").arg(++m_files));
        schema::createDatabaseFile(path);
        Database db;
        db.open(path, schema::databasePassword());
        Statement st = db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_data_upd = ?2, o_prog_upd = ?3"));
        st.bind(1, server).bind(2, qint64(data)).bind(3, qint64(program));
        st.run();
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { TUpdateThread::setDetailsWindow({}); }

    void updateOnlyRunWithNothingToDoClosesTheProgram()
    {
        SyncServer server([](const QMap<QString, QString> &) { return okEnvelope("<DATA><TABLE/></DATA>"); });
        Window window;
        auto *thread = new TUpdateThread(&window);
        thread->setDatabaseFile(newDatabase(server.address(), false));
        thread->setUpdateOnlyTest([] { return true; });
        thread->start();
        QTRY_COMPARE(window.closes, 1);
        QTRY_VERIFY(thread->isFinished()); // the run still calls onto this thread: never block it
        QCOMPARE(window.messages, QStringList{QStringLiteral("Запуск обновления...")});
        QVERIFY(!window.statusBar()->isVisible());
        QVERIFY(server.targets().isEmpty());
        QCOMPARE(thread->ending(), UpdateRun::Ending::Nothing);
        QTRY_VERIFY(!thread->trayIcon());
        delete thread;
    }

    void missingDatabaseShowsItsStatusForTheWaitThenEnds()
    {
        Window window;
        window.show();
        auto *thread = new TUpdateThread(&window);
        thread->setDatabaseFile(m_dir.filePath(QStringLiteral("absent.rxd")));
        thread->setUpdateOnlyTest([] { return true; });
        thread->setOpenFailureDelay(1500);
        QElapsedTimer timer;
        timer.start();
        thread->start();
        // During the wait the hint and the status bar carry the failure.
        QTRY_VERIFY(thread->trayIcon() && thread->trayIcon()->toolTip() == QStringLiteral("Не удается открыть базу данных"));
        QVERIFY(window.statusBar()->isVisible());
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Не удается открыть базу данных"));
        QTRY_COMPARE(window.closes, 1);
        QVERIFY(timer.elapsed() >= 1400);
        QTRY_VERIFY(thread->isFinished()); // the run still calls onto this thread: never block it
        QCOMPARE(thread->ending(), UpdateRun::Ending::NoDatabase);
        QTRY_VERIFY(!thread->trayIcon());
        delete thread;
    }

    void changedRowsShowDetailsOnTheGuiThreadThenReload()
    {
        ContentModel content;
        content.add(QStringLiteral("vendors"), {1, 3, false, {{QStringLiteral("name"), QStringLiteral("Завод")}}});
        SyncServer server([&](const QMap<QString, QString> &q) {
            QByteArray body = content.page(q);
            if (q.value(QStringLiteral("table")) == QLatin1String("items"))
                body.replace("<TABLE>", "<TABLE update_details_text=\"Новое\" update_details_url=\"http://x/\">");
            return body;
        });
        Window window;
        window.show();
        bool onGuiThread = false;
        bool statusHidden = false;
        QString shown;
        TUpdateThread::setDetailsWindow([&](const QString &text, const QString &address) {
            onGuiThread = QThread::currentThread() == qApp->thread();
            statusHidden = !window.statusBar()->isVisible();
            shown = text + QLatin1Char('|') + address;
            window.events << QStringLiteral("details");
            return 1;
        });
        auto *thread = new TUpdateThread(&window);
        thread->setDatabaseFile(newDatabase(server.address(), true));
        thread->setUpdateOnlyTest([] { return false; });
        thread->start();
        QTRY_COMPARE(window.reloads, 1);
        QTRY_VERIFY(thread->isFinished()); // the run still calls onto this thread: never block it
        QCOMPARE(window.events, QStringList({"details", "reload"}));
        QVERIFY(onGuiThread);
        QVERIFY(statusHidden);
        QCOMPARE(shown, QStringLiteral("Новое|http://x/"));
        QCOMPARE(thread->lastFields().DialogResult, 1);
        QCOMPARE(thread->lastFields().AddedCount, 1);
        QCOMPARE(thread->ending(), UpdateRun::Ending::DetailsShown);
        QVERIFY(window.messages.contains(QStringLiteral("Подождите, загружаются данные...")));
        QCOMPARE(window.closes, 0); // the normal mode goes on
        delete thread;
    }

    void stopRequestEndsTheRunAtTheNextPage()
    {
        std::atomic<int> answered{0};
        SyncServer server([&](const QMap<QString, QString> &q) {
            QThread::msleep(100);
            ++answered;
            const qint64 date = q.value(QStringLiteral("date")).toLongLong();
            // An endless table: each page moves forward.
            return okEnvelope("<DATA><TABLE><ROW id=\"" + QByteArray::number(date + 1) + "\" last_update=\""
                              + QByteArray::number(date + 1) + "\"/></TABLE></DATA>");
        });
        Window window;
        auto *thread = new TUpdateThread(&window);
        thread->setDatabaseFile(newDatabase(server.address(), true));
        thread->setUpdateOnlyTest([] { return false; });
        thread->start();
        QTRY_VERIFY(answered >= 3);
        thread->requestInterruption();
        QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 10000);
        QVERIFY(answered <= 5);
        QCOMPARE(window.closes, 0);
        delete thread;
    }

    void closingTheWindowEndsTheProcessWhileTheWorkerWaits()
    {
        // The server holds every answer far longer than the test allows.
        std::atomic<bool> release{false};
        SyncServer server([&](const QMap<QString, QString> &) {
            for (int i = 0; i < 3000 && !release; ++i)
                QThread::msleep(10);
            return okEnvelope("<DATA><TABLE/></DATA>");
        });
        QProcess probe;
        probe.start(programPath(QStringLiteral("../tests/worker_exit_probe")),
                    {newDatabase(server.address(), true), QStringLiteral("400")});
        QVERIFY(probe.waitForStarted());
        const bool ended = probe.waitForFinished(8000);
        release = true;
        if (!ended)
            probe.kill();
        QVERIFY2(ended, probe.readAllStandardError().constData());
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY(probe.readAllStandardOutput().contains("window closed while the run was waiting"));
        QCOMPARE(server.targets().size(), 1);
    }
};

QTEST_MAIN(TestUpdateThread)
#include "tst_updatethread.moc"
