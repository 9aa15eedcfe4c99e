// The offer and details windows of the update service: contents, countdown, results.
#include "update/ui/updatedetailsform.h"
#include "update/ui/updateform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// Runs `drive` on the first modal window once it is up; the watchdog closes anything left.
template <typename Window> void whenModal(std::function<void(Window *)> drive)
{
    QTimer::singleShot(0, [drive] {
        auto *window = qobject_cast<Window *>(QApplication::activeModalWidget());
        QVERIFY2(window, "no modal window of the expected kind");
        drive(window);
    });
}

// Receives the addresses QDesktopServices is asked to open.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

class TestUpdateForms : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void offerWindowHasItsControls();
    void offerButtonsHaveTheirPlacesAndTabOrder();
    void offerWithoutLinkShowsNoWindow();
    void offerCountdownShowsAndClosesWithNo();
    void offerResultsOfTheButtons();
    void aboutButtonNeedsAnAddressAndKeepsTheWindow();
    void offerFitsItsContents();

    void detailsWindowHidesAnEmptyText();
    void detailsCountdownClosesWithNo();
    void detailsOpenSiteOpensTheAddressThenCloses();

    void onlyWebAddressesReachTheShell();
    void addressWithASpaceIsOpenedEncoded();
    void closingAWindowDoesNotEndTheProgram();

private:
    QStringList m_opened;
};

void TestUpdateForms::init()
{
    m_opened.clear();
    setUrlOpener([this](const QString &address) {
        m_opened << address;
        return true;
    });
}

void TestUpdateForms::cleanup()
{
    setUrlOpener({});
    // Nothing of a failed test may stay modal for the next one.
    while (QWidget *modal = QApplication::activeModalWidget())
        modal->close();
}

void TestUpdateForms::offerWindowHasItsControls()
{
    TKalmedaRamuxUpdateForm form;
    form.fill(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QStringLiteral("Исправления"),
              QStringLiteral("http://h/about"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Доступно обновление программы"));
    QCOMPARE(form.Label1->text(), QStringLiteral("Версия: 1.2"));
    QVERIFY(form.Label1->font().bold());
    QCOMPARE(form.AboutLabel->text(), QStringLiteral("Исправления"));
    QVERIFY(!form.AboutLabel->wordWrap());
    QCOMPARE(form.AboutLabel->textFormat(), Qt::PlainText);
    QCOMPARE(form.Bevel1->frameShape(), QFrame::HLine);
    QCOMPARE(form.Panel1->height(), 34);
    QCOMPARE(form.font().family(), QStringLiteral("Tahoma"));
    // Its own taskbar entry, only the close box.
    QVERIFY(!form.parentWidget());
    QVERIFY(form.windowFlags() & Qt::Window);
    QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(form.CounterTimer->isActive());
    QCOMPARE(form.CounterTimer->interval(), 1000);
}

void TestUpdateForms::offerButtonsHaveTheirPlacesAndTabOrder()
{
    TKalmedaRamuxUpdateForm form;
    struct Expected
    {
        QPushButton *button;
        const char *caption;
        int left, width;
    };
    const Expected expected[] = {{form.btnYes, "Да", 3, 75},
                                 {form.btnNo, "Нет, в другой раз", 84, 125},
                                 {form.btnAbout, "Подробнее", 219, 75},
                                 {form.btnUrl, "Скачать", 300, 75}};
    for (const Expected &e : expected) {
        QCOMPARE(e.button->text(), QString::fromUtf8(e.caption));
        QCOMPARE(e.button->geometry(), QRect(e.left, 6, e.width, 25));
        QCOMPARE(e.button->parentWidget(), form.Panel1);
    }
    QWidget *w = form.btnYes;
    QList<QWidget *> order;
    for (int i = 0; i < 4; ++i, w = w->nextInFocusChain()) {
        while (!qobject_cast<QPushButton *>(w))
            w = w->nextInFocusChain();
        order << w;
    }
    QCOMPARE(order, (QList<QWidget *>{form.btnYes, form.btnAbout, form.btnUrl, form.btnNo}));
}

void TestUpdateForms::offerWithoutLinkShowsNoWindow()
{
    bool windowSeen = false;
    // Should a window come up after all, the watchdog notes it and ends it.
    QTimer::singleShot(0, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            windowSeen = true;
            modal->close();
        }
    });
    QCOMPARE(
        ShowUpdateOffer(QStringLiteral("1.2"), QString(), QStringLiteral("a"), QStringLiteral("http://h/a")),
        7);
    QCoreApplication::processEvents();
    QVERIFY(!windowSeen);
}

void TestUpdateForms::offerCountdownShowsAndClosesWithNo()
{
    QStringList captions;
    whenModal<TKalmedaRamuxUpdateForm>([&](TKalmedaRamuxUpdateForm *form) {
        QCOMPARE(form->countdown(), 30);
        for (int tick = 0; tick < 30 && form->isVisible(); ++tick) {
            form->CounterTimerTimer();
            captions << form->btnNo->text();
        }
    });
    const int result =
        ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(), QString());
    QCOMPARE(result, 7);
    QCOMPARE(captions.size(), 30);
    QCOMPARE(captions.first(), QStringLiteral("Нет, в другой раз - 29"));
    QCOMPARE(captions.last(), QStringLiteral("Нет, в другой раз - 0"));
}

