// The same questions put to the window's panel, `ramuxctl dose` and the web reader on the demo
// reference: each gives the same amount to measure out, or the same refusal in words.
#include "readingfixture.h"

#include "../reader/readerfixture.h"

#include "answers/decimal.h"
#include "app/answerspanel.h"
#include "app/readout.h"
#include "content/publish.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>

namespace {

// "≈ 1,3 мл (расчёт: 1,25 мл)" from ramuxctl's "amount" and "rounded" lines; its refusal otherwise.
QString commandLineAnswer(const QString &out, const QString &err)
{
    QString amount, rounded;
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("amount\t")))
            amount = line;
        else if (line.startsWith(QStringLiteral("rounded\t")))
            rounded = line.section(QLatin1Char('\t'), 1, 1);
    }
    if (amount.isEmpty())
        return err.trimmed();
    // The machine's "1.0" as a person reads it: "1".
    const auto comma = [](const QString &v) {
        return Decimal::parse(v).value_or(Decimal()).toString(QLatin1Char(','));
    };
    const QStringList f = amount.split(QLatin1Char('\t'));
    QString text = comma(f.at(1)) + (f.at(2) != f.at(1) ? QStringLiteral("–") + comma(f.at(2)) : QString()) +
                   QLatin1Char(' ') + f.at(3);
    if (!rounded.isEmpty())
        text = QStringLiteral("≈ %1 (расчёт: %2 %3)").arg(text, comma(rounded), f.at(3));
    return text;
}

QString windowAnswer(const QString &result)
{
    const qsizetype at = result.indexOf(QStringLiteral("Отмерить: "));
    if (at < 0)
        return result.section(QLatin1Char('\n'), 0, 0);
    return result.mid(at + 10).section(QLatin1Char('\n'), 0, 0);
}

QString readerAnswer(const QString &html)
{
    static const QRegularExpression amount(QStringLiteral("<strong class=\"dose-amount\">([^<]*)</strong>"));
    static const QRegularExpression refusal(QStringLiteral("<p class=\"refusal\">([^<]*)</p>"));
    const QString result = html.mid(html.indexOf(QStringLiteral("id=\"calc-result\"")));
    const auto m = amount.match(result);
    if (m.hasMatch())
        return m.captured(1);
    return refusal.match(result).captured(1).replace(QStringLiteral("&quot;"), QStringLiteral("\""));
}

} // namespace

class TestThreeSurfaces : public QObject
{
    Q_OBJECT

private slots:
    void sameAnswerEverywhere();
};

void TestThreeSurfaces::sameAnswerEverywhere()
{
    const QString tool = qEnvironmentVariable("RAMUX_BIN_DIR") + QStringLiteral("/ramuxctl");
    if (!QFile::exists(tool))
        QSKIP("ramuxctl is not built");
    QTemporaryDir dir;
    const QString content = dir.filePath(QStringLiteral("content.sqlite"));
    const PublishReport report =
        publishSources(qEnvironmentVariable("RAMUX_SOURCE_DIR") + QStringLiteral("/data/demo"), content, {});
    QVERIFY2(report.errors.isEmpty(), qPrintable(report.errors.join(QLatin1Char('\n'))));
    ReaderServer reader(content, true);
    DemoFixture f;
    auto w = f.start();
    AnswersPanel *panel = w->m_answers;

    const struct
    {
        qint64 item;
        qint64 speciesId;
        const char *code;
        const char *name;
        const char *weight;
        const char *answer; // the amount, or words the refusal holds
    } cases[] = {
        {102, 3, "cattle", "крупный рогатый скот", "12,5", "≈ 1,3 мл (расчёт: 1,25 мл)"}, // 1 мл на 10 кг
        {121, 5, "pig", "свиньи", "12,5", "≈ 1,3 г (расчёт: 1,25 г)"}, // 1 г of the powder на 10 кг
        {102, 3, "cattle", "крупный рогатый скот", "", "Укажите массу тела в килограммах"},
        {250, 1, "dog", "собаки", "", "1 мл"}, // per animal, no strength: no weight needed
        {250, 1, "dog", "собаки", "abc", "Масса тела — не число: «abc»"},
        {250, 1, "dog", "собаки", "12 кг", "Масса тела — не число: «12 кг»"},
    };
    for (const auto &c : cases) {
        const QString weight = QString::fromUtf8(c.weight);
        const QString expected = QString::fromUtf8(c.answer);
        const QString where =
            QStringLiteral("ITEM:%1 %2 «%3»").arg(c.item).arg(QLatin1String(c.code), weight);

        selectNode(w->TreeView1, c.item);
        panel->speciesBox()->setCurrentIndex(panel->speciesBox()->findText(QString::fromUtf8(c.name)));
        panel->weightEdit()->clear();
        panel->weightEdit()->insert(weight);
        const QString window = windowAnswer(panel->resultView()->accessibleDescription());

        QProcess p;
        p.start(tool,
                {QStringLiteral("dose"), QStringLiteral("ITEM:%1").arg(c.item), QStringLiteral("--species"),
                 QLatin1String(c.code), QStringLiteral("--weight"), weight, QStringLiteral("--db"), f.path});
        QVERIFY(p.waitForFinished(30000));
        const QString line = commandLineAnswer(QString::fromUtf8(p.readAllStandardOutput()),
                                               QString::fromUtf8(p.readAllStandardError()));

        const QString web =
            readerAnswer(reader
                             .get(QStringLiteral("/item/%1?species=%2&weight=%3")
                                      .arg(c.item)
                                      .arg(c.speciesId)
                                      .arg(QString::fromLatin1(QUrl::toPercentEncoding(weight))))
                             .text());

        QVERIFY2(window.startsWith(expected), qPrintable(where + QStringLiteral(" window: ") + window));
        QVERIFY2(line.contains(expected), qPrintable(where + QStringLiteral(" ramuxctl: ") + line));
        QVERIFY2(web.startsWith(expected), qPrintable(where + QStringLiteral(" reader: ") + web));
    }
}

QTEST_MAIN(TestThreeSurfaces)
#include "tst_threesurfaces.moc"
