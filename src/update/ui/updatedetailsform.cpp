#include "update/ui/updatedetailsform.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char *const kAddressProperty = "ramuxAddress";
constexpr int kDesignWidth = 247;
} // namespace

TKalmedaRamuxUpdateDetailsForm::TKalmedaRamuxUpdateDetailsForm()
    : TUpdateWindowBase(QStringLiteral("Продолжить - %1"), kDesignWidth)
{
    setObjectName(QStringLiteral("KalmedaRamuxUpdateDetailsForm"));

    AboutLabel = new QLabel(this);
    AboutLabel->setObjectName(QStringLiteral("AboutLabel"));
    AboutLabel->setTextFormat(Qt::PlainText);
    AboutLabel->setWordWrap(true);
    // Wrapped at the window's design width; the window then grows in height only.
    AboutLabel->setFixedWidth(kDesignWidth - 6);

    m_layout->addWidget(AboutLabel);
    m_layout->addWidget(Bevel1);
    m_layout->addWidget(Panel1);

    btnYes = addButton(QStringLiteral("Открыть сайт"), 15, 105);
    btnNo = addButton(QStringLiteral("Продолжить"), 126, 105);
    btnYes->setObjectName(QStringLiteral("btnYes"));
    btnNo->setObjectName(QStringLiteral("btnNo"));
    setTabOrder(btnYes, btnNo);
    btnYes->setFocus();

    connect(btnYes, &QPushButton::clicked, this, &TKalmedaRamuxUpdateDetailsForm::btnYesClick);
    connect(btnNo, &QPushButton::clicked, this, [this] { done(mrNo); });
}

void TKalmedaRamuxUpdateDetailsForm::fill(const QString &text, const QString &address)
{
    setWindowTitle(QStringLiteral("Обновление завершено."));
    if (!text.isEmpty())
        AboutLabel->setText(text);
    else
        AboutLabel->hide();
    btnYes->setProperty(kAddressProperty, address);
}

void TKalmedaRamuxUpdateDetailsForm::btnYesClick()
{
    const QString address = btnYes->property(kAddressProperty).toString();
    if (!address.isEmpty())
        OpenAddressInShell(address);
    done(mrYes);
}

int ShowUpdateDetails(const QString &text, const QString &address)
{
    TKalmedaRamuxUpdateDetailsForm form;
    form.fill(text, address);
    form.fitToContents();
    return form.exec();
}
