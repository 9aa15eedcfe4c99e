// The panel below the product page: the species the product has structured rows for, the dose
// calculator and the withdrawal tables with release dates. Ordinary widgets, computed as the user
// types; hidden for a page without rows.
#pragma once

#include "app/answerstext.h"

#include <QFrame>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class Readout;

class AnswersPanel final : public QFrame
{
    Q_OBJECT

public:
    explicit AnswersPanel(QWidget *parent);

    // Shows a product's rows; no product, or one without rows, hides the panel. The same product
    // again keeps what the user typed and chose wherever it still fits.
    void setProduct(std::optional<qint64> itemId, const ProductAnswers &answers,
                    const QList<Species> &species);
    bool hasRows() const { return m_itemId.has_value() && !m_answers.isEmpty(); }

    bool isCollapsed() const { return m_collapsed; }
    void setCollapsed(bool collapsed);
    // Opens the panel and puts the focus into the weight (or, without a calculator, the last dose).
    void openCalculator();

    // What printing appends after the page, or empty when the user has made nothing to print.
    QString printHtml(const QString &dataAsOf) const;
    DoseCalculation calculation() const;

    QToolButton *toggleButton() const { return m_toggle; }
    QComboBox *speciesBox() const { return m_speciesBox; }
    QComboBox *routeBox() const { return m_routeBox; }
    QComboBox *formBox() const { return m_formBox; }
    QLineEdit *weightEdit() const { return m_weight; }
    QLineEdit *lastDoseEdit() const { return m_lastDose; }
    QLabel *speciesLine() const { return m_speciesLine; }
    Readout *resultView() const { return m_result; }
    Readout *withdrawalView() const { return m_withdrawal; }
    QLabel *lastDoseNote() const { return m_lastDoseNote; }

signals:
    void collapsedChanged(bool collapsed);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildHeader();
    void buildDoseBox();
    void buildWithdrawalBox();
    void fillSpecies(std::optional<qint64> keep);
    void fillRoutes(std::optional<qint64> keep);
    void fillForms(std::optional<qint64> keep);
    void recompute();
    void recomputeWithdrawal();
    void fitBodyHeight();
    std::optional<qint64> chosenId(const QComboBox *box) const;
    std::optional<Strength> chosenStrength() const;

    std::optional<qint64> m_itemId;
    ProductAnswers m_answers;
    QList<Species> m_species; // every species the product has rows for
    bool m_collapsed = false;
    bool m_filling = false;     // combo boxes being refilled: no recomputation per step
    bool m_calculating = false; // opened for the calculator or a weight typed: its result shows whole

    QToolButton *m_toggle = nullptr;
    QLabel *m_speciesLine = nullptr;
    QScrollArea *m_body = nullptr;
    QWidget *m_content = nullptr;
    QGroupBox *m_doseBox = nullptr, *m_withdrawalBox = nullptr;
    QComboBox *m_speciesBox = nullptr, *m_routeBox = nullptr, *m_formBox = nullptr;
    QLabel *m_routeLabel = nullptr, *m_formLabel = nullptr;
    QLineEdit *m_weight = nullptr, *m_lastDose = nullptr;
    QPushButton *m_now = nullptr;
    Readout *m_result = nullptr, *m_withdrawal = nullptr;
    QLabel *m_lastDoseNote = nullptr;
};