void TestUpdateForms::offerResultsOfTheButtons()
{
    whenModal<TKalmedaRamuxUpdateForm>(
        [](TKalmedaRamuxUpdateForm *form) { QTest::mouseClick(form->btnYes, Qt::LeftButton); });
    QCOMPARE(ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(), QString()),
             6);
    QVERIFY(m_opened.isEmpty());

    whenModal<TKalmedaRamuxUpdateForm>(
        [](TKalmedaRamuxUpdateForm *form) { QTest::mouseClick(form->btnNo, Qt::LeftButton); });
    QCOMPARE(ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(), QString()),
             7);

    // The close box.
    whenModal<TKalmedaRamuxUpdateForm>([](TKalmedaRamuxUpdateForm *form) { form->close(); });
    QCOMPARE(ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(), QString()),
             2);

    // "Скачать" hands the link to the browser and cancels.
    whenModal<TKalmedaRamuxUpdateForm>(
        [](TKalmedaRamuxUpdateForm *form) { QTest::mouseClick(form->btnUrl, Qt::LeftButton); });
    QCOMPARE(ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(), QString()),
             2);
    QCOMPARE(m_opened, QStringList{QStringLiteral("http://h/s.sh")});
}

void TestUpdateForms::aboutButtonNeedsAnAddressAndKeepsTheWindow()
{
    TKalmedaRamuxUpdateForm without;
    without.fill(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(), QString());
    QVERIFY(!without.btnAbout->isEnabled());
    QVERIFY(without.btnUrl->isEnabled());

    bool stillOpen = false;
    int countdownAfter = 0;
    whenModal<TKalmedaRamuxUpdateForm>([&](TKalmedaRamuxUpdateForm *form) {
        QVERIFY(form->btnAbout->isEnabled());
        form->CounterTimerTimer();
        QTest::mouseClick(form->btnAbout, Qt::LeftButton);
        stillOpen = form->isVisible();
        form->CounterTimerTimer();
        countdownAfter = form->countdown();
        QTest::mouseClick(form->btnNo, Qt::LeftButton);
    });
    QCOMPARE(ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(),
                             QStringLiteral("http://h/about")),
             7);
    QVERIFY(stillOpen);
    QCOMPARE(countdownAfter, 28);
    QCOMPARE(m_opened, QStringList{QStringLiteral("http://h/about")});
}

void TestUpdateForms::offerFitsItsContents()
{
    TKalmedaRamuxUpdateForm shortText;
    shortText.fill(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QStringLiteral("a"), QString());
    shortText.fitToContents();
    QCOMPARE(shortText.minimumSize(), shortText.maximumSize());
    QVERIFY(shortText.width() >= 383);
    QVERIFY2(shortText.height() < 188, "a one-line offer needs less than the design height");

    TKalmedaRamuxUpdateForm longText;
    longText.fill(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"),
                  QStringLiteral("Очень длинное описание новой версии ").repeated(6) +
                      QStringLiteral("\nвторая строка"),
                  QString());
    longText.fitToContents();
    QVERIFY(longText.width() > shortText.width());
    QVERIFY(longText.height() > shortText.height());
    QVERIFY(longText.width() >= longText.AboutLabel->sizeHint().width());
}

void TestUpdateForms::detailsWindowHidesAnEmptyText()
{
    TKalmedaRamuxUpdateDetailsForm withText;
    withText.fill(QStringLiteral("Обновлено 12 препаратов"), QStringLiteral("http://h/news"));
    withText.fitToContents();
    QCOMPARE(withText.windowTitle(), QStringLiteral("Обновление завершено."));
    QVERIFY(withText.AboutLabel->isVisibleTo(&withText));
    QVERIFY(withText.AboutLabel->wordWrap());
    QCOMPARE(withText.btnYes->text(), QStringLiteral("Открыть сайт"));
    QCOMPARE(withText.btnYes->geometry(), QRect(15, 6, 105, 25));
    QCOMPARE(withText.btnNo->text(), QStringLiteral("Продолжить"));
    QCOMPARE(withText.btnNo->geometry(), QRect(126, 6, 105, 25));
    QVERIFY(!withText.parentWidget());

    TKalmedaRamuxUpdateDetailsForm empty;
    empty.fill(QString(), QStringLiteral("http://h/news"));
    empty.fitToContents();
    QVERIFY(!empty.AboutLabel->isVisibleTo(&empty));
    QVERIFY(empty.height() < withText.height());

    // A long text wraps: the window grows downwards, not sideways.
    TKalmedaRamuxUpdateDetailsForm longText;
    longText.fill(QStringLiteral("Обновлены описания препаратов и производителей. ").repeated(8), QString());
    longText.fitToContents();
    QCOMPARE(longText.width(), withText.width());
    QVERIFY(longText.height() > withText.height());
}

