#pragma once
// Date picker window: a calendar with "确认" (the selected date) and "清除" (no date).
// The picker does not delete itself; whoever opens it decides that.

#include <QWidget>

namespace Ui {
class CalendarPicker;
}
class QCalendarWidget;

class CalendarPicker : public QWidget
{
    Q_OBJECT
public:
    explicit CalendarPicker(QWidget *parent = nullptr);
    ~CalendarPicker() override;

    QCalendarWidget *calendar() const;

signals:
    // Emitted once, just before the picker closes: "yyyy-MM-dd" after 确认, "" after 清除.
    // Closing the window any other way emits nothing.
    void urgentDate(QString date);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButton_ok_clicked();
    void on_pushButton_clear_clicked();

private:
    void finish(const QString &date);

    Ui::CalendarPicker *ui;
    bool m_finishing = false;
};
