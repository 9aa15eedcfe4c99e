// The reader's dose calculator and withdrawal table through real HTTP: a product published with
// structured rows, its page asked as the forms ask it (GET), the numbers, the refusals, the
// escaping of what was typed, the release dates and the validators of pages with parameters.
#include "readerfixture.h"

#include "content/publish.h"
#include "db/sqlitedb.h"

#include <QTemporaryDir>
#include <ctime>

namespace {

const char kAnimals[] = "1\tdog\tсобаки\t0\n3\tcattle\tкрупный рогатый скот\t1\n4\tsheep\tовцы и козы\t1\n"
                        "8\trabbit\tкролики\t1\n";

const char kProduct[] =
    "id: 103\nname: Мебендазол-50 суспензия\ngroups: 2\n"
    "== dose\n<p>Собакам — 5–10 мг мебендазола на 1 кг массы тела внутрь, 1 раз в сутки, 3 дня. "
    "Крупному рогатому скоту — 7,5 мг на 1 кг внутрь. Овцам и козам — 5 мг на 1 кг внутрь.</p>\n"
    "== special_conditions\n<p>Молоко разрешается использовать через 96 часов, убой на мясо — через "
    "28 суток после последнего введения.</p>\n"
    "== strengths\nform: суспензия\namount: 50 мг\nper: 1 мл\n"
    "== doses\nspecies: dog\nroute: внутрь\ndose: 5-10\nunit: мг\nbasis: kg\nfrequency: 1 раз в сутки\n"
    "duration: 3 дня\nsource: dose\nquote: Собакам — 5–10 мг мебендазола на 1 кг массы тела\n\n"
    "species: cattle\nroute: внутрь\ndose: 7.5\nunit: мг\nbasis: kg\nsource: dose\n"
    "quote: Крупному рогатому скоту — 7,5 мг на 1 кг внутрь\n\n"
    "species: sheep\nroute: внутрь\ndose: 5\nunit: мг\nbasis: kg\nsource: dose\n"
    "quote: Овцам и козам — 5 мг на 1 кг внутрь\n"
    "== withdrawal\nspecies: cattle\ntissue: milk\nperiod: 96 h\nsource: special_conditions\n"
    "quote: Молоко разрешается использовать через 96 часов\n\n"
    "species: cattle\ntissue: meat\nperiod: 28 d\nsource: special_conditions\n"
    "quote: убой на мясо — через 28 суток\n";

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// The part of a page the calculator's answer stands in.
QString resultOf(const QString &page)
{
    const qsizetype from = page.indexOf(QStringLiteral("id=\"calc-result\""));
    const qsizetype to = page.indexOf(QStringLiteral("id=\"withdrawal\""));
    return from < 0 ? QString() : page.mid(from, to > from ? to - from : -1);
}

} // namespace

class TestReaderAnswers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void calculatorComputesOnTheServer();
    void badInputIsRefusedInWords();
    void withdrawalTableAndReleaseDates();
    void pagesWithParametersAreCachedByThem();

private:
    QTemporaryDir m_dir;
    QString m_content;
    std::unique_ptr<ReaderServer> m_reader;
};

void TestReaderAnswers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("TZ", "Europe/Berlin"); // a zone where the clock goes back
    tzset();
    const QString sources = m_dir.filePath(QStringLiteral("src"));
    copyTree(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/tests/content/fixture"), sources);
    writeFile(sources + QStringLiteral("/animals.tsv"), kAnimals);
    writeFile(sources + QStringLiteral("/items/103.txt"), kProduct);
    m_content = m_dir.filePath(QStringLiteral("content.sqlite"));
    const PublishReport report = publishSources(sources, m_content, {});
    QVERIFY2(report.errors.isEmpty(), qPrintable(report.errors.join(QLatin1Char('\n'))));
    m_reader = std::make_unique<ReaderServer>(m_content);
}

