// Light and dark looks: the decision from what the desktop says, the dark page sheet's contrast,
// the window, toolbar icons and pages of both looks, and paper that stays light.
#include "app/look.h"
#include "app/mainform.h"
#include "app/qttranslation.h"
#include "mainwindow/fixture.h"
#include "pages/theme.h"
#include "pages/ui/htmlrenderer.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFrame>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextDocument>
#include <QToolButton>
#include <QTranslator>

#include <cmath>

namespace {

double luminance(const QColor &c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// WCAG 2 contrast ratio, 1 to 21.
double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct Colours
{
    QColor color;
    QColor background;
};

// Selector -> the colours its rules set, later rules over earlier ones (the dark sheet is served
// after the light one and restates the selectors it changes).
QHash<QString, Colours> sheetColours(QString css)
{
    css.remove(
        QRegularExpression(QStringLiteral("/\\*.*?\\*/"), QRegularExpression::DotMatchesEverythingOption));
    QHash<QString, Colours> out;
    static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^}]*)\\}"));
    for (auto it = rule.globalMatch(css); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        for (const QString &declaration : m.captured(2).split(QLatin1Char(';'))) {
            const int colon = declaration.indexOf(QLatin1Char(':'));
            const QString property = declaration.left(colon).trimmed();
            const QColor value(declaration.mid(colon + 1).trimmed());
            if (colon < 0 ||
                (property != QLatin1String("color") && property != QLatin1String("background-color")))
                continue;
            for (const QString &selector : m.captured(1).split(QLatin1Char(','))) {
                Colours &c = out[selector.simplified()];
                (property == QLatin1String("color") ? c.color : c.background) = value;
            }
        }
    }
    return out;
}

QColor mostCommonColour(const QImage &image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000u];
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return QColor(best);
}

// Share of an icon's silhouette edge (opaque pixels next to transparent ones: the outline) that
// stands out from the toolbar by at least 3:1.
double visibleOutline(const QIcon &icon, const QColor &toolbar)
{
    const QImage image = icon.pixmap(QSize(48, 48)).toImage().convertToFormat(QImage::Format_ARGB32);
    auto alpha = [&](int x, int y) { return image.rect().contains(x, y) ? qAlpha(image.pixel(x, y)) : 0; };
    int edge = 0, visible = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (alpha(x, y) < 200 ||
                std::min({alpha(x + 1, y), alpha(x - 1, y), alpha(x, y + 1), alpha(x, y - 1)}) >= 100)
                continue;
            ++edge;
            visible += contrast(QColor(image.pixel(x, y)), toolbar) >= 3.0;
        }
    }
    return edge ? double(visible) / edge : 0.0;
}

void applyLook(const char *theme)
{
    qputenv("RAMUX_THEME", theme);
    applyRamuxLook(*qApp);
}

// A product page with a heading, bold captions and a link to its manufacturer.
const char *kContent =
    "INSERT INTO items (id, name, name_lat, form) VALUES (1, 'Альбендазол', 'Albendazolum', 'Таблетки');"
    "INSERT INTO vendors (id, name) VALUES (5, 'Завод Бета');"
    "INSERT INTO items_to_vendors (item_id, vendor_id) VALUES (1, 5);";

} // namespace

