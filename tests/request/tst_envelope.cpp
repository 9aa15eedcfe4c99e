// The pure half of the request layer: the request URL and the answer envelope.
#include "update/serverrequest.h"

#include <QElapsedTimer>
#include <QTest>

class TestEnvelope : public QObject
{
    Q_OBJECT

private slots:
    void urlGetsVersionLast();
    void urlReplacesVersionInPlace_data();
    void urlReplacesVersionInPlace();
    void urlIsNotEncoded();

    void envelope_data();
    void envelope();
    void dataMarkupKeepsContent();
    void bodyIsDecodedByItsDeclaration();
    void nonXmlBodyRaises_data();
    void nonXmlBodyRaises();
    void entityBombsAreRefusedQuickly_data();
    void entityBombsAreRefusedQuickly();

    void attributeEquals();
};

void TestEnvelope::urlGetsVersionLast()
{
    QStringList parameters{QStringLiteral("action=get_splash")};
    QCOMPARE(buildRequestUrl(QStringLiteral("http://h/api.php"), parameters, QStringLiteral("1.1")),
             QStringLiteral("http://h/api.php?action=get_splash&version=1.1"));
    QCOMPARE(parameters, QStringList({QStringLiteral("action=get_splash"), QStringLiteral("version=1.1")}));

    QStringList empty;
    QCOMPARE(buildRequestUrl(QStringLiteral("http://h/api.php"), empty, QString()),
             QStringLiteral("http://h/api.php?"));
    QVERIFY(empty.isEmpty());
}

void TestEnvelope::urlReplacesVersionInPlace_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("query");

    QTest::newRow("replaced where it stands")
        << QStringList{"a=1", "version=0.9", "b=2"} << "1.1"
        << QStringList{"a=1", "version=1.1", "b=2"} << "a=1&version=1.1&b=2";
    QTest::newRow("name in any case")
        << QStringList{"VerSion=0.9", "b=2"} << "1.1" << QStringList{"version=1.1", "b=2"}
        << "version=1.1&b=2";
    QTest::newRow("only the first version line")
        << QStringList{"version=1", "version=2"} << "1.1" << QStringList{"version=1.1", "version=2"}
        << "version=1.1&version=2";
    QTest::newRow("a line without = is no version line")
        << QStringList{"version"} << "1.1" << QStringList{"version", "version=1.1"}
        << "version&version=1.1";
    QTest::newRow("empty version removes the line")
        << QStringList{"a=1", "version=0.9", "b=2"} << "" << QStringList{"a=1", "b=2"} << "a=1&b=2";
    QTest::newRow("empty version, none present")
        << QStringList{"a=1"} << "" << QStringList{"a=1"} << "a=1";
    QTest::newRow("trailing ampersands go, inner ones stay")
        << QStringList{"a=1&&", "", "b=&"} << "" << QStringList{"a=1&&", "", "b=&"} << "a=1&&&&b=";
}

void TestEnvelope::urlReplacesVersionInPlace()
{
    QFETCH(QStringList, before);
    QFETCH(QString, version);
    QFETCH(QStringList, after);
    QFETCH(QString, query);
    QStringList parameters = before;
    QCOMPARE(buildRequestUrl(QStringLiteral("http://h/api.php"), parameters, version),
             QStringLiteral("http://h/api.php?") + query);
    QCOMPARE(parameters, after);
}

void TestEnvelope::urlIsNotEncoded()
{
    QStringList parameters{QStringLiteral("q=%41/b?c"), QStringLiteral("name=Ампициллин")};
    QCOMPARE(buildRequestUrl(QStringLiteral("http://h/api.php"), parameters, QStringLiteral("1.1")),
             QStringLiteral("http://h/api.php?q=%41/b?c&name=Ампициллин&version=1.1"));
}

