// A read-only piece of rich text exactly as tall as its text at its width: the panel's results.
// Laid out once per change of text or width, unlike a word-wrapped label, whose size hints lay
// rich text out again and again on every layout pass.
#pragma once

#include <QTextBrowser>

class Readout final : public QTextBrowser
{
public:
    Readout(QWidget *parent, const QString &objectName, const QString &accessibleName);

    // Replaces the text; `plain` is what screen readers announce (the accessible description).
    void display(const QString &html, const QString &plain);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitHeight();
    int m_fittedWidth = -1;
};
