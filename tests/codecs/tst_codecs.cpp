// Base64, Windows-1251, packed content and the joiner.
#include "text/base64.h"
#include "text/commonfunc.h"
#include "text/cp1251.h"
#include "pages/htmljoiner.h"
#include "text/packedcontent.h"
#include "text/ramuxerror.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

namespace {

QString packHtml(const QByteArray &cp1251Html)
{
    return QStringLiteral("<HTML>") + Base64EncodeString(cp1251Html) + QStringLiteral("</HTML>");
}

template <typename F>
QString errorOf(F &&f)
{
    try {
        f();
    } catch (const RamuxError &e) {
        return e.message();
    }
    return QString();
}

} // namespace

class TestCodecs : public QObject
{
    Q_OBJECT

private slots:
    void encodesWithPaddingAndBlocks();
    void streamEncodingHasNoLineBreaksBetweenBlocks();
    void decodesWhatItEncodes();
    void decodeRejectsGarbage_data();
    void decodeRejectsGarbage();
    void paddingMayCloseAGroupMidText();
    void decodeToStreamIgnoresEmptyInputAndMissingStream();
    void cp1251RoundTripAndReferences();
    void joinerEmptyAndPlain();
    void joinerPackedAnyCaseAndWhitespace();
    void joinerKeepsAttachmentsInOrder();
    void joinerKeepsBodyBeforeInvalidElement();
    void packedScannerDropsUnclosedAndIgnoresOutside();
    void hostilePackedInputIsSafe();
    void versionAndTempFolder();
};

void TestCodecs::encodesWithPaddingAndBlocks()
{
    QCOMPARE(base64Encode("a"), QByteArray("YQ=="));
    QCOMPARE(base64Encode("ab"), QByteArray("YWI="));
    QCOMPARE(base64Encode("abc"), QByteArray("YWJj"));
    QCOMPARE(base64Encode(""), QByteArray());
    QCOMPARE(base64Encode(QByteArray(45, 'x')).size(), 60);
    QCOMPARE(base64Encode(QByteArray(46, 'x')).size(), 64);
    QCOMPARE(Base64EncodeString(QByteArray()), QString());
}

void TestCodecs::streamEncodingHasNoLineBreaksBetweenBlocks()
{
    for (int n : {0, 1, 44, 45, 46, 90, 91, 1000}) {
        QByteArray data(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i)
            data[i] = char(i * 7);
        QBuffer in(&data), out;
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        Base64EncodeStream(in, out);
        QCOMPARE(out.data(), data.toBase64());

        QByteArray encoded = out.data();
        QBuffer in2(&encoded), out2;
        in2.open(QIODevice::ReadOnly);
        out2.open(QIODevice::WriteOnly);
        Base64DecodeStream(in2, out2);
        QCOMPARE(out2.data(), data);
    }
}

void TestCodecs::decodesWhatItEncodes()
{
    auto *rng = QRandomGenerator::global();
    for (int round = 0; round < 200; ++round) {
        QByteArray data(int(rng->bounded(300)), Qt::Uninitialized);
        for (auto &c : data)
            c = char(rng->bounded(256));
        QCOMPARE(base64Decode(base64Encode(data)), data);
        QCOMPARE(base64Encode(data), data.toBase64());
    }
}

void TestCodecs::decodeRejectsGarbage_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("tab") << QByteArray("YW\tj");
    QTest::newRow("space") << QByteArray("YW j");
    QTest::newRow("star below plus") << QByteArray("YW*j");
    QTest::newRow("colon inside range") << QByteArray("YW:j");
    QTest::newRow("underscore inside range") << QByteArray("YW_j");
    QTest::newRow("above z") << QByteArray("YW{j");
    QTest::newRow("non-ascii byte") << QByteArray("YW\xC0j");
    QTest::newRow("pad first") << QByteArray("=WJj");
    QTest::newRow("pad second") << QByteArray("Y=Jj");
    QTest::newRow("pad third, data fourth") << QByteArray("YW=j");
    QTest::newRow("length 5") << QByteArray("YWJjZ");
    QTest::newRow("length 7") << QByteArray("YWJjZGU");
    QTest::newRow("length 2") << QByteArray("YW");
}