void TestEnvelope::envelope_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("errorTextSet");
    QTest::addColumn<QString>("errorText");
    const QString unknown = QStringLiteral("Неизвестная ошибка");

    QTest::newRow("success") << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA><X>1</X></DATA></r>")
                             << 0 << "<DATA><X>1</X></DATA>" << false << "";
    QTest::newRow("DATA after other siblings")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><NOTE/><DATA/><DATA><Y/></DATA></r>")
        << 0 << "<DATA/>" << false << "";
    QTest::newRow("DATA before RESULT")
        << QByteArray("<r version=\"1\"><DATA><X/></DATA><RESULT status=\"OK\"/></r>") << -1 << "" << false << "";
    QTest::newRow("DATA nested below a sibling is not a sibling")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><W><DATA/></W></r>") << -1 << "" << false << "";
    QTest::newRow("data in lower case")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><data/></r>") << -1 << "" << false << "";
    QTest::newRow("first RESULT wins, not the first child")
        << QByteArray("<r version=\"1\"><HEAD/><RESULT status=\"OK\"/><RESULT status=\"FAIL\"/><DATA>a</DATA></r>")
        << 0 << "<DATA>a</DATA>" << false << "";
    QTest::newRow("no RESULT") << QByteArray("<r version=\"1\"><DATA/></r>") << -1 << "" << false << "";
    QTest::newRow("RESULT only as a grandchild")
        << QByteArray("<r version=\"1\"><x><RESULT status=\"OK\"/><DATA/></x></r>") << -1 << "" << false << "";
    QTest::newRow("success without DATA")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/></r>") << -1 << "" << false << "";
    QTest::newRow("version 2") << QByteArray("<r version=\"2\"><RESULT status=\"OK\"/><DATA/></r>")
                               << -1 << "" << false << "";
    QTest::newRow("version 2 with FAIL") << QByteArray("<r version=\"2\"><RESULT status=\"FAIL\" err_code=\"7\">x</RESULT></r>")
                                         << -1 << "" << false << "";
    QTest::newRow("no version") << QByteArray("<r><RESULT status=\"OK\"/><DATA/></r>") << -1 << "" << false << "";
    QTest::newRow("version as a number")
        << QByteArray("<r version=\"1.0\"><RESULT status=\"OK\"/><DATA/></r>") << 0 << "<DATA/>" << false << "";
    QTest::newRow("status ok in lower case")
        << QByteArray("<r version=\"1\"><RESULT status=\"ok\"/><DATA/></r>") << -1 << "" << false << "";
    QTest::newRow("no status") << QByteArray("<r version=\"1\"><RESULT/><DATA/></r>") << -1 << "" << false << "";
    QTest::newRow("FAIL bare") << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\"/></r>")
                               << 1 << "" << true << unknown;
    QTest::newRow("FAIL with code and message")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"7\">Нет такой таблицы</RESULT></r>")
        << 7 << "" << true << QStringLiteral("Нет такой таблицы");
    QTest::newRow("FAIL with code, no text")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"7\"></RESULT></r>") << 7 << "" << true << unknown;
    QTest::newRow("FAIL with code, blank text")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"7\">  \n </RESULT></r>") << 7 << "" << true << unknown;
    QTest::newRow("FAIL message read only with a code")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\">text</RESULT></r>") << 1 << "" << true << unknown;
    QTest::newRow("FAIL ignores DATA")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"3\">m</RESULT><DATA/></r>")
        << 3 << "" << true << "m";
    QTest::newRow("FAIL code not an integer")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"x7\">m</RESULT></r>") << 1 << "" << true << "m";
    QTest::newRow("FAIL code too large for an integer")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"99999999999\">m</RESULT></r>") << 1 << "" << true << "m";
    QTest::newRow("FAIL code 0 never reads as success")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"0\">m</RESULT></r>") << 1 << "" << true << "m";
    QTest::newRow("FAIL negative code")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"-5\"/></r>") << -5 << "" << true << unknown;
    QTest::newRow("FAIL message made of elements")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"9\"><b>x</b>y</RESULT></r>")
        << 9 << "" << true << unknown;
    QTest::newRow("FAIL message in CDATA")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"4\"><![CDATA[a<b]]></RESULT></r>")
        << 4 << "" << true << "a<b";
    QTest::newRow("first of two DATA")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA>1</DATA><DATA>2</DATA></r>") << 0 << "<DATA>1</DATA>" << false << "";
    QTest::newRow("prefixed names are other names")
        << QByteArray("<r version=\"1\" xmlns:x=\"urn:x\"><x:RESULT status=\"OK\"/><DATA/></r>") << -1 << "" << false << "";
    QTest::newRow("text kept as sent, blank text between elements dropped")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/>\n <DATA>\n <name> a  b </name>\n <!--c--><e> </e></DATA></r>")
        << 0 << "<DATA><name> a  b </name><!--c--><e/></DATA>" << false << "";
    QTest::newRow("FAIL message in pieces")
        << QByteArray("<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"4\">a &amp; <![CDATA[b]]><!--x--> c</RESULT></r>")
        << 4 << "" << true << "a & b c";
    QTest::newRow("empty body") << QByteArray() << -1 << "" << false << "";
    QTest::newRow("blank body") << QByteArray(" \r\n\t") << -1 << "" << false << "";
}

