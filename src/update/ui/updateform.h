// The program-update offer window and the shell seam both update windows open addresses through.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;
class QWidget;
class QVBoxLayout;

// Hands an address to the desktop's browser. Only web addresses are passed on: the address
// comes from the update server and must not start local files or other handlers.
using UrlOpener = std::function<bool(const QString &address)>;
bool OpenAddressInShell(const QString &address);
// Replaces the opener (tests); an empty function puts QDesktopServices back.
void setUrlOpener(UrlOpener opener);

// Shared look of the two update windows: fixed border with only the close box, own taskbar
// entry, Tahoma 8 pt, controls stacked at the top with 3-pixel margins, button panel below.
class TUpdateWindowBase : public QDialog
{
    Q_OBJECT
public:
    QTimer *CounterTimer;
    QFrame *Bevel1;
    QWidget *Panel1;

    int countdown() const { return m_countdown; }

    // One countdown tick: the "no" button shows the new value and is clicked at 0.
    void CounterTimerTimer();
    // Lets the window fit its contents (fixed from then on) and centres it on the screen.
    void fitToContents();

protected:
    TUpdateWindowBase(const QString &countdownFormat, int designWidth);
    QPushButton *addButton(const QString &caption, int left, int width);
    void reject() override; // the close box gives 2, "cancel"
    virtual QPushButton *noButton() const = 0;

    QVBoxLayout *m_layout;

private:
    QString m_countdownFormat;
    int m_countdown = 30;
    int m_designWidth;
};

class TKalmedaRamuxUpdateForm final : public TUpdateWindowBase
{
    Q_OBJECT
public:
    TKalmedaRamuxUpdateForm();

    QLabel *Label1;
    QLabel *AboutLabel;
    QPushButton *btnYes;
    QPushButton *btnNo;
    QPushButton *btnAbout;
    QPushButton *btnUrl;

    // Fills the window as ShowUpdateOffer does (steps 3 and 4), without showing it.
    void fill(const QString &version, const QString &link, const QString &aboutText, const QString &aboutUrl);
    // Click handler of btnAbout and btnUrl: opens the address attached to the clicked button.
    void ShowUrl(QPushButton *button);

protected:
    QPushButton *noButton() const override { return btnNo; }
};

// Runs the offer window modally and returns its modal result: 6 download and install,
// 7 not now (also the countdown's answer), 2 closed or handed to the browser.
// Returns 7 without any window when the link is empty.
int ShowUpdateOffer(const QString &version, const QString &link, const QString &aboutText,
                    const QString &aboutUrl);

// The modal results of the update windows.
enum UpdateModalResult { mrYes = 6, mrNo = 7, mrCancel = 2 };