class TestLook : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        qunsetenv("RAMUX_THEME");
        setCurrentTheme(Theme::Light);
    }

    void decidesFromForcedValueThenGnomeThenPalette()
    {
        QCOMPARE(forcedTheme(u"dark"), std::optional<Theme>(Theme::Dark));
        QCOMPARE(forcedTheme(u" LIGHT\n"), std::optional<Theme>(Theme::Light));
        QCOMPARE(forcedTheme(u""), std::nullopt);
        QCOMPARE(forcedTheme(u"auto"), std::nullopt);

        QVERIFY(desktopKeepsGnomeColorScheme(u"ubuntu:GNOME"));
        QVERIFY(desktopKeepsGnomeColorScheme(u"Budgie:GNOME"));
        QVERIFY(!desktopKeepsGnomeColorScheme(u"KDE"));
        QVERIFY(!desktopKeepsGnomeColorScheme(u"X-Cinnamon"));
        QVERIFY(!desktopKeepsGnomeColorScheme(u"")); // offscreen, CI, no session: nothing to ask
        QVERIFY(!desktopKeepsGnomeColorScheme(u"GNOMEISH"));

        QVERIFY(paletteLooksDark(0x30, 0xE0));
        QVERIFY(!paletteLooksDark(0xEE, 0x22));
        // GNOME's preference wins over the palette; 'default' or an odd answer leaves it to the palette.
        QCOMPARE(chooseTheme(QStringLiteral("'prefer-dark'\n"), false), Theme::Dark);
        QCOMPARE(chooseTheme(QStringLiteral("'prefer-light'\n"), true), Theme::Light);
        QCOMPARE(chooseTheme(QStringLiteral("'default'\n"), true), Theme::Dark);
        QCOMPARE(chooseTheme(QStringLiteral("'default'\n"), false), Theme::Light);
        QCOMPARE(chooseTheme(QStringLiteral("prefer-dark'"), false), Theme::Light);
        QCOMPARE(chooseTheme(std::nullopt, true), Theme::Dark);
        QCOMPARE(chooseTheme(std::nullopt, false), Theme::Light);
    }

    void darkSheetKeepsEveryTextReadable()
    {
        QFrame panel;
        setCurrentTheme(Theme::Light);
        TPBearHTMLRenderer lightView(&panel);
        const QUrl sheet(QStringLiteral("RES:style_css"));
        // Light desktops get the sheet exactly as it is.
        QCOMPARE(lightView.Viewer()->loadResource(QTextDocument::StyleSheetResource, sheet).toByteArray(),
                 builtInResource(QStringLiteral("STYLE_CSS")).value());

        setCurrentTheme(Theme::Dark);
        TPBearHTMLRenderer view(&panel);
        const QString served = QString::fromUtf8(
            view.Viewer()->loadResource(QTextDocument::StyleSheetResource, sheet).toByteArray());
        QVERIFY(served.startsWith(QString::fromUtf8(builtInResource(QStringLiteral("STYLE_CSS")).value())));
        const QHash<QString, Colours> colours = sheetColours(served);
        const Colours body = colours.value(QStringLiteral("body"));
        QCOMPARE(body.background, QColor(QRgb(kDarkPageBackground)));
        QCOMPARE(body.color, QColor(QRgb(kDarkPageText)));
        QCOMPARE(view.Viewer()->palette().color(QPalette::Base), body.background);
        // Every text colour either sheet sets, on the background it stands on.
        int checked = 0;
        for (auto it = colours.cbegin(); it != colours.cend(); ++it) {
            if (!it->color.isValid())
                continue;
            const QColor background = it->background.isValid() ? it->background : body.background;
            const double ratio = contrast(it->color, background);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                                  .arg(it.key(), it->color.name(), background.name())
                                                  .arg(ratio, 0, 'f', 2)));
            ++checked;
        }
        for (const char *selector : {"a", "h1", "h2", "strong", "dt", "th", "blockquote"})
            QVERIFY2(colours.value(QLatin1String(selector)).color.isValid(), selector);
        QVERIFY(checked >= 10);
        QVERIFY(contrast(colours.value(QStringLiteral("a")).color, body.color) > 1.4); // links stand out
    }

    void bothLooksShowTheirPaletteIconsAndPages_data()
    {
        QTest::addColumn<QByteArray>("theme");
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << QByteArray("light") << false;
        QTest::newRow("dark") << QByteArray("dark") << true;
    }

    void bothLooksShowTheirPaletteIconsAndPages()
    {
        QFETCH(QByteArray, theme);
        QFETCH(bool, dark);
        applyLook(theme.constData());
        QCOMPARE(currentTheme(), dark ? Theme::Dark : Theme::Light);
        const QColor window = QApplication::palette().color(QPalette::Window);
        QCOMPARE(window.lightness() < 100, dark);
        QVERIFY(contrast(window, QApplication::palette().color(QPalette::WindowText)) >= 7.0);
        if (!dark)
            QCOMPARE(window, QColor(0xEE, 0xF1, 0xF4)); // the light look as it always was

        WindowFixture f;
        f.create(QString::fromUtf8(kContent));
        TKalmedaRamuxMainForm w({}, f.path);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (QToolButton *b :
             {w.tbDrugs, w.tbGroups, w.tbVendors, w.tbSettings, w.tbAppendix, w.tbAbout, w.tbExit})
            QVERIFY2(visibleOutline(b->icon(), window) >= 0.75, qPrintable(b->text()));

        w.TreeView1->setCurrentItem(TKalmedaRamuxMainForm::FindNodeByData(w.TreeView1->topLevelItem(0), 1));
        QWidget *page = w.m_productView->Viewer()->viewport();
        const QColor paper = dark ? QColor(QRgb(kDarkPageBackground)) : QColor(Qt::white);
        QTRY_COMPARE(mostCommonColour(page->grab().toImage()), paper);
        // The link is drawn in the sheet's link colour, readable on the page.
        QTextCursor link = w.m_productView->Viewer()->document()->find(QString::fromUtf8("Завод Бета"));
        QVERIFY(!link.isNull());
        QVERIFY(contrast(link.charFormat().foreground().color(), paper) >= 4.5);
    }

    void printingOnADarkDesktopStaysOnWhitePaper()
    {
        const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        if (pdftoppm.isEmpty())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        applyLook("dark");
        WindowFixture f;
        f.create(QString::fromUtf8(kContent));
        TKalmedaRamuxMainForm w({}, f.path);
        w.TreeView1->setCurrentItem(TKalmedaRamuxMainForm::FindNodeByData(w.TreeView1->topLevelItem(0), 1));
        QPrinter &printer = w.m_productView->Printer();
        const QString pdf = f.dir.filePath(QStringLiteral("page.pdf"));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        w.m_productView->PrintAll();
        const QString png = f.dir.filePath(QStringLiteral("page"));
        QCOMPARE(
            QProcess::execute(pdftoppm, {QStringLiteral("-r"), QStringLiteral("40"), QStringLiteral("-png"),
                                         QStringLiteral("-singlefile"), pdf, png}),
            0);
        const QImage sheet(png + QStringLiteral(".png"));
        QVERIFY(!sheet.isNull());
        QCOMPARE(mostCommonColour(sheet), QColor(Qt::white));
        int dark = 0;
        for (int y = 0; y < sheet.height(); ++y)
            for (int x = 0; x < sheet.width(); ++x)
                dark += QColor(sheet.pixel(x, y)).lightness() < 110;
        QVERIFY(dark > 20); // the text is printed dark on the white
        // The screen keeps its dark page after printing.
        QCOMPARE(w.m_productView->Viewer()->document()->find(QString::fromUtf8("Завод Бета")).isNull(),
                 false);
        QTRY_COMPARE(mostCommonColour(w.m_productView->Viewer()->viewport()->grab().toImage()),
                     QColor(QRgb(kDarkPageBackground)));
    }

    // Qt's own dialogs speak the program's language: the buttons of a message box and of the
    // file dialog "Сохранить в PDF…" opens.
    void qtDialogsReadInRussian()
    {
        QVERIFY(installQtTranslation(*qApp));
        QMessageBox box(QMessageBox::Question, QStringLiteral("Ramux"), QStringLiteral("?"),
                        QMessageBox::Save | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
        const std::pair<QMessageBox::StandardButton, const char *> buttons[] = {
            {QMessageBox::Save, "Сохранить"},
            {QMessageBox::Cancel, "Отмена"},
            {QMessageBox::Yes, "Да"},
            {QMessageBox::No, "Нет"}};
        for (const auto &[button, text] : buttons)
            QCOMPARE(box.button(button)->text().remove(QLatin1Char('&')), QString::fromUtf8(text));
        QFileDialog files(nullptr, QStringLiteral("Сохранить в PDF"));
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setAcceptMode(QFileDialog::AcceptSave);
        const auto *row = files.findChild<QDialogButtonBox *>();
        QVERIFY(row);
        QCOMPARE(row->button(QDialogButtonBox::Save)->text().remove(QLatin1Char('&')),
                 QStringLiteral("Сохранить"));
        QCOMPARE(row->button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')),
                 QStringLiteral("Отмена"));
        for (QTranslator *translator : qApp->findChildren<QTranslator *>())
            QCoreApplication::removeTranslator(translator);
    }
};

QTEST_MAIN(TestLook)
#include "tst_look.moc"
