// The editable search box of the product page: capitals as the user types, no completion, no
// insertion on Return, and a drop-down that hands typed keys back to the edit field.
#pragma once

#include <QComboBox>
#include <QValidator>

// Turns every letter into its capital, one character for one, so the caret stays in place.
class TUpperCaseValidator final : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

class TSearchComboBox final : public QComboBox
{
    Q_OBJECT

public:
    explicit TSearchComboBox(QWidget *parent = nullptr);
    // Opens the drop-down also when it has no items; it then shows "Ничего не найдено".
    void showPopup() override;
    void hidePopup() override;

signals:
    void closedUp(); // the drop-down has closed (ComboBox2CloseUp)
    void keyTyped(); // a character key was pressed in the box (ComboBox2KeyPress)
    // Return with no drop-down item highlighted and no item named exactly so: the results page.
    void searchRequested();

protected:
    // Whether Return is the search's: an item named exactly as typed keeps being chosen.
    bool returnSearches() const;
    // Return in the box: chooses the highlighted item or asks for the results page; false
    // when it is left to the box (an item named exactly as typed).
    bool returnPressed(QKeyEvent *event);
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