void TestReaderAnswers::calculatorComputesOnTheServer()
{
    // Before anything is asked: the species, the form with labelled fields, no result.
    const QString empty = m_reader->get(QStringLiteral("/item/103")).text();
    QVERIFY(empty.contains(
        QStringLiteral("есть для видов:</span> собаки, крупный рогатый скот, овцы и козы</p>")));
    QVERIFY(empty.contains(QStringLiteral("<form class=\"answer-form\" id=\"calc-form\" method=\"get\"")));
    QVERIFY(empty.contains(QStringLiteral("<label for=\"calc-weight\">Масса тела, кг</label>")));
    QVERIFY(empty.contains(QStringLiteral("<option value=\"1\" selected>собаки</option>")));
    QVERIFY(!empty.contains(QStringLiteral("<option value=\"8\"")));       // no rows for rabbits
    QVERIFY(!empty.contains(QStringLiteral("calc-form\" name=\"form\""))); // one strength: nothing to choose
    QVERIFY(resultOf(empty).isEmpty());
    QCOMPARE(empty.count(QStringLiteral("<h1")), 1);
    // A product without structured rows is the page it always was.
    QVERIFY(!m_reader->get(QStringLiteral("/item/101")).text().contains(QStringLiteral("id=\"answers\"")));

    // The form's own GET: 12.5 kg, 5–10 mg/kg, 50 mg/ml.
    const Reply dog = m_reader->get(QStringLiteral("/item/103?species=1&weight=12%2C5"));
    QCOMPARE(dog.status, 200);
    const QString result = resultOf(dog.text());
    QVERIFY2(result.contains(QStringLiteral("<strong class=\"dose-amount\">1,3–2,5 мл</strong>")),
             qPrintable(result));
    QVERIFY(result.contains(QStringLiteral("62,5–125 мг")));
    QVERIFY(result.contains(QStringLiteral("«Собакам — 5–10 мг мебендазола на 1 кг массы тела»")));
    QVERIFY(result.contains(QStringLiteral("1 раз в сутки")));
    QVERIFY(dog.text().contains(QStringLiteral("value=\"12,5\""))); // the field keeps what was typed

    // Whole amounts without a trailing zero, the weight as the calculation read it.
    const QString whole = resultOf(m_reader->get(QStringLiteral("/item/103?species=1&weight=20.0")).text());
    for (const QString &part : {QStringLiteral("<strong class=\"dose-amount\">2–4 мл</strong>"),
                                QStringLiteral("<dd>100–200 мг</dd>"), QStringLiteral("<dd>20 кг</dd>")})
        QVERIFY2(whole.contains(part), qPrintable(part));
    QVERIFY(empty.contains(QStringLiteral("От 0,01 до 2&nbsp;000 кг")));

    // A single value for cattle is rounded to the syringe's step and says so.
    const QString cow = resultOf(m_reader->get(QStringLiteral("/item/103?species=3&weight=5")).text());
    QVERIFY2(cow.contains(QStringLiteral("≈ 0,8 мл (расчёт: 0,75 мл)")), qPrintable(cow));
}

void TestReaderAnswers::badInputIsRefusedInWords()
{
    const QString huge(3000, QLatin1Char('9'));
    const struct
    {
        QString query;
        QString refusal;
    } cases[] = {
        {QStringLiteral("species=1&weight=abc"), QStringLiteral("Масса тела — не число: «abc»")},
        {QStringLiteral("species=1&weight=5000"),
         QStringLiteral("Масса тела должна быть от 0,01 до 2\u00a0000 кг")},
        {QStringLiteral("species=1&weight="), QStringLiteral("Укажите массу тела в килограммах")},
        {QStringLiteral("species=8&weight=3"),
         QStringLiteral("Для этого вида дозировка в инструкции не указана")},
        {QStringLiteral("species=999999999999&weight=3"),
         QStringLiteral("Для этого вида дозировка в инструкции не указана")},
        {QStringLiteral("species=%D0%B0&weight=3&route=x&form=-1"),
         QStringLiteral("Для этого вида дозировка")},
        {QStringLiteral("species=1&weight=") + huge + QStringLiteral("&last=") + huge,
         QStringLiteral("Масса тела")},
    };
    for (const auto &c : cases) {
        const Reply reply = m_reader->get(QStringLiteral("/item/103?") + c.query);
        QCOMPARE(reply.status, 200);
        const QString result = resultOf(reply.text());
        QVERIFY2(result.contains(QStringLiteral("<p class=\"refusal\">") + c.refusal),
                 qPrintable(c.query.left(80)));
        // Words, never a number to measure out, and no other species' row.
        QVERIFY2(!result.contains(QStringLiteral("dose-amount")), qPrintable(c.query.left(80)));
        QVERIFY(!result.contains(QStringLiteral(" мл")));
        QVERIFY(!result.contains(QStringLiteral("«Собакам")) ||
                c.query.startsWith(QStringLiteral("species=1")));
        QVERIFY(reply.body.size() < 100000);
    }

    // What was typed comes back as text only: in the field, in the refusal, in the other form.
    const QString typed = QStringLiteral("<script>alert(1)</script>\"&");
    const Reply hostile = m_reader->get(QStringLiteral("/item/103?species=1&weight=") + encoded(typed) +
                                        QStringLiteral("&last=") + encoded(typed));
    QCOMPARE(hostile.status, 200);
    QVERIFY(!hostile.text().contains(QStringLiteral("<script"), Qt::CaseInsensitive));
    const QString shown = QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt;&quot;&amp;");
    QVERIFY(hostile.text().contains(QStringLiteral("id=\"calc-weight\"")));
    QVERIFY(hostile.text().contains(QStringLiteral("value=\"") + shown + QLatin1Char('"')));
    QVERIFY(resultOf(hostile.text())
                .contains(QStringLiteral("Масса тела — не число: «") + shown + QStringLiteral("»")));
    QVERIFY(
        hostile.text().contains(QStringLiteral("<input type=\"hidden\" name=\"weight\" value=\"") + shown));
}