void TestCodecs::decodeRejectsGarbage()
{
    QFETCH(QByteArray, text);
    QCOMPARE(errorOf([&] { base64Decode(text); }), QStringLiteral("Invalid Base64 Character"));
}

void TestCodecs::paddingMayCloseAGroupMidText()
{
    QCOMPARE(base64Decode("YQ==YWI=YWJj"), QByteArray("aababc"));
}

void TestCodecs::decodeToStreamIgnoresEmptyInputAndMissingStream()
{
    Base64DecodeToStream(u"YWJj", nullptr); // no stream: nothing to do, no crash
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    Base64DecodeToStream(u"", &out);
    QCOMPARE(out.size(), 0);
    out.write("x");
    Base64DecodeToStream(u"YWJj", &out); // at the stream's current position
    QCOMPARE(out.data(), QByteArray("xabc"));
    QCOMPARE(errorOf([&] { Base64DecodeToStream(u"YWЖj", &out); }), QStringLiteral("Invalid Base64 Character"));
}

void TestCodecs::cp1251RoundTripAndReferences()
{
    const QString russian = QStringLiteral("Ёжик ёлка «Ветеринария» № 5 — тест");
    const QByteArray bytes = encodeCp1251Html(russian);
    QCOMPARE(bytes.size(), russian.size()); // one byte per character
    QCOMPARE(static_cast<unsigned char>(bytes.at(0)), 0xA8); // Ё
    QCOMPARE(decodeCp1251(bytes), russian);
    QVERIFY(fitsCp1251(russian));

    const QString outside = QStringLiteral("α ✓ 😀");
    QVERIFY(!fitsCp1251(outside));
    QCOMPARE(encodeCp1251Html(outside), QByteArray("&#945; &#10003; &#128512;"));

    // Every byte decodes to something and comes back unchanged.
    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    QCOMPARE(encodeCp1251Html(decodeCp1251(all)), all);
}

void TestCodecs::joinerEmptyAndPlain()
{
    THTMLJoiner empty;
    QCOMPARE(empty.GetDocument(), QStringLiteral("<HTML></HTML>"));

    THTMLJoiner j;
    j.AddHTML(QStringLiteral("abc"));
    QCOMPARE(j.GetDocument(), QStringLiteral("<HTML>YWJj</HTML>"));
    j.AddHTML(QStringLiteral("d"));
    QCOMPARE(j.GetDocument(), QStringLiteral("<HTML>YWJjZA==</HTML>")); // not emptied by GetDocument

    THTMLJoiner ru;
    ru.AddHTML(QStringLiteral("<b>Доза</b> ✓"));
    const QString doc = ru.GetDocument();
    QVERIFY(doc.startsWith(QStringLiteral("<HTML>")));
    const QByteArray html = base64Decode(doc.mid(6, doc.size() - 13).toLatin1());
    QCOMPARE(html, encodeCp1251Html(QStringLiteral("<b>Доза</b> ✓")));
    QVERIFY(html.endsWith("&#10003;"));
}

void TestCodecs::joinerPackedAnyCaseAndWhitespace()
{
    const QByteArray fragment = encodeCp1251Html(QStringLiteral("<p>Показания: гельминтозы</p>"));
    const QString b64 = Base64EncodeString(fragment);
    const QString spaced = b64.left(5) + QStringLiteral("\r\n  ") + b64.mid(5, 9) + QStringLiteral(" \n") + b64.mid(14);
    for (const QString &packed :
         {packHtml(fragment), QStringLiteral("<html>") + b64 + QStringLiteral("</html>"),
          QStringLiteral("<Html>") + spaced + QStringLiteral("</Html>"),
          QStringLiteral("  < HTML >") + b64 + QStringLiteral("</HTML>  trailing text")}) {
        THTMLJoiner j;
        j.AddPacked(packed);
        QCOMPARE(j.body(), QStringLiteral("<p>Показания: гельминтозы</p>"));
        QCOMPARE(j.attachments(), QString());
    }
    // Plain text or plain HTML in a packed field adds nothing to the page.
    THTMLJoiner plain;
    plain.AddPacked(QStringLiteral("just text"));
    QCOMPARE(plain.body(), QString());
    plain.AddPacked(QStringLiteral("<p>hello</p>"));
    QCOMPARE(plain.body(), QString());
    QCOMPARE(plain.attachments(), QStringLiteral("<p>hello</p>")); // its tags become an attachment
}

