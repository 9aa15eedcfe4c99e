// The product panel's place in the window: the panel below the product view, its button in the
// product strip and Ctrl+R, filled from the store for the product shown, following the window's
// species, and what printing appends. The window wires it once and asks it to show a product.
#pragma once

#include "answers/productanswers.h"

#include <QObject>
#include <optional>

class AnswersPanel;
class Database;
class QFrame;
class QPushButton;
class QShortcut;
class QWidget;
class TPBearHTMLRenderer;

class ProductPanel final : public QObject
{
    Q_OBJECT

public:
    ProductPanel(Database &db, QObject *parent);

    // The panel goes into `page` (below its view), the button after `after` in `strip`, and
    // Ctrl+R works anywhere in `window`.
    void attach(QFrame *page, QWidget *strip, QWidget *after, QWidget *window);
    // The paper gets the calculation and the dates the user made; without them it is the page.
    void attachPrinting(TPBearHTMLRenderer *view);
    AnswersPanel *panel() const { return m_panel; }
    QPushButton *button() const { return m_button; }

public slots:
    // Reads the product's rows (none: the panel, its button and Ctrl+R go away); the same
    // product again keeps what the user typed. Rows of a species the store does not know are
    // left out.
    void showProduct(std::optional<qint64> itemId);
    // Opens the panel for the calculator; the window brings the product page forward first.
    void openCalculator();
    // The window's species (the filter's choice, empty for "все"): the calculator takes it on
    // every product with rows for it.
    void setWindowSpecies(const QString &code);

signals:
    // The button or Ctrl+R: the window shows the product page and calls openCalculator.
    void openRequested();
    // The user chose this species in the calculator.
    void speciesChosen(const QString &code);

private:
    void takeWindowSpecies();

    Database &m_db;
    QFrame *m_page = nullptr;
    AnswersPanel *m_panel = nullptr;
    QPushButton *m_button = nullptr;
    QShortcut *m_keys = nullptr;
    QList<Species> m_species; // the store's species, read with the product's rows
    QString m_windowSpecies;
};