void TestReaderAnswers::withdrawalTableAndReleaseDates()
{
    const QString plain = m_reader->get(QStringLiteral("/item/103")).text();
    QVERIFY(plain.contains(QStringLiteral("<label for=\"last-dose\">Последнее введение</label>")));
    // The period in its row, the instruction's words in the row under it.
    QVERIFY(plain.contains(QStringLiteral("<tr><th scope=\"row\">молоко</th><td>96 ч</td></tr><tr class=\"quote-row\">"
                                          "<td colspan=\"2\">")));
    QVERIFY(!plain.contains(QStringLiteral("Можно использовать с")));
    // Sheep are dosed and give food, but the instruction names no period: never shown as 0.
    QVERIFY(plain.contains(
        QStringLiteral("<h3>овцы и козы</h3><p class=\"no-data\">Сроки ожидания: нет данных</p>")));
    QVERIFY(!plain.contains(QStringLiteral("<h3>собаки</h3>"))); // not a food-producing species

    for (const QString &last : {QStringLiteral("01.03.2027 08:00"), QStringLiteral("2027-03-01T08:00")}) {
        const QString page =
            m_reader->get(QStringLiteral("/item/103?species=1&weight=12%2C5&last=") + encoded(last)).text();
        QVERIFY2(page.contains(QStringLiteral("<tr><th scope=\"row\">молоко</th><td>96 ч</td>"
                                              "<td class=\"release\">05.03.2027 08:00</td></tr>")),
                 qPrintable(last));
        QVERIFY(page.contains(QStringLiteral("<td class=\"release\">29.03.2027 08:00</td>")));
        QVERIFY(page.contains(QStringLiteral("время сервера: ")));
        QVERIFY(page.contains(QStringLiteral("«Молоко разрешается использовать через 96 часов»")) ||
                page.contains(QStringLiteral("<td>Молоко разрешается использовать через 96 часов</td>")));
        // The calculation asked before stays on the page, and its inputs travel with the date.
        QVERIFY(resultOf(page).contains(QStringLiteral("1,3–2,5 мл")));
        QVERIFY(page.contains(QStringLiteral("<input type=\"hidden\" name=\"last\" value=\"") +
                              last.toHtmlEscaped()));
    }
    // 02:30 twice on 31.10.2027 (the test runs in Berlin): the later one, said under the form.
    const QString autumn = m_reader->get(QStringLiteral("/item/103?last=31.10.2027+02%3A30")).text();
    QVERIFY2(autumn.contains(QStringLiteral("<td>96 ч</td><td class=\"release\">04.11.2027 02:30</td>")), qPrintable(autumn));
    QVERIFY(
        autumn.contains(QStringLiteral("<p class=\"hint\" id=\"last-dose-note\">В этот час часы переводят "
                                       "назад, и 02:30 наступает дважды")));
    QVERIFY(!plain.contains(QStringLiteral("last-dose-note")));
    const QString wrong = m_reader->get(QStringLiteral("/item/103?last=31.02.2027")).text();
    QVERIFY(wrong.contains(QStringLiteral("id=\"last-dose-refusal\"")));
    QVERIFY(!wrong.contains(QStringLiteral("Можно использовать с")));
}

void TestReaderAnswers::pagesWithParametersAreCachedByThem()
{
    const Reply a = m_reader->get(QStringLiteral("/item/103?species=1&weight=12%2C5"));
    const Reply b = m_reader->get(QStringLiteral("/item/103?species=1&weight=12"));
    const Reply plain = m_reader->get(QStringLiteral("/item/103"));
    QCOMPARE(a.header("Cache-Control"), std::string("public, max-age=7"));
    QVERIFY(!a.header("ETag").empty());
    QVERIFY(a.header("ETag") != b.header("ETag"));
    QVERIFY(a.header("ETag") != plain.header("ETag"));
    QCOMPARE(
        m_reader
            ->get(QStringLiteral("/item/103?species=1&weight=12%2C5"), {{"If-None-Match", a.header("ETag")}})
            .status,
        304);
    QVERIFY(m_reader->get(QStringLiteral("/item/103?last=01.03.2027%2008:00")).header("ETag") !=
            plain.header("ETag"));

    // A dose row changed with its own stamp alone, no publish: a new validator and the new dose.
    {
        Database db;
        db.open(m_content, QByteArray());
        db.exec(QStringLiteral("UPDATE item_doses SET dose_from = '6', last_update = last_update + 100000 "
                               "WHERE item_id = 103 AND species_id = 1"));
    }
    const Reply changed = m_reader->get(QStringLiteral("/item/103?species=1&weight=12%2C5"),
                                        {{"If-None-Match", a.header("ETag")}});
    QCOMPARE(changed.status, 200);
    QVERIFY(changed.header("ETag") != a.header("ETag"));
    QVERIFY2(resultOf(changed.text()).contains(QStringLiteral("1,5–2,5 мл")),
             qPrintable(resultOf(changed.text())));
}

QTEST_GUILESS_MAIN(TestReaderAnswers)
#include "tst_readeranswers.moc"