void TestUpdateForms::detailsCountdownClosesWithNo()
{
    QString first;
    whenModal<TKalmedaRamuxUpdateDetailsForm>([&](TKalmedaRamuxUpdateDetailsForm *form) {
        for (int tick = 0; tick < 30 && form->isVisible(); ++tick) {
            form->CounterTimerTimer();
            if (tick == 0)
                first = form->btnNo->text();
        }
    });
    QCOMPARE(ShowUpdateDetails(QStringLiteral("text"), QStringLiteral("http://h/news")), 7);
    QCOMPARE(first, QStringLiteral("Продолжить - 29"));
    QVERIFY(m_opened.isEmpty());
}

void TestUpdateForms::detailsOpenSiteOpensTheAddressThenCloses()
{
    whenModal<TKalmedaRamuxUpdateDetailsForm>(
        [](TKalmedaRamuxUpdateDetailsForm *form) { QTest::mouseClick(form->btnYes, Qt::LeftButton); });
    QCOMPARE(ShowUpdateDetails(QStringLiteral("text"), QStringLiteral("http://h/news")), 6);
    QCOMPARE(m_opened, QStringList{QStringLiteral("http://h/news")});

    TKalmedaRamuxUpdateDetailsForm noAddress;
    noAddress.fill(QStringLiteral("text"), QString());
    noAddress.btnYesClick();
    QCOMPARE(noAddress.result(), 6);
    QCOMPARE(m_opened.size(), 1);
}

void TestUpdateForms::onlyWebAddressesReachTheShell()
{
    setUrlOpener({});
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &sink, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "open");
    QVERIFY(OpenAddressInShell(QStringLiteral("http://h/about?a=1")));
    QVERIFY(OpenAddressInShell(QStringLiteral("HTTPS://h/about")));
    QVERIFY(!OpenAddressInShell(QStringLiteral("file:///tmp/setup.sh")));
    QVERIFY(!OpenAddressInShell(QStringLiteral("/tmp/setup.sh")));
    QVERIFY(!OpenAddressInShell(QString()));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(sink.opened, (QList<QUrl>{QUrl(QStringLiteral("http://h/about?a=1")),
                                       QUrl(QStringLiteral("https://h/about"))}));
}

void TestUpdateForms::addressWithASpaceIsOpenedEncoded()
{
    // The real opener behind both windows' buttons, as a server wrote the addresses.
    setUrlOpener({});
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &sink, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
    whenModal<TKalmedaRamuxUpdateDetailsForm>(
        [](TKalmedaRamuxUpdateDetailsForm *form) { QTest::mouseClick(form->btnYes, Qt::LeftButton); });
    QCOMPARE(ShowUpdateDetails(QStringLiteral("text"), QStringLiteral("http://h/news page")), 6);
    whenModal<TKalmedaRamuxUpdateForm>([](TKalmedaRamuxUpdateForm *form) {
        QTest::mouseClick(form->btnAbout, Qt::LeftButton);
        QTest::mouseClick(form->btnUrl, Qt::LeftButton);
    });
    QCOMPARE(ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("https://h/setup 1.2.sh"), QString(),
                             QStringLiteral("https://h/о программе")),
             2);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QStringList opened;
    for (const QUrl &url : std::as_const(sink.opened))
        opened << QString::fromLatin1(url.toEncoded());
    QCOMPARE(opened,
             (QStringList{
                 QStringLiteral("http://h/news%20page"),
                 QStringLiteral("https://h/%D0%BE%20%D0%BF%D1%80%D0%BE%D0%B3%D1%80%D0%B0%D0%BC%D0%BC%D0%B5"),
                 QStringLiteral("https://h/setup%201.2.sh")}));
}

// In the update-only mode these are the only windows on screen: closing one must not end the
// program while the update run still has work to do (the download after "Да").
void TestUpdateForms::closingAWindowDoesNotEndTheProgram()
{
    QVERIFY(QGuiApplication::quitOnLastWindowClosed());
    QList<int> results;
    // Inside the program's own loop, as the worker's calls run: three windows closed three ways,
    // then the loop must still be there to end with our code.
    QTimer::singleShot(0, [&results] {
        whenModal<TKalmedaRamuxUpdateForm>(
            [](TKalmedaRamuxUpdateForm *form) { QTest::mouseClick(form->btnYes, Qt::LeftButton); });
        results << ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(),
                                   QString());
        whenModal<TKalmedaRamuxUpdateForm>([](TKalmedaRamuxUpdateForm *form) { form->close(); });
        results << ShowUpdateOffer(QStringLiteral("1.2"), QStringLiteral("http://h/s.sh"), QString(),
                                   QString());
        whenModal<TKalmedaRamuxUpdateDetailsForm>([](TKalmedaRamuxUpdateDetailsForm *form) {
            for (int tick = 0; tick < 30; ++tick)
                form->CounterTimerTimer();
        });
        results << ShowUpdateDetails(QStringLiteral("text"), QStringLiteral("http://h/news"));
        QTimer::singleShot(200, [] { QCoreApplication::exit(42); });
    });
    QCOMPARE(QApplication::exec(), 42);
    QCOMPARE(results, (QList<int>{6, 2, 7}));
}

QTEST_MAIN(TestUpdateForms)
#include "tst_updateforms.moc"
