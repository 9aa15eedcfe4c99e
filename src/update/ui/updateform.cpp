#include "update/ui/updateform.h"

#include "update/seam.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcUpdateWindows, "ramux.update.ui")

namespace {

const char *const kAddressProperty = "ramuxAddress";

bool desktopOpen(const QString &address)
{
    // Tolerant, as a browser's address bar is: an address the server wrote with a space or
    // another character it should have encoded still opens (encoded), instead of silently not.
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        qCWarning(lcUpdateWindows) << "not a web address, not opened:" << address;
        return false;
    }
    return QDesktopServices::openUrl(url);
}

} // namespace

static Seam<bool(const QString &)> &urlOpener()
{
    static Seam<bool(const QString &)> seam(&desktopOpen);
    return seam;
}

bool OpenAddressInShell(const QString &address)
{
    return urlOpener()(address);
}

void setUrlOpener(UrlOpener opener)
{
    urlOpener().replace(std::move(opener));
}

// ---------------------------------------------------------------------------------------------

TUpdateWindowBase::TUpdateWindowBase(const QString &countdownFormat, int designWidth)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_countdownFormat(countdownFormat), m_designWidth(designWidth)
{
    // The button widths were laid out for Tahoma; where it is missing, narrow faces of similar
    // width come before the desktop's default, so the countdown captions still fit.
    QFont tahoma(QStringLiteral("Tahoma"), 8);
    tahoma.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Verdana"),
                        QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                        QStringLiteral("DejaVu Sans Condensed")});
    setFont(tahoma);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // In the update-only mode this may be the only window on screen; closing it must not end
    // the program while the update run still has work to do (the download after "Да").
    setAttribute(Qt::WA_QuitOnClose, false);

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(3, 3, 3, 3);
    m_layout->setSpacing(3);
    m_layout->setSizeConstraint(QLayout::SetFixedSize);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(34);
    Panel1->setMinimumWidth(m_designWidth - 6);

    // FormCreate: the countdown runs from the window's creation.
    CounterTimer = new QTimer(this);
    CounterTimer->setInterval(1000);
    connect(CounterTimer, &QTimer::timeout, this, &TUpdateWindowBase::CounterTimerTimer);
    CounterTimer->start();
}

QPushButton *TUpdateWindowBase::addButton(const QString &caption, int left, int width)
{
    auto *button = new QPushButton(caption, Panel1);
    button->setGeometry(left, 6, width, 25);
    return button;
}

void TUpdateWindowBase::CounterTimerTimer()
{
    if (m_countdown <= 0)
        return;
    --m_countdown;
    noButton()->setText(m_countdownFormat.arg(m_countdown));
    if (m_countdown == 0) {
        CounterTimer->stop();
        noButton()->click();
    }
}

void TUpdateWindowBase::fitToContents()
{
    adjustSize();
    setFixedSize(size());
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TUpdateWindowBase::reject()
{
    done(mrCancel);
}

// ---------------------------------------------------------------------------------------------

TKalmedaRamuxUpdateForm::TKalmedaRamuxUpdateForm()
    : TUpdateWindowBase(QStringLiteral("Нет, в другой раз - %1"), 383)
{
    setObjectName(QStringLiteral("KalmedaRamuxUpdateForm"));
    setWindowTitle(QStringLiteral("Доступно обновление программы"));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    QFont bold = font();
    bold.setBold(true);
    Label1->setFont(bold);

    AboutLabel = new QLabel(this);
    AboutLabel->setObjectName(QStringLiteral("AboutLabel"));
    AboutLabel->setTextFormat(Qt::PlainText);
    AboutLabel->setWordWrap(false);

    m_layout->addWidget(Label1);
    m_layout->addWidget(AboutLabel);
    m_layout->addWidget(Bevel1);
    m_layout->addWidget(Panel1);

    btnYes = addButton(QStringLiteral("Да"), 3, 75);
    btnNo = addButton(QStringLiteral("Нет, в другой раз"), 84, 125);
    btnAbout = addButton(QStringLiteral("Подробнее"), 219, 75);
    btnUrl = addButton(QStringLiteral("Скачать"), 300, 75);
    btnYes->setObjectName(QStringLiteral("btnYes"));
    btnNo->setObjectName(QStringLiteral("btnNo"));
    btnAbout->setObjectName(QStringLiteral("btnAbout"));
    btnUrl->setObjectName(QStringLiteral("btnUrl"));
    setTabOrder(btnYes, btnAbout);
    setTabOrder(btnAbout, btnUrl);
    setTabOrder(btnUrl, btnNo);
    btnYes->setFocus();

    connect(btnYes, &QPushButton::clicked, this, [this] { done(mrYes); });
    connect(btnNo, &QPushButton::clicked, this, [this] { done(mrNo); });
    connect(btnAbout, &QPushButton::clicked, this, [this] { ShowUrl(btnAbout); });
    connect(btnUrl, &QPushButton::clicked, this, [this] { ShowUrl(btnUrl); });
}

void TKalmedaRamuxUpdateForm::fill(const QString &version, const QString &link, const QString &aboutText,
                                   const QString &aboutUrl)
{
    Label1->setText(QStringLiteral("Версия: ") + version);
    AboutLabel->setText(aboutText);
    btnAbout->setProperty(kAddressProperty, aboutUrl);
    btnAbout->setEnabled(!aboutUrl.isEmpty());
    btnUrl->setProperty(kAddressProperty, link);
}

void TKalmedaRamuxUpdateForm::ShowUrl(QPushButton *button)
{
    OpenAddressInShell(button->property(kAddressProperty).toString());
    // Handed to the browser: the program itself downloads nothing then.
    if (button == btnUrl)
        done(mrCancel);
}

int ShowUpdateOffer(const QString &version, const QString &link, const QString &aboutText,
                    const QString &aboutUrl)
{
    if (link.isEmpty())
        return mrNo;
    TKalmedaRamuxUpdateForm form;
    form.fill(version, link, aboutText, aboutUrl);
    form.fitToContents();
    return form.exec();
}
