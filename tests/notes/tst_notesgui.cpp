// Favourites and notes through the real window offscreen, kept across a real synchronisation
// by the update worker against ramux-server that changes and deletes the products, and across
// a restart; the status line after a good and a failed run; export and import; ramuxctl.
#include "mainwindow/fixture.h"
#include "sync/syncprocess.h"

#include "app/mainform.h"
#include "app/notedialogs.h"
#include "content/contentdb.h"
#include "db/userdata.h"
#include "pages/notebox.h"
#include "pages/productpage.h"
#include "pages/ui/htmlrenderer.h"
#include "update/ui/updatethread.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString viewText(TPBearHTMLRenderer *view)
{
    return view->Viewer()->toPlainText();
}

void selectProduct(TKalmedaRamuxMainForm &w, qint64 id)
{
    QTreeWidgetItem *node = TKalmedaRamuxMainForm::FindNodeByData(w.TreeView1->topLevelItem(0), id);
    QVERIFY2(node, qPrintable(QString::number(id)));
    w.TreeView1->setCurrentItem(node);
}

// The real update worker of the window, run to its end.
void runWorker(TKalmedaRamuxMainForm &w, const QString &path)
{
    TUpdateThread thread(&w);
    thread.setDatabaseFile(path);
    thread.setOpenFailureDelay(0);
    w.watchUpdateWorker(&thread);
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(thread.isFinished(), 60000);
    QCoreApplication::processEvents();
}

void setServer(const QString &path, const QString &address)
{
    Database db;
    db.open(path, schema::databasePassword());
    Statement st = db.prepare(QStringLiteral("UPDATE options SET o_upd_serv = ?1, o_prog_upd = 0, o_data_upd = 1"));
    st.bind(1, address);
    st.run();
}

const QString kNoteA = QStringLiteral("<b>у кошек</b> — половина дозы\nесть в аптеке на Садовой");
const QString kNoteB = QStringLiteral("Дозировка & сроки: см. инструкцию; хватает на 3 курса. "
                                      "Второе предложение заметки, длинное настолько, что список показывает лишь начало.");

} // namespace

