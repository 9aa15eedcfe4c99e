#include "app/answerspanel.h"

#include "app/readout.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kMinBodyHeight = 120;
constexpr int kBodyShareOfPage = 50; // percent of the product page the open panel may take
constexpr int kMinPageView = 90;     // pixels of the page view left above an opened calculator

QComboBox *comboBox(QWidget *parent, const char *name, const QString &accessibleName)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(accessibleName);
    box->view()->setAccessibleName(accessibleName + QStringLiteral(": варианты"));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    box->setMinimumContentsLength(12);
    return box;
}

// The combo entry whose data is `id`, else the first.
void selectData(QComboBox *box, std::optional<qint64> id)
{
    int at = 0;
    if (id) {
        const int found = box->findData(*id);
        if (found >= 0)
            at = found;
    }
    box->setCurrentIndex(box->count() > 0 ? at : -1);
}

} // namespace

AnswersPanel::AnswersPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("AnswersPanel"));
    setFrameShape(QFrame::NoFrame);
    // As tall as it needs: the page view above takes every spare pixel.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    buildHeader();

    m_body = new QScrollArea(this);
    m_body->setObjectName(QStringLiteral("AnswersBody"));
    m_body->setAccessibleName(QStringLiteral("Расчёт дозы и сроки ожидания"));
    m_body->setWidgetResizable(true);
    m_body->setFrameShape(QFrame::NoFrame);
    m_body->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_content = new QWidget(m_body);
    auto *content = new QVBoxLayout(m_content);
    content->setContentsMargins(0, 0, 0, 0);
    buildDoseBox();
    buildWithdrawalBox();
    // From the result on to the last dose; the sheet's button comes after the dates.
    setTabOrder(m_result, m_lastDose);
    setTabOrder(m_now, m_toSheet);
    content->addWidget(m_doseBox);
    content->addWidget(m_withdrawalBox);
    content->addStretch(1);
    m_body->setWidget(m_content);
    layout->addWidget(m_body);

    if (parent)
        parent->installEventFilter(this);
    hide();
}

void AnswersPanel::buildHeader()
{
    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    m_toggle = new QToolButton(this);
    m_toggle->setObjectName(QStringLiteral("AnswersToggle"));
    m_toggle->setText(QStringLiteral("Расчёт дозы и сроки ожидания"));
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::DownArrow);
    m_toggle->setAutoRaise(true);
    m_toggle->setCheckable(true);
    m_toggle->setChecked(true);
    m_toggle->setAccessibleName(QStringLiteral("Расчёт дозы и сроки ожидания"));
    m_toggle->setAccessibleDescription(QStringLiteral("Показать или скрыть панель"));
    connect(m_toggle, &QToolButton::clicked, this, [this](bool open) { setCollapsed(!open); });
    m_speciesLine = new QLabel(this);
    m_speciesLine->setObjectName(QStringLiteral("AnswersSpecies"));
    m_speciesLine->setTextFormat(Qt::PlainText);
    m_speciesLine->setWordWrap(true);
    m_speciesLine->setAccessibleName(QStringLiteral("Виды животных в инструкции"));
    row->addWidget(m_toggle);
    row->addWidget(m_speciesLine, 1);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
}

