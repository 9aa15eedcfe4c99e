// Quitting the program in the middle of a sync: after the event loop has ended the worker must
// neither wait on the GUI thread nor reach the window being torn down. Its own executable,
// because the program's quit closes the way to the GUI thread for the rest of the process.
#include "sync/syncserver.h"

#include "db/schema.h"
#include "db/sqlitedb.h"
#include "update/ui/guigate.h"
#include "update/ui/updatethread.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <atomic>

class TestWorkerQuit : public QObject
{
    Q_OBJECT

private slots:
    void quitDuringASyncEndsTheWorkerWithoutTheLoop()
    {
        std::atomic<int> answered{0};
        SyncServer server([&](const QMap<QString, QString> &q) {
            QThread::msleep(30);
            ++answered;
            const qint64 date = q.value(QStringLiteral("date")).toLongLong();
            // An endless table: every page moves forward, so the sync never ends by itself.
            return okEnvelope("<DATA><TABLE><ROW id=\"" + QByteArray::number(date + 1) + "\" last_update=\"" +
                              QByteArray::number(date + 1) + "\"/></TABLE></DATA>");
        });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quit.rxd"));
        schema::createDatabaseFile(path);
        {
            Database db;
            db.open(path, schema::databasePassword());
            Statement st = db.prepare(
                QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_data_upd = 1, o_prog_upd = 0"));
            st.bind(1, server.address());
            st.run();
        }

        auto *window = new QMainWindow;
        window->show();
        auto *thread = new TUpdateThread(window);
        thread->setDatabaseFile(path);
        thread->setUpdateOnlyTest([] { return false; });
        // As the program entry wires it.
        connect(qApp, &QCoreApplication::aboutToQuit, thread, &QThread::requestInterruption);
        // Quit as soon as the pages are coming in (the same status repeats unseen).
        int pagesSeen = 0;
        connect(window->statusBar(), &QStatusBar::messageChanged, qApp, [&](const QString &text) {
            if (text == QStringLiteral("Подождите, загружаются данные...") && ++pagesSeen == 1)
                QCoreApplication::quit();
        });
        QTimer::singleShot(20000, qApp, &QCoreApplication::quit); // never hang the suite
        thread->start();
        QCoreApplication::exec();
        QCOMPARE(pagesSeen, 1);
        QVERIFY(guigate::windowGone());
        // The window goes at once, as it does when main returns; the worker still runs.
        delete window;
        // No event is processed from here on: a worker waiting on the GUI thread would never end.
        QVERIFY2(thread->wait(10000), "the worker waits on a GUI thread that no longer serves it");
        QVERIFY(answered <= pagesSeen + 3);
        delete thread;
    }
};

QTEST_MAIN(TestWorkerQuit)
#include "tst_workerquit.moc"
