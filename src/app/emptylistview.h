// The drop-down list of the search box: with no items it says so in its own view, since an
// empty list that opens is the user's only sign that nothing matched.
#pragma once

#include <QListView>

class TEmptyNoticeListView final : public QListView
{
public:
    explicit TEmptyNoticeListView(QWidget *parent = nullptr);

    static QString noticeText(); // "Ничего не найдено"
    // Height of the list showing the notice alone: one row and the frame.
    int noticeHeight() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};