void AnswersPanel::buildDoseBox()
{
    m_doseBox = new QGroupBox(QStringLiteral("Расчёт дозы"), m_content);
    m_doseBox->setObjectName(QStringLiteral("DoseBox"));
    auto *grid = new QGridLayout(m_doseBox);
    grid->setContentsMargins(6, 4, 6, 4);
    m_speciesBox = comboBox(m_doseBox, "DoseSpecies", QStringLiteral("Вид животного"));
    m_routeBox = comboBox(m_doseBox, "DoseRoute", QStringLiteral("Путь введения и показание"));
    m_formBox = comboBox(m_doseBox, "DoseForm", QStringLiteral("Форма выпуска"));
    m_weight = new QLineEdit(m_doseBox);
    m_weight->setObjectName(QStringLiteral("DoseWeight"));
    m_weight->setAccessibleName(QStringLiteral("Масса тела, кг"));
    m_weight->setPlaceholderText(QStringLiteral("например, 12,5"));
    m_weight->setMaxLength(20);
    m_weight->setMaximumWidth(110);
    m_result = new Readout(m_doseBox, QStringLiteral("DoseResult"), QStringLiteral("Результат расчёта дозы"));

    auto *speciesLabel = new QLabel(QStringLiteral("Вид:"), m_doseBox);
    speciesLabel->setBuddy(m_speciesBox);
    auto *weightLabel = new QLabel(QStringLiteral("Масса тела, кг:"), m_doseBox);
    weightLabel->setBuddy(m_weight);
    m_routeLabel = new QLabel(QStringLiteral("Путь введения:"), m_doseBox);
    m_routeLabel->setBuddy(m_routeBox);
    m_formLabel = new QLabel(QStringLiteral("Форма:"), m_doseBox);
    m_formLabel->setBuddy(m_formBox);
    grid->addWidget(speciesLabel, 0, 0);
    grid->addWidget(m_speciesBox, 0, 1);
    grid->addWidget(weightLabel, 0, 2);
    grid->addWidget(m_weight, 0, 3);
    grid->addWidget(m_routeLabel, 1, 0);
    grid->addWidget(m_routeBox, 1, 1, 1, 3);
    grid->addWidget(m_formLabel, 2, 0);
    grid->addWidget(m_formBox, 2, 1, 1, 3);
    grid->addWidget(m_result, 3, 0, 1, 5);
    m_toSheet = new QPushButton(QStringLiteral("В лист назначения"), m_doseBox);
    m_toSheet->setObjectName(QStringLiteral("DoseToSheet"));
    m_toSheet->setToolTip(QStringLiteral("Добавить этот расчёт в лист назначения"));
    grid->addWidget(m_toSheet, 0, 4, Qt::AlignRight);
    connect(m_toSheet, &QPushButton::clicked, this, [this] {
        if (m_itemId)
            emit sheetLineRequested(*m_itemId, calculation(), m_lastDose->text().trimmed());
    });
    grid->setColumnStretch(4, 1);
    setTabOrder(m_speciesBox, m_weight);
    setTabOrder(m_weight, m_routeBox);
    setTabOrder(m_routeBox, m_formBox);
    setTabOrder(m_formBox, m_result);

    connect(m_speciesBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (m_filling)
            return;
        m_filling = true;
        fillRoutes(std::nullopt);
        fillForms(chosenId(m_formBox));
        m_filling = false;
        recompute();
    });
    connect(m_routeBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (m_filling)
            return;
        m_filling = true;
        fillForms(chosenId(m_formBox));
        m_filling = false;
        recompute();
    });
    connect(m_formBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (!m_filling)
            recompute();
    });
    connect(m_weight, &QLineEdit::textChanged, this, [this] {
        m_calculating = true;
        recompute();
    });
}

void AnswersPanel::buildWithdrawalBox()
{
    m_withdrawalBox = new QGroupBox(QStringLiteral("Сроки ожидания"), m_content);
    m_withdrawalBox->setObjectName(QStringLiteral("WithdrawalBox"));
    auto *box = new QVBoxLayout(m_withdrawalBox);
    box->setContentsMargins(6, 4, 6, 4);
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("Последнее введение:"), m_withdrawalBox);
    m_lastDose = new QLineEdit(m_withdrawalBox);
    m_lastDose->setObjectName(QStringLiteral("LastDose"));
    m_lastDose->setAccessibleName(QStringLiteral("Последнее введение, дата и время"));
    m_lastDose->setPlaceholderText(QStringLiteral("ДД.ММ.ГГГГ ЧЧ:ММ"));
    m_lastDose->setMaxLength(20);
    m_lastDose->setMaximumWidth(140);
    label->setBuddy(m_lastDose);
    m_now = new QPushButton(QStringLiteral("Сейчас"), m_withdrawalBox);
    m_now->setObjectName(QStringLiteral("LastDoseNow"));
    m_now->setAccessibleName(QStringLiteral("Последнее введение сейчас"));
    m_lastDoseNote = new QLabel(m_withdrawalBox);
    m_lastDoseNote->setObjectName(QStringLiteral("LastDoseNote"));
    m_lastDoseNote->setTextFormat(Qt::PlainText);
    m_lastDoseNote->setWordWrap(true);
    row->addWidget(label);
    row->addWidget(m_lastDose);
    row->addWidget(m_now);
    row->addWidget(m_lastDoseNote, 1);
    box->addLayout(row);
    m_withdrawal =
        new Readout(m_withdrawalBox, QStringLiteral("WithdrawalTables"), QStringLiteral("Сроки ожидания"));
    box->addWidget(m_withdrawal);
    connect(m_lastDose, &QLineEdit::textChanged, this, [this] { recomputeWithdrawal(); });
    connect(m_now, &QPushButton::clicked, this, [this] {
        m_lastDose->setText(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    });
}