class TestNotesGui : public QObject
{
    Q_OBJECT

private:
    WindowFixture *m_fixture = nullptr;
    QString m_content;
    QProcess m_server;
    QString m_address;
    qint64 m_a = 0, m_b = 0;
    QString m_nameA, m_nameB;

private slots:
    void initTestCase()
    {
        m_fixture = new WindowFixture;
        m_content = m_fixture->dir.filePath(QStringLiteral("content.sqlite"));
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("demo"), QStringLiteral("--content"), m_content}), 0);
        m_server.start(programPath(QStringLiteral("ramux-server")),
                       {QStringLiteral("--content"), m_content, QStringLiteral("--port"), QStringLiteral("0"),
                        QStringLiteral("--cache-mb"), QStringLiteral("0"), QStringLiteral("--quiet")});
        QVERIFY2(m_server.waitForStarted(), qPrintable(m_server.errorString()));
        QByteArray log;
        const QRegularExpression listening(QStringLiteral("listening on (http://\\S+/api\\.php)"));
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_address.isEmpty() && m_server.state() == QProcess::Running) {
            m_server.waitForReadyRead(200);
            log += m_server.readAllStandardError();
            const auto match = listening.match(QString::fromUtf8(log));
            if (match.hasMatch())
                m_address = match.captured(1);
        }
        QVERIFY2(!m_address.isEmpty(), log.constData());

        // The client's reference comes from the server through `ramuxctl sync`, which records its run.
        const QString &path = m_fixture->path;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), path}), 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("status"), QStringLiteral("--db"), path}, nullptr), 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"),
                            {QStringLiteral("sync"), QStringLiteral("--db"), path, QStringLiteral("--server"), m_address}),
                 0);
        QByteArray out;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("status"), QStringLiteral("--db"), path}, &out), 0);
        QVERIFY2(QRegularExpression(u("^Данные обновлены: \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d, изменено препаратов: [1-9]\\d*\\n$"))
                     .match(QString::fromUtf8(out)).hasMatch(),
                 out.constData());
        setServer(path, m_address);

        Database db;
        db.open(path, schema::databasePassword());
        Statement st = db.prepare(QStringLiteral("SELECT id, name FROM items ORDER BY id LIMIT 2"));
        QVERIFY(st.step());
        m_a = st.int64(0);
        m_nameA = st.text(1);
        QVERIFY(st.step());
        m_b = st.int64(0);
        m_nameB = st.text(1);
    }

    void cleanupTestCase()
    {
        setNoteEditorFunction({});
        setNotesFileFunction({});
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        delete m_fixture;
    }

    void starAndNoteSurviveASyncThatChangesAndDeletesAndARestart()
    {
        const QString &path = m_fixture->path;
        {
            TKalmedaRamuxMainForm w({}, path);
            w.show();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            // The toolbar: "Избранное" between "Производители" and "Настройка", exit kept last.
            QVERIFY(w.tbVendors->x() < w.tbFavourites->x() && w.tbFavourites->x() < w.tbSettings->x());
            for (QToolButton *other : {w.tbDrugs, w.tbGroups, w.tbAppendix, w.tbAbout, w.tbExit})
                QVERIFY(other->x() < w.tbVendors->x() || other->x() > w.tbSettings->x());
            QCOMPARE(w.tbFavourites->text().trimmed(), u("Избранное"));
            QVERIFY(!w.btnFavourite->isEnabled()); // no product page yet
            QVERIFY(!w.btnNote->isEnabled());

            selectProduct(w, m_a);
            QVERIFY(w.btnFavourite->isEnabled());
            QCOMPARE(w.btnFavourite->text(), u("В избранное"));
            QTest::mouseClick(w.btnFavourite, Qt::LeftButton);
            QCOMPARE(w.btnFavourite->text(), u("Убрать из избранного"));

            setNoteEditorFunction([](const QString &name, const QString &note, QWidget *) -> std::optional<QString> {
                return note.isEmpty() && !name.isEmpty() ? std::optional<QString>(kNoteA) : std::nullopt;
            });
            QTest::mouseClick(w.btnNote, Qt::LeftButton);
            const QString shown = viewText(w.m_productView);
            QVERIFY2(shown.trimmed().startsWith(u("Моя заметка\n") + kNoteA), qPrintable(shown.left(200)));
            const ComposedPage page = composeProductPage(PageSources{w.DBConn, w.Tables, w.RussianNames, w.LatinNames}, m_a);
            QVERIFY(page.body.startsWith(pageskeleton::opening() + QStringLiteral("<!--ramux-note--><TABLE border=\"1\"")));
            QVERIFY(page.body.contains(u("&lt;b&gt;у кошек&lt;/b&gt; — половина дозы<BR>есть")));
            // Print leaves the note out unless the user asked for it.
            QVERIFY(!w.PrintNotes->isChecked());
            QVERIFY(!w.m_productView->PrintFilter(page.body).contains(u("Моя заметка")));
            w.PrintNotes->setChecked(true);
            QVERIFY(w.m_productView->PrintFilter(page.body).contains(u("Моя заметка")));

            // B: a note over the limit is refused with a message and nothing stored; then a
            // note, a star by Ctrl+D, and the star taken away again.
            selectProduct(w, m_b);
            QCOMPARE(w.btnFavourite->text(), u("В избранное"));
            setNoteEditorFunction([](const QString &, const QString &, QWidget *) -> std::optional<QString> {
                return QString(userdata::kMaxNoteLength + 1, QLatin1Char('x'));
            });
            QTest::mouseClick(w.btnNote, Qt::LeftButton);
            QCOMPARE(m_fixture->errors.size(), 1);
            QVERIFY(m_fixture->errors.takeFirst().contains(QString::number(userdata::kMaxNoteLength)));
            QVERIFY(!userdata::item(w.DBConn, m_b));
            setNoteEditorFunction([](const QString &, const QString &, QWidget *) -> std::optional<QString> { return kNoteB; });
            QTest::mouseClick(w.btnNote, Qt::LeftButton);
            QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
            QCOMPARE(w.btnFavourite->text(), u("Убрать из избранного"));
            QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
            QCOMPARE(w.btnFavourite->text(), u("В избранное"));

            QTest::mouseClick(w.tbFavourites, Qt::LeftButton);
            QCOMPARE(w.PageControl1->currentWidget(), w.tsFavourites);
            QVERIFY(!w.tbFavourites->isEnabled());
            const QString list = viewText(w.m_favouritesView);
            const qsizetype starred = list.indexOf(u("Избранное")), noted = list.indexOf(u("С заметками"));
            QVERIFY2(starred >= 0 && starred < list.indexOf(m_nameA) && list.indexOf(m_nameA) < noted, qPrintable(list));
            QVERIFY2(list.indexOf(m_nameB) > noted, qPrintable(list));
            QVERIFY(list.contains(u("Дозировка & сроки")));
            QVERIFY(!list.contains(u("лишь начало"))); // only the start of the note
            // Its link opens the product page.
            w.PageLinkClick(w.m_favouritesView, QStringLiteral("ITEM:%1").arg(m_b));
            QCOMPARE(w.PageControl1->currentWidget(), w.tsDrugs);
            QCOMPARE(w.m_shownItemId, std::optional<qint64>(m_b));

            // The server changes B and deletes A; the window's own worker brings that in.
            {
                ContentDatabase content(m_content);
                QVERIFY(content.deleteRow(QStringLiteral("items"), m_a) > 0);
                content.upsertRow(QStringLiteral("items"), m_b, {{QStringLiteral("name"), FieldValue(u("ПЕРЕИМЕНОВАННЫЙ"))}});
            }
            runWorker(w, path);
            QTRY_VERIFY2(QRegularExpression(u("^Данные обновлены: \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d, изменено препаратов: 2$"))
                             .match(w.DataStatus->text()).hasMatch(),
                         qPrintable(w.DataStatus->text()));
            QByteArray out;
            QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("status"), QStringLiteral("--db"), path}, &out), 0);
            QCOMPARE(QString::fromUtf8(out), w.DataStatus->text() + QLatin1Char('\n'));
            QVERIFY(m_fixture->errors.isEmpty());
            w.close();
        }

        // Restart: everything is still there.
        TKalmedaRamuxMainForm w({}, path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.PrintNotes->isChecked());
        QVERIFY(!TKalmedaRamuxMainForm::FindNodeByData(w.TreeView1->topLevelItem(0), m_a));
        QTest::mouseClick(w.tbFavourites, Qt::LeftButton);
        const QString list = viewText(w.m_favouritesView);
        QVERIFY2(list.contains(m_nameA + u(" (нет в справочнике)\n") + kNoteA), qPrintable(list)); // the whole note
        QVERIFY2(list.contains(u("ПЕРЕИМЕНОВАННЫЙ")), qPrintable(list));
        selectProduct(w, m_b);
        QVERIFY(viewText(w.m_productView).trimmed().startsWith(u("Моя заметка\n") + kNoteB));

        QByteArray out;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("notes"), QStringLiteral("list"), QStringLiteral("--db"), path}, &out), 0);
        QCOMPARE(QString::fromUtf8(out),
                 QStringLiteral("%1\t1\t%2 (нет в справочнике)\t%3\n%4\t0\tПЕРЕИМЕНОВАННЫЙ\t%5\n")
                     .arg(m_a)
                     .arg(m_nameA, QString(kNoteA).replace(QLatin1Char('\n'), QLatin1String("\\n")))
                     .arg(m_b)
                     .arg(kNoteB));
        // The tool's page carries the note as the window shows it.
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("page"), QStringLiteral("ITEM:%1").arg(m_b), QStringLiteral("--db"), path}, &out), 0);
        QVERIFY(QString::fromUtf8(out).startsWith(pageskeleton::opening() + QStringLiteral("<!--ramux-note-->")));
        QVERIFY(QString::fromUtf8(out).contains(u("Дозировка &amp; сроки")));
    }

    void statusLineAfterAFailedRun()
    {
        const QString &path = m_fixture->path;
        setServer(path, QStringLiteral("http://127.0.0.1:9/api.php"));
        TKalmedaRamuxMainForm w({}, path);
        QVERIFY(w.DataStatus->text().startsWith(u("Данные обновлены: ")));
        // The line goes on with the date of the data, the last successful update's.
        const QString updated = w.DataStatus->text().mid(18, 16);
        runWorker(w, path);
        const QString when = QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d");
        QTRY_VERIFY2(QRegularExpression(u("^Последняя попытка обновления %1 не удалась: сервер недоступен\\. Данные от %2$")
                                            .arg(when, QRegularExpression::escape(updated)))
                         .match(w.DataStatus->text()).hasMatch(),
                     qPrintable(w.DataStatus->text()));
        QByteArray out;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("status"), QStringLiteral("--db"), path}, &out), 0);
        QCOMPARE(QString::fromUtf8(out), w.DataStatus->text() + QLatin1Char('\n'));
        setServer(path, m_address);
    }

    void exportFromTheWindowImportsIntoAnEmptyDatabase()
    {
        const QString &path = m_fixture->path;
        const QString file = m_fixture->dir.filePath(QStringLiteral("notes.json"));
        const QString emptyDb = m_fixture->dir.filePath(QStringLiteral("other.rxd"));
        QByteArray before;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("notes"), QStringLiteral("list"), QStringLiteral("--db"), path}, &before), 0);
        {
            TKalmedaRamuxMainForm w({}, path);
            setNotesFileFunction([&](bool save, QWidget *) { return save ? file : QString(); });
            QTest::mouseClick(w.btnExportNotes, Qt::LeftButton);
            QVERIFY(m_fixture->errors.isEmpty());
            QVERIFY(w.NotesMessage->text().contains(file));
        }
        // A copy of the reference with no user data (and an id the user data must bring back).
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("create"), emptyDb}), 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("sync"), QStringLiteral("--db"), emptyDb, QStringLiteral("--server"), m_address}), 0);
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("notes"), QStringLiteral("import"), file, QStringLiteral("--db"), emptyDb}), 0);
        QByteArray after;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("notes"), QStringLiteral("list"), QStringLiteral("--db"), emptyDb}, &after), 0);
        QCOMPARE(after, before);

        // A damaged file through the window: refused with a message, nothing changed.
        QFile truncated(m_fixture->dir.filePath(QStringLiteral("truncated.json")));
        QFile whole(file);
        QVERIFY(whole.open(QIODevice::ReadOnly) && truncated.open(QIODevice::WriteOnly));
        truncated.write(whole.readAll().chopped(10));
        truncated.close();
        {
            TKalmedaRamuxMainForm w({}, emptyDb);
            setNotesFileFunction([&](bool save, QWidget *) { return save ? QString() : truncated.fileName(); });
            QTest::mouseClick(w.btnImportNotes, Qt::LeftButton);
            QCOMPARE(m_fixture->errors.size(), 1);
            QVERIFY(m_fixture->errors.takeFirst().contains(u("Ничего не изменено")));
        }
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("notes"), QStringLiteral("list"), QStringLiteral("--db"), emptyDb}, &after), 0);
        QCOMPARE(after, before);
    }

    void printCarriesTheNoteOnlyWhenAsked()
    {
        // A note long enough to take pages of its own: the print layout shows whether it is in.
        const QString &path = m_fixture->path;
        TKalmedaRamuxMainForm w({}, path);
        w.PrintNotes->setChecked(false);
        selectProduct(w, m_b);
        const int withoutNote = w.m_productView->PageCount();
        QStringList lines;
        for (int i = 0; i < 400; ++i)
            lines << QStringLiteral("строка %1").arg(i);
        setNoteEditorFunction([&](const QString &, const QString &, QWidget *) -> std::optional<QString> { return lines.join(QLatin1Char('\n')); });
        QTest::mouseClick(w.btnNote, Qt::LeftButton);
        QVERIFY(viewText(w.m_productView).contains(u("строка 399")));
        QCOMPARE(w.m_productView->PageCount(), withoutNote);
        w.PrintNotes->setChecked(true);
        QVERIFY(w.m_productView->PageCount() > withoutNote);
        w.PrintNotes->setChecked(false);
        setNoteEditorFunction([](const QString &, const QString &, QWidget *) -> std::optional<QString> { return kNoteB; });
        QTest::mouseClick(w.btnNote, Qt::LeftButton);
    }

    void theEditorRefusesAnOverlongNoteAndKeepsItsText()
    {
        setNoteEditorFunction({}); // the real editor, played through its widgets
        QWidget parent;
        bool warned = false;
        QString seenInEditor;
        QTimer::singleShot(0, [&] {
            auto *editor = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(editor);
            auto *text = editor->findChild<QPlainTextEdit *>();
            auto *buttons = editor->findChild<QDialogButtonBox *>();
            text->setPlainText(QString(userdata::kMaxNoteLength + 1, QLatin1Char('x')));
            QTimer::singleShot(0, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                warned = box && box->text().contains(QString::number(userdata::kMaxNoteLength));
                if (box)
                    box->accept();
                QTimer::singleShot(0, [&, editor, text, buttons] {
                    seenInEditor = text->toPlainText();
                    QVERIFY(editor->isVisible()); // still open, text kept
                    text->setPlainText(u("короче"));
                    buttons->button(QDialogButtonBox::Ok)->click();
                });
            });
            buttons->button(QDialogButtonBox::Ok)->click();
        });
        const std::optional<QString> result = runNoteEditor(u("Препарат"), u("старая"), &parent);
        QVERIFY(warned);
        QCOMPARE(seenInEditor.size(), userdata::kMaxNoteLength + 1);
        QCOMPARE(result, std::optional<QString>(u("короче")));
    }

    void toolRefusesUnknownIdsAndBadUsage()
    {
        const QString &path = m_fixture->path;
        const auto ctl = [&](const QStringList &args) {
            return runProgram(QStringLiteral("ramuxctl"), QStringList{QStringLiteral("notes")} + args + QStringList{QStringLiteral("--db"), path});
        };
        QCOMPARE(ctl({QStringLiteral("set"), QStringLiteral("999999"), QStringLiteral("x")}), 3);
        QCOMPARE(ctl({QStringLiteral("star"), QStringLiteral("999999")}), 3);
        QCOMPARE(ctl({QStringLiteral("star")}), 2);
        QCOMPARE(ctl({QStringLiteral("star"), QStringLiteral("abc")}), 2);
        QCOMPARE(ctl({QStringLiteral("frobnicate")}), 2);
        QCOMPARE(ctl({QStringLiteral("set"), QString::number(m_b), QString(userdata::kMaxNoteLength + 1, QLatin1Char('x'))}), 1);
        // The product that left the reference still has its record: it can be edited.
        QCOMPARE(ctl({QStringLiteral("set"), QString::number(m_a), QStringLiteral("a\\b")}), 0);
        QCOMPARE(ctl({QStringLiteral("unstar"), QString::number(m_a)}), 0);
        QCOMPARE(ctl({QStringLiteral("set"), QString::number(m_b), QString()}), 0); // removes B's note
        QByteArray out;
        QCOMPARE(runProgram(QStringLiteral("ramuxctl"), {QStringLiteral("notes"), QStringLiteral("list"), QStringLiteral("--db"), path}, &out), 0);
        QCOMPARE(QString::fromUtf8(out), QStringLiteral("%1\t0\t%2 (нет в справочнике)\ta\\\\b\n").arg(m_a).arg(m_nameA));
    }
};

QTEST_MAIN(TestNotesGui)
#include "tst_notesgui.moc"
