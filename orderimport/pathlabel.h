#pragma once
// A label showing a folder path. A path longer than the label is shortened in the middle ("…"): cut at
// its end it could read as another real folder (a parent, or a sibling whose name starts alike). text()
// and the tooltip keep the whole path.

#include <QLabel>

class PathLabel : public QLabel
{
public:
    explicit PathLabel(QWidget *parent = nullptr);

    // The text as the label shows it at its present width.
    QString shownText() const;
    // Takes no width of its own: a long path never widens the window.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textArea() const;
};