void AnswersPanel::setProduct(std::optional<qint64> itemId, const ProductAnswers &answers,
                              const QList<Species> &species)
{
    const bool same = itemId && m_itemId == itemId;
    const std::optional<qint64> keepSpecies = same ? chosenId(m_speciesBox) : std::nullopt;
    const std::optional<qint64> keepRoute = same ? chosenId(m_routeBox) : std::nullopt;
    const std::optional<qint64> keepForm = same ? chosenId(m_formBox) : std::nullopt;
    m_itemId = itemId;
    m_answers = itemId ? answers : ProductAnswers{};
    m_species.clear();
    const QList<qint64> ids = m_answers.speciesIds();
    QStringList names;
    for (const Species &s : species) {
        if (ids.contains(s.id)) {
            m_species << s;
            names << s.name;
        }
    }
    if (!hasRows()) {
        hide();
        return;
    }
    m_speciesLine->setText(QStringLiteral("Виды животных: %1").arg(names.join(QStringLiteral(", "))));

    m_filling = true;
    {
        const QSignalBlocker blockWeight(m_weight), blockLast(m_lastDose);
        if (!same) {
            m_weight->clear();
            m_lastDose->clear();
            m_calculating = false;
        }
    }
    fillSpecies(keepSpecies);
    fillRoutes(keepRoute);
    fillForms(keepForm);
    m_filling = false;
    m_doseBox->setVisible(m_speciesBox->count() > 0);
    recompute();
    recomputeWithdrawal();
    show();
    fitBodyHeight();
}

void AnswersPanel::fillSpecies(std::optional<qint64> keep)
{
    m_speciesBox->clear();
    for (const Species &s : m_species) {
        if (!m_answers.dosesFor(s.id).isEmpty())
            m_speciesBox->addItem(s.name, s.id);
    }
    selectData(m_speciesBox, keep);
}

void AnswersPanel::fillRoutes(std::optional<qint64> keep)
{
    m_routeBox->clear();
    const std::optional<qint64> species = chosenId(m_speciesBox);
    const QList<DoseRow> rows = species ? m_answers.dosesFor(*species) : QList<DoseRow>{};
    if (rows.size() > 1) {
        m_routeBox->addItem(QStringLiteral("все варианты"), qint64(0));
        for (const DoseRow &row : rows) {
            QStringList parts;
            for (const QString &part : {row.route, row.indication}) {
                if (!part.trimmed().isEmpty())
                    parts << part.trimmed();
            }
            m_routeBox->addItem(
                parts.isEmpty() ? QStringLiteral("без уточнения") : parts.join(QStringLiteral(", ")), row.id);
        }
    }
    selectData(m_routeBox, keep);
    m_routeBox->setVisible(rows.size() > 1);
    m_routeLabel->setVisible(rows.size() > 1);
}

void AnswersPanel::fillForms(std::optional<qint64> keep)
{
    m_formBox->clear();
    const std::optional<qint64> species = chosenId(m_speciesBox);
    const std::optional<qint64> route = chosenId(m_routeBox);
    QList<qint64> seen;
    if (species) {
        for (const DoseRow &row : m_answers.dosesFor(*species)) {
            if (route && *route != 0 && row.id != *route)
                continue;
            for (const Strength &s : m_answers.strengthsFor(row)) {
                if (!seen.contains(s.id)) {
                    seen << s.id;
                    m_formBox->addItem(s.describe(), s.id);
                }
            }
        }
    }
    selectData(m_formBox, keep);
    m_formBox->setVisible(m_formBox->count() > 1);
    m_formLabel->setVisible(m_formBox->count() > 1);
}

std::optional<qint64> AnswersPanel::chosenId(const QComboBox *box) const
{
    if (box->currentIndex() < 0)
        return std::nullopt;
    return box->currentData().toLongLong();
}

std::optional<Strength> AnswersPanel::chosenStrength() const
{
    if (m_formBox->count() < 2)
        return std::nullopt; // the row's own form
    const std::optional<qint64> id = chosenId(m_formBox);
    for (const Strength &s : m_answers.strengths) {
        if (id && s.id == *id)
            return s;
    }
    return std::nullopt;
}