void TestEnvelope::envelope()
{
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    QFETCH(QString, answer);
    QFETCH(bool, errorTextSet);
    QFETCH(QString, errorText);
    const EnvelopeResult result = parseEnvelope(body);
    QCOMPARE(result.code, code);
    QCOMPARE(result.answer, answer);
    QCOMPARE(result.errorTextSet, errorTextSet);
    QCOMPARE(result.errorText, errorText);
}

void TestEnvelope::dataMarkupKeepsContent()
{
    // The sync engine parses this markup again: attributes, escapes and CDATA must survive.
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ANSWER version=\"1\">\n"
                            "  <RESULT status=\"OK\"/>\n  <DATA>\n    <TABLE name=\"items\">"
                            "<ROW id=\"5\" action=\"DELETE\"/><ROW id=\"6\"><name>A &amp; B &lt;C&gt;</name>"
                            "<text><![CDATA[x<y]]></text><?pi?><?\xd1\x88\xd0\xb0\xd0\xb3 1?></ROW></TABLE>\n"
                            "  </DATA>\n</ANSWER>";
    const EnvelopeResult result = parseEnvelope(body);
    QCOMPARE(result.code, 0);
    QVERIFY2(result.answer.startsWith(QStringLiteral("<DATA><TABLE")), qPrintable(result.answer));
    QDomDocument again;
    QVERIFY(again.setContent(result.answer));
    const QDomElement table = again.documentElement().firstChildElement(QStringLiteral("TABLE"));
    QCOMPARE(table.attribute(QStringLiteral("name")), QStringLiteral("items"));
    const QDomElement deleted = table.firstChildElement(QStringLiteral("ROW"));
    QCOMPARE(deleted.attribute(QStringLiteral("id")), QStringLiteral("5"));
    QCOMPARE(deleted.attribute(QStringLiteral("action")), QStringLiteral("DELETE"));
    const QDomElement row = deleted.nextSiblingElement(QStringLiteral("ROW"));
    QCOMPARE(row.firstChildElement(QStringLiteral("name")).text(), QStringLiteral("A & B <C>"));
    QVERIFY(row.firstChildElement(QStringLiteral("text")).firstChild().isCDATASection());
    QCOMPARE(row.firstChildElement(QStringLiteral("text")).text(), QStringLiteral("x<y"));
    // Processing instructions named by any XML name, Cyrillic ones too, are kept.
    const QDomNode plain = row.firstChildElement(QStringLiteral("text")).nextSibling();
    QCOMPARE(plain.toProcessingInstruction().target(), QStringLiteral("pi"));
    QCOMPARE(plain.nextSibling().toProcessingInstruction().target(), QStringLiteral("шаг"));
}

void TestEnvelope::bodyIsDecodedByItsDeclaration()
{
    const QString message = QStringLiteral("Ошибка сервера");
    QByteArray cp1251 = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r version=\"1\">"
                        "<RESULT status=\"FAIL\" err_code=\"2\">";
    cp1251 += "\xce\xf8\xe8\xe1\xea\xe0 \xf1\xe5\xf0\xe2\xe5\xf0\xe0</RESULT></r>";
    QCOMPARE(parseEnvelope(cp1251).errorText, message);

    const QByteArray utf8 = "<r version=\"1\"><RESULT status=\"FAIL\" err_code=\"2\">" + message.toUtf8()
                            + "</RESULT></r>";
    QCOMPARE(parseEnvelope(utf8).errorText, message);
    QCOMPARE(parseEnvelope("\xef\xbb\xbf" + utf8).errorText, message);
}

