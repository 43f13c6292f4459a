#pragma once
// Combo box whose rows are checkable: a click on a row ticks or unticks it and the list stays
// open, so several rows can be picked in one go. A push button laid over the field opens the list.

#include <QComboBox>
#include <QList>
#include <QStringList>

class QPushButton;
class QStandardItemModel;

class MultiSelectComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit MultiSelectComboBox(QWidget *parent = nullptr);

    // Appends the texts as rows at the end; every new row is checkable and starts unticked.
    void appendItems(const QStringList &texts);
    // Caption of the overlay button that opens the list.
    void setButtonText(const QString &text);
    // Toggles the tick of every row, first to last, as a click on each would; returns the row count.
    int activateAllItems();
    // Rows whose check state is Qt::Checked, in ascending order.
    QList<int> checkedItems() const;
    // Texts of the ticked rows, in row order.
    QStringList checkedTexts() const;

    QPushButton *overlayButton() const { return m_button; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onItemActivated(int row);

private:
    void showCheckedTexts();

    QStandardItemModel *m_model;
    QPushButton *m_button;
};
