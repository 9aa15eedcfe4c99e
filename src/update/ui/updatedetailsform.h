// The window that tells the user a data update has finished, with a link to its details.
#pragma once

#include "update/ui/updateform.h"

class TKalmedaRamuxUpdateDetailsForm final : public TUpdateWindowBase
{
    Q_OBJECT
public:
    TKalmedaRamuxUpdateDetailsForm();

    QLabel *AboutLabel;
    QPushButton *btnYes;
    QPushButton *btnNo;

    // Fills the window as ShowUpdateDetails does (steps 1 to 3), without showing it.
    void fill(const QString &text, const QString &address);
    // Opens the attached details address (nothing when empty), then closes with 6.
    void btnYesClick();

protected:
    QPushButton *noButton() const override { return btnNo; }
};

// Runs the details window modally and returns its modal result (6, 7 or 2).
int ShowUpdateDetails(const QString &text, const QString &address);