void TestEnvelope::nonXmlBodyRaises_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("plain text") << QByteArray("Service temporarily unavailable");
    QTest::newRow("html error page") << QByteArray("<html><body><p>Bad gateway<br></body></html>");
    QTest::newRow("truncated envelope") << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA><X>");
    QTest::newRow("declaration only") << QByteArray("<?xml version=\"1.0\"?>");
    QTest::newRow("two roots") << QByteArray("<r version=\"1\"/><r version=\"1\"/>");
    QTest::newRow("garbage after a good envelope")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA/></r>trailing");
    QTest::newRow("broken after DATA")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA/><X></r>");
    QTest::newRow("undeclared entity") << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA>&nbsp;</DATA></r>");
    // The stream reader lets these through; the markup handed on would not parse again.
    QTest::newRow("NUL in a processing instruction")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA><PAGE><?pi\0x?></PAGE></DATA></r>", 74);
    QTest::newRow("processing instruction named by no name")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA><PAGE><HTML><?$?></HTML></PAGE></DATA></r>");
    QTest::newRow("control character in a comment")
        << QByteArray("<r version=\"1\"><RESULT status=\"OK\"/><DATA><!-- \x01 --></DATA></r>");
}

void TestEnvelope::nonXmlBodyRaises()
{
    QFETCH(QByteArray, body);
    QVERIFY_THROWS_EXCEPTION(XmlAnswerError, parseEnvelope(body));
    // The type the callers catch for every error of the program.
    QVERIFY_THROWS_EXCEPTION(RamuxError, parseEnvelope(body));
}

void TestEnvelope::entityBombsAreRefusedQuickly_data()
{
    QTest::addColumn<QByteArray>("body");

    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"";
        for (int j = 0; j < 10; ++j)
            laughs += "&l" + QByteArray::number(i - 1) + ';';
        laughs += "\">\n";
    }
    laughs += "]>\n<r version=\"1\"><RESULT status=\"OK\"/><DATA>&l9;</DATA></r>";
    QTest::newRow("billion laughs") << laughs;

    // Each expansion stays under a per-entity limit; the number of references does the damage.
    QByteArray quadratic = "<!DOCTYPE r [<!ENTITY a \"" + QByteArray(4000, 'a')
                           + "\">]><r version=\"1\"><RESULT status=\"OK\"/><DATA>";
    for (int i = 0; i < 200000; ++i)
        quadratic += "&a;";
    quadratic += "</DATA></r>";
    QTest::newRow("quadratic blow-up") << quadratic;

    QTest::newRow("external entity")
        << QByteArray("<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
                      "<r version=\"1\"><RESULT status=\"OK\"/><DATA>&e;</DATA></r>");
    QByteArray deep = "<r version=\"1\"><RESULT status=\"OK\"/><DATA>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    QTest::newRow("deep nesting") << deep + "</DATA></r>";
    QTest::newRow("parameter entity")
        << QByteArray("<!DOCTYPE r [<!ENTITY % p \"x\">]><r version=\"1\"><RESULT status=\"OK\"/><DATA/></r>");
}

void TestEnvelope::entityBombsAreRefusedQuickly()
{
    QFETCH(QByteArray, body);
    QElapsedTimer timer;
    timer.start();
    QVERIFY_THROWS_EXCEPTION(XmlAnswerError, parseEnvelope(body));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
}

void TestEnvelope::attributeEquals()
{
    QDomDocument document;
    QVERIFY(document.setContent(QByteArray("<r status=\"OK\" empty=\"\"/>")));
    const QDomElement root = document.documentElement();
    QVERIFY(AttributeEquals(root, QStringLiteral("status"), QStringLiteral("OK")));
    QVERIFY(!AttributeEquals(root, QStringLiteral("status"), QStringLiteral("ok")));
    QVERIFY(!AttributeEquals(root, QStringLiteral("Status"), QStringLiteral("OK")));
    QVERIFY(!AttributeEquals(root, QStringLiteral("missing"), QString()));
    QVERIFY(AttributeEquals(root, QStringLiteral("empty"), QString()));
    QVERIFY(!AttributeEquals(QDomElement(), QStringLiteral("status"), QStringLiteral("OK")));
}

QTEST_GUILESS_MAIN(TestEnvelope)
#include "tst_envelope.moc"