void TestCodecs::joinerKeepsAttachmentsInOrder()
{
    THTMLJoiner j;
    j.AddPacked(packHtml("one") + QStringLiteral("<LOGO>iVBO Rw0K</LOGO>"));
    j.AddPacked(packHtml("two") + QStringLiteral("<PIC>AAAA</PIC><LOGO>BBBB</LOGO>"));
    QCOMPARE(j.body(), QStringLiteral("onetwo"));
    // Name and content as gathered: spaces dropped, nothing trimmed or re-encoded.
    QCOMPARE(j.attachments(), QStringLiteral("<LOGO>iVBORw0K</LOGO><PIC>AAAA</PIC><LOGO>BBBB</LOGO>"));
    QCOMPARE(j.GetDocument(), QStringLiteral("<HTML>b25ldHdv</HTML><LOGO>iVBORw0K</LOGO><PIC>AAAA</PIC><LOGO>BBBB</LOGO>"));

    // Two HTML elements in one packed text: both bodies, in order, whatever stands between.
    THTMLJoiner twice;
    twice.AddHTML(QStringLiteral("<p>"));
    twice.AddPacked(packHtml("first ") + QStringLiteral("<PIC>AAAA</PIC>") +
                    QStringLiteral("<html>") + Base64EncodeString(encodeCp1251Html(QStringLiteral("второй"))) +
                    QStringLiteral("</html>"));
    QCOMPARE(twice.body(), QStringLiteral("<p>first второй"));
    QCOMPARE(twice.attachments(), QStringLiteral("<PIC>AAAA</PIC>"));
}

void TestCodecs::joinerKeepsBodyBeforeInvalidElement()
{
    THTMLJoiner j;
    j.AddHTML(QStringLiteral("start"));
    const QString packed = packHtml("ok") + QStringLiteral("<HTML>YW\tJj</HTML>") + packHtml("never");
    // A tab inside the data reaches the decoder (only CR, LF and space are skipped).
    QCOMPARE(errorOf([&] { j.AddPacked(packed); }), QStringLiteral("Invalid Base64 Character"));
    QCOMPARE(j.body(), QStringLiteral("startok"));
}

void TestCodecs::packedScannerDropsUnclosedAndIgnoresOutside()
{
    QStringList seen;
    scanPackedContent(u"xx<A>1</A> yy <B>2</B><C>3", [&](QString &name, QString &content) {
        seen << name + QLatin1Char('=') + content;
    });
    QCOMPARE(seen, QStringList({QStringLiteral("A=1"), QStringLiteral("B=2")}));

    seen.clear();
    scanPackedContent(u"<unterminated name", [&](QString &name, QString &) { seen << name; });
    QVERIFY(seen.isEmpty());
    QCOMPARE(trimControl(u"\t\n x y \x01"), QStringLiteral("x y"));
}

void TestCodecs::hostilePackedInputIsSafe()
{
    // 10 MB of Base64 in one element, truncated elements, binary garbage: no crash, clear errors.
    const QByteArray big(10 * 1024 * 1024 / 4 * 3, 'z');
    THTMLJoiner j;
    j.AddPacked(packHtml(big));
    QCOMPARE(j.body().size(), big.size());

    for (const QString &bad : {QStringLiteral("<HTML>YWJj"), QStringLiteral("<HTML"), QStringLiteral("<"),
                               QStringLiteral("</HTML>"), QStringLiteral("<HTML></HTML>")}) {
        THTMLJoiner k;
        k.AddPacked(bad);
        QCOMPARE(k.body(), QString());
    }

    QRandomGenerator rng(42);
    for (int round = 0; round < 300; ++round) {
        QString garbage(int(rng.bounded(200)), Qt::Uninitialized);
        for (auto &c : garbage)
            c = QChar(char16_t(rng.bounded(0x500)));
        THTMLJoiner k;
        try {
            k.AddPacked(garbage);
        } catch (const RamuxError &e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid Base64 Character"));
        }
    }
}

void TestCodecs::versionAndTempFolder()
{
    QCOMPARE(GetProductVersion(), QStringLiteral("1.1"));
    QVERIFY(GetTempFolder().endsWith(QLatin1Char('/')));
}

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