DoseCalculation AnswersPanel::calculation() const
{
    DoseCalculation c;
    const std::optional<qint64> species = chosenId(m_speciesBox);
    if (!species)
        return c;
    c.speciesName = m_speciesBox->currentText();
    c.weightText = m_weight->text();
    c.weight = parseWeight(c.weightText);
    const std::optional<Strength> strength = chosenStrength();
    if (strength)
        c.formText = strength->describe();
    const qint64 route = m_routeBox->count() > 1 ? chosenId(m_routeBox).value_or(0) : 0; // 0: every row
    if (route != 0)
        c.routeChoice = m_routeBox->currentText();
    const std::optional<qint64> strengthId = strength ? std::optional<qint64>(strength->id) : std::nullopt;
    for (const DoseAnswer &answer : answerDoses(m_answers, *species, c.weightText, {}, {}, strengthId)) {
        if (route == 0 || answer.row.id == route)
            c.answers << answer;
    }
    return c;
}

void AnswersPanel::recompute()
{
    if (m_filling || !m_itemId)
        return;
    const QList<DoseBlock> blocks = doseBlocks(calculation());
    // Announced by screen readers when it changes, and read out when the result has the focus.
    m_result->display(doseBlocksHtml(blocks), doseBlocksText(blocks));
    fitBodyHeight();
    if (m_calculating && !m_collapsed)
        m_body->ensureWidgetVisible(m_result, 0, 0);
}

void AnswersPanel::recomputeWithdrawal()
{
    if (!m_itemId)
        return;
    const QString text = m_lastDose->text().trimmed();
    std::optional<QDateTime> last;
    if (!text.isEmpty()) {
        last = parseLastDose(text);
        m_lastDoseNote->setText(last ? repeatedHourNote(text) : lastDoseFormatHint());
    } else {
        m_lastDoseNote->clear();
    }
    const QList<WithdrawalSection> sections = withdrawalSections(m_answers, m_species, last);
    m_withdrawalBox->setVisible(!sections.isEmpty());
    m_withdrawal->display(withdrawalSectionsHtml(sections), withdrawalSectionsText(sections));
    fitBodyHeight();
}

QString AnswersPanel::printHtml(const QString &dataAsOf) const
{
    if (!hasRows())
        return {};
    const QString text = m_lastDose->text().trimmed();
    const std::optional<QDateTime> last = text.isEmpty() ? std::nullopt : parseLastDose(text);
    return printedAnswersHtml(calculation(), withdrawalSections(m_answers, m_species, last),
                              last ? formatDateTime(*last) : QString(), dataAsOf);
}

void AnswersPanel::setCollapsed(bool collapsed)
{
    const bool changed = collapsed != m_collapsed;
    m_collapsed = collapsed;
    m_toggle->setChecked(!collapsed);
    m_toggle->setArrowType(collapsed ? Qt::RightArrow : Qt::DownArrow);
    m_body->setVisible(!collapsed);
    fitBodyHeight();
    if (changed)
        emit collapsedChanged(collapsed);
}

void AnswersPanel::openCalculator()
{
    if (!hasRows())
        return;
    m_calculating = true;
    setCollapsed(false);
    fitBodyHeight();
    QWidget *target = m_doseBox->isVisibleTo(this) ? static_cast<QWidget *>(m_weight) : m_lastDose;
    target->setFocus(Qt::ShortcutFocusReason);
    if (auto *edit = qobject_cast<QLineEdit *>(target))
        edit->selectAll();
    m_body->ensureWidgetVisible(target);
}

void AnswersPanel::fitBodyHeight()
{
    if (!m_body || m_collapsed)
        return;
    // As tall as its contents, up to half of the product page; the page view keeps the rest.
    const int width = qMax(200, m_body->viewport()->width());
    QLayout *layout = m_content->layout();
    auto *content = static_cast<QVBoxLayout *>(layout);
    layout->activate();
    const int wanted =
        layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : layout->totalSizeHint().height();
    const int page = parentWidget() ? parentWidget()->height() : 600;
    int cap = qMax(kMinBodyHeight, page * kBodyShareOfPage / 100);
    if (m_calculating && m_doseBox->isVisibleTo(m_content)) {
        // Once the calculator is in use its whole result - the amount, a cap or a warning, the
        // quote - is read without scrolling; the page keeps a strip above it.
        m_doseBox->layout()->activate();
        const int dose = m_doseBox->sizeHint().height() + content->spacing();
        cap = qMax(cap, qMin(dose, page - kMinPageView));
    }
    m_body->setFixedHeight(qMin(wanted + 2 * m_body->frameWidth(), cap));
}

bool AnswersPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        fitBodyHeight();
    return QFrame::eventFilter(watched, event);
}
